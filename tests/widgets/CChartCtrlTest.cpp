#include "widgets/CChartCtrl.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGraphicsTextItem>

#include <algorithm>

namespace {

// The chart at the size of the RTU state page's chart area, shown, and its bottom labels as drawn.
struct ChartLabels {
    ChartLabels() {
        chart.resize(635, 228);
        chart.show();
    }

    void PlotSamples(int count) {
        QList<QPointF> samples;
        for (int i = 0; i < count; ++i) samples << QPointF(i, i % 7);
        chart.SetLeftRange(-2, 10);
        chart.SetBottomTickStep(1);
        chart.ReplaceSeries(samples, samples, 6);
        chart.SetBottomRange(0, std::max(count - 1, 1));
        QApplication::processEvents();
    }

    // The bottom axis' labels as drawn: the text items on the lowest row of the scene.
    std::vector<QGraphicsTextItem*> BottomLabels() const {
        std::vector<QGraphicsTextItem*> labels;
        qreal lowest = -1e9;
        for (QGraphicsItem* item : chart.scene()->items()) {
            auto* text = dynamic_cast<QGraphicsTextItem*>(item);
            if (text == nullptr || !text->isVisible() || text->toPlainText().isEmpty()) continue;
            const qreal top = text->sceneBoundingRect().top();
            if (top > lowest + 1) {
                lowest = top;
                labels.clear();
            }
            if (std::abs(top - lowest) <= 1) labels.push_back(text);
        }
        std::sort(labels.begin(), labels.end(), [](auto* a, auto* b) { return a->scenePos().x() < b->scenePos().x(); });
        return labels;
    }

    CChartCtrl chart{nullptr};
};

class ChartLabelsTest : public ::testing::TestWithParam<int>, public ChartLabels {};

TEST_P(ChartLabelsTest, BottomLabelsAreWholeNumbersThatDoNotOverlap) {
    PlotSamples(GetParam());
    const auto labels = BottomLabels();
    ASSERT_GE(labels.size(), 2u);
    for (std::size_t i = 0; i < labels.size(); ++i) {
        bool number = false;
        labels[i]->toPlainText().toInt(&number);
        EXPECT_TRUE(number) << labels[i]->toPlainText().toStdString();
        if (i > 0) {
            EXPECT_LT(labels[i - 1]->sceneBoundingRect().right(), labels[i]->sceneBoundingRect().left())
                << labels[i - 1]->toPlainText().toStdString() << " " << labels[i]->toPlainText().toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(SampleCounts, ChartLabelsTest, ::testing::Values(3, 15, 40, 400, 2000));

// A new chart, before any plot, labels its 0 ... 30 sample axis at whole, evenly spaced samples.
TEST(ChartTicksTest, ANewChartLabelsWholeSamples) {
    ChartLabels fresh;
    fresh.chart.SetBottomRange(0, 30);
    QApplication::processEvents();
    const auto labels = fresh.BottomLabels();
    ASSERT_GE(labels.size(), 3u);
    const int step = labels[1]->toPlainText().toInt() - labels[0]->toPlainText().toInt();
    EXPECT_GE(step, 1);
    for (std::size_t i = 1; i < labels.size(); ++i) {
        EXPECT_EQ(labels[i]->toPlainText().toInt() - labels[i - 1]->toPlainText().toInt(), step)
            << labels[i]->toPlainText().toStdString();
    }
    EXPECT_EQ(labels.front()->toPlainText(), "0");
}

TEST(ChartTicksTest, FewSamplesKeepATickPerSample) {
    CChartCtrl chart(nullptr);
    chart.resize(635, 228);
    chart.show();
    chart.SetBottomRange(0, 10);
    chart.SetBottomTickStep(1);
    QApplication::processEvents();
    EXPECT_EQ(chart.BottomLabelStep(), 1);
    chart.SetBottomRange(0, 40);
    QApplication::processEvents();
    EXPECT_GT(chart.BottomLabelStep(), 1);
    EXPECT_EQ(chart.BottomAxis().minorTickCount(), chart.BottomLabelStep() - 1);
}

}  // namespace

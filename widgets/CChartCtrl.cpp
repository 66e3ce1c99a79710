#include "widgets/CChartCtrl.h"

#include <algorithm>

namespace {
// Points are 3 x 3 pixels until the first plot gives them a size.
constexpr double kInitialPointSize = 3.0;
}  // namespace

CChartCtrl::CChartCtrl(QWidget* parent)
    : QChartView(parent), chartArea(new QChart), leftAxis(new QValueAxis), bottomAxis(new QValueAxis) {
    setChart(chartArea);
    setRenderHint(QPainter::Antialiasing);
    chartArea->legend()->hide();
    chartArea->addAxis(leftAxis, Qt::AlignLeft);
    chartArea->addAxis(bottomAxis, Qt::AlignBottom);
    bottomAxis->setLabelFormat(QStringLiteral("%d"));
    line = new QLineSeries(chartArea);
    points = new QScatterSeries(chartArea);
    points->setMarkerSize(kInitialPointSize);
    AttachSeries();
}

void CChartCtrl::SetTitle(const QString& title) { chartArea->setTitle(title); }

QString CChartCtrl::Title() const { return chartArea->title(); }

void CChartCtrl::SetLeftRange(double minimum, double maximum) { leftAxis->setRange(minimum, maximum); }

void CChartCtrl::SetBottomRange(double minimum, double maximum) { bottomAxis->setRange(minimum, maximum); }

void CChartCtrl::SetBottomAutomatic(bool automatic) {
    bottomAutomatic = automatic;
    if (automatic) {
        FitBottomToSamples();
    }
}

void CChartCtrl::SetBottomTickStep(double step) {
    bottomAxis->setTickType(QValueAxis::TicksDynamic);
    bottomAxis->setTickAnchor(0);
    bottomAxis->setTickInterval(step);
}

void CChartCtrl::ReplaceSeries(const QList<QPointF>& linePoints, const QList<QPointF>& pointPoints,
                               double pointSize) {
    chartArea->removeSeries(line);
    chartArea->removeSeries(points);
    delete line;
    delete points;
    line = new QLineSeries(chartArea);
    points = new QScatterSeries(chartArea);
    points->setMarkerSize(pointSize);
    line->replace(linePoints);
    points->replace(pointPoints);
    AttachSeries();
    if (bottomAutomatic) {
        FitBottomToSamples();
    }
}

void CChartCtrl::AttachSeries() {
    for (QXYSeries* series : {static_cast<QXYSeries*>(line), static_cast<QXYSeries*>(points)}) {
        chartArea->addSeries(series);
        series->attachAxis(bottomAxis);
        series->attachAxis(leftAxis);
    }
}

void CChartCtrl::FitBottomToSamples() {
    const QList<QPointF> samples = points->points();
    if (samples.isEmpty()) {
        return;
    }
    auto [low, high] = std::minmax_element(samples.begin(), samples.end(),
                                           [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
    bottomAxis->setRange(low->x(), std::max(high->x(), low->x() + 1));
}

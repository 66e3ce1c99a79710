#include "widgets/ButtonCaption.h"

#include <gtest/gtest.h>

#include <QFont>

#include "widgets/CButtonST.h"
#include "widgets/DialogUnits.h"

namespace {

// Captions in the pages' 14-pixel Arial, laid out in a contents rectangle with a 16-pixel image.
class ButtonCaptionTest : public ::testing::Test {
protected:
    CaptionLayout Lay(int width, int height, const QString& caption, QSize image = QSize(16, 16)) const {
        return LayOutCaption(QRect(1, 1, width, height), image, metrics, caption);
    }
    int Width(const QString& text) const { return metrics.horizontalAdvance(text); }

    QFont font = CellHeightFont(QStringLiteral("Arial"), 14);
    QFontMetrics metrics{font};
};

TEST_F(ButtonCaptionTest, AShortCaptionSitsOnOneLineBesideTheImageCentredAsAGroup) {
    const QString caption = QStringLiteral("Export");
    const CaptionLayout layout = Lay(200, 30, caption);
    EXPECT_TRUE(layout.fits);
    EXPECT_EQ(layout.text, caption);
    EXPECT_EQ(layout.image.size(), QSize(16, 16));
    EXPECT_EQ(layout.caption.left(), layout.image.right() + 1 + kCaptionSpacing);
    const int group = 16 + kCaptionSpacing + layout.caption.width();
    EXPECT_NEAR(layout.image.left() - 1, 200 - group - (layout.image.left() - 1), 1);
}

TEST_F(ButtonCaptionTest, AValueCaptionTooWideForOneLineBreaksAfterItsLabel) {
    const QString caption = QStringLiteral("Gas meter: 0.00 m3");
    // Wide enough for "Gas meter: 0.00" on the first line, which would leave the unit alone.
    const int width = 16 + kCaptionSpacing + Width(QStringLiteral("Gas meter: 0.00")) + 2;
    ASSERT_GT(Width(caption), width - 16 - kCaptionSpacing);
    const CaptionLayout layout = Lay(width, 2 * metrics.height(), caption);
    EXPECT_TRUE(layout.fits);
    EXPECT_FALSE(layout.image.isEmpty());
    EXPECT_EQ(layout.text, QStringLiteral("Gas meter:\n0.00 m3"));
}

TEST_F(ButtonCaptionTest, ACaptionWithoutLabelWrapsAtBlanks) {
    const QString caption = QStringLiteral("Server started on port 5020");
    const CaptionLayout layout =
        Lay(Width(QStringLiteral("Server started on")) + 2, 2 * metrics.height(), caption, QSize());
    EXPECT_TRUE(layout.fits);
    EXPECT_EQ(layout.text, caption);
}

TEST_F(ButtonCaptionTest, TheImageGivesWayToACaptionThatFitsOnlyAlone) {
    const QString caption = QStringLiteral("Back");
    const CaptionLayout layout = Lay(Width(caption) + 2, 30, caption);
    EXPECT_TRUE(layout.fits);
    EXPECT_TRUE(layout.image.isEmpty());
    EXPECT_GE(layout.caption.width(), Width(caption));
}

TEST_F(ButtonCaptionTest, ACaptionThatCannotFitIsReportedAndCentredOnTheButton) {
    const CaptionLayout layout = Lay(30, 14, QStringLiteral("Line pressure: 99.80 bar"));
    EXPECT_FALSE(layout.fits);
    EXPECT_EQ(layout.caption, QRect(1, 1, 30, 14));
}

TEST_F(ButtonCaptionTest, AnImageWithoutCaptionIsCentred) {
    const CaptionLayout layout = Lay(30, 23, QString());
    EXPECT_TRUE(layout.fits);
    EXPECT_EQ(layout.image, QRect(8, 4, 16, 16));
}

TEST(CellHeightFontTest, TheCellOfTheFontFillsButDoesNotExceedTheHeight) {
    for (int cell : {12, 14, 16, 20}) {
        const QFont font = CellHeightFont(QStringLiteral("Arial"), cell);
        EXPECT_LE(QFontMetrics(font).height(), cell) << cell;
        QFont larger = font;
        larger.setPixelSize(font.pixelSize() + 1);
        EXPECT_GT(QFontMetrics(larger).height(), cell) << cell;
    }
}

TEST(CButtonSTTest, TheButtonReportsWhetherItsCaptionFits) {
    CButtonST button(nullptr, QStringLiteral("Back"));
    button.setFont(CellHeightFont(QStringLiteral("Arial"), 14));
    button.SetIconNumber(0);
    button.resize(60, 30);
    EXPECT_TRUE(button.CaptionFits());
    button.resize(12, 30);
    EXPECT_FALSE(button.CaptionFits());
}

}  // namespace

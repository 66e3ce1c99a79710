#include "widgets/DialogUnits.h"

#include <gtest/gtest.h>

#include <QFontInfo>

namespace {

// Arial 9 pt is 12 pixels at 96 dots per inch. Arial's 52 Latin letters advance 62138/2048 em between
// them, 364 pixels at that size: 7 pixels a letter, the horizontal base unit. Its cell is 11 pixels of
// ascent and 3 of descent, the vertical one. Liberation Sans has the same metrics.
class DialogUnitsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QFontInfo info(DialogFont());
        if ((info.family() != "Arial" && info.family() != "Liberation Sans") || info.pixelSize() != 12) {
            GTEST_SKIP() << "the dialog font is " << info.family().toStdString() << " at " << info.pixelSize()
                         << " pixels, not Arial's metrics at 12";
        }
    }

    DialogUnits units{DialogFont()};
};

TEST_F(DialogUnitsTest, ArialNinePointHasBaseUnitsOfSevenByFourteen) {
    EXPECT_EQ(units.BaseX(), 7);
    EXPECT_EQ(units.BaseY(), 14);
}

// A horizontal unit is 1.75 pixels and a vertical one likewise; a half rounds up.
TEST_F(DialogUnitsTest, UnitsRoundToTheNearestPixel) {
    EXPECT_EQ(units.X(0), 0);
    EXPECT_EQ(units.X(1), 2);   // 1.75
    EXPECT_EQ(units.X(2), 4);   // 3.5
    EXPECT_EQ(units.X(3), 5);   // 5.25
    EXPECT_EQ(units.Y(3), 5);   // 5.25
    EXPECT_EQ(units.Y(6), 11);  // 10.5
}

// The main window's tab control, 652 x 316 units at (7, 7), and the window's 666 x 385.
TEST_F(DialogUnitsTest, TemplateGeometryInPixels) {
    EXPECT_EQ(units.Rect(7, 7, 652, 316), QRect(12, 12, 1141, 553));
    EXPECT_EQ(units.Size(666, 385), QSize(1166, 674));
}

}  // namespace

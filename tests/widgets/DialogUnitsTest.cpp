#include "widgets/DialogUnits.h"

#include <gtest/gtest.h>

#include <QFontMetrics>

namespace {

TEST(DialogUnitsTest, FourHorizontalUnitsMakeOneAverageCharacter) {
    DialogUnits units(DialogFont());
    EXPECT_EQ(units.X(4), units.BaseX());
    EXPECT_EQ(units.Y(8), units.BaseY());
    EXPECT_EQ(units.BaseY(), QFontMetrics(DialogFont()).height());
}

TEST(DialogUnitsTest, RectScalesPositionAndSize) {
    DialogUnits units(DialogFont());
    QRect rect = units.Rect(7, 7, 652, 316);
    EXPECT_EQ(rect.x(), units.X(7));
    EXPECT_EQ(rect.width(), units.X(652));
    EXPECT_EQ(rect.height(), units.Y(316));
    // The template's 666 units are wider than its 652-unit tab control plus margins.
    EXPECT_GT(units.X(666), rect.right());
}

TEST(DialogUnitsTest, RoundsToTheNearestPixel) {
    QFont font = DialogFont();
    DialogUnits units(font);
    int base = units.BaseX();
    EXPECT_EQ(units.X(1), (base + 2) / 4);
    EXPECT_EQ(units.X(0), 0);
}

}  // namespace

#include "widgets/CEnTabCtrl.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <QWheelEvent>

#include "widgets/ControlId.h"

namespace {

// A tab control with `count` plain pages, shown at a usable size.
class TabCtrlTest : public ::testing::Test {
protected:
    void AddPages(int count) {
        for (int i = 0; i < count; ++i) {
            auto* page = new QWidget;
            auto* label = new QLabel(QString::number(i), page);
            SetControlId(*label, 2000 + i);
            ASSERT_TRUE(tabs.AddPage(page, 100 + i, QString("Page %1").arg(i)));
        }
        tabs.resize(600, 400);
        tabs.show();
        tabs.selectPage(0);
        tabs.PlacePages(tabs.DisplayArea());
    }
    bool Visible(int index) const { return tabs.page(index)->isVisible(); }

    CEnTabCtrl tabs{nullptr};
};

TEST_F(TabCtrlTest, ThirteenthPageIsRefused) {
    AddPages(12);
    QWidget extra;
    EXPECT_FALSE(tabs.AddPage(&extra, 1, "13"));
    EXPECT_EQ(tabs.PageCount(), 12);
    EXPECT_EQ(extra.parent(), nullptr);
}

TEST_F(TabCtrlTest, MissingPageIsRefused) {
    EXPECT_FALSE(tabs.AddPage(nullptr, 1, "none"));
    EXPECT_EQ(tabs.PageCount(), 0);
}

TEST_F(TabCtrlTest, SelectPageShowsOnlyThatPageAndMovesTheSelection) {
    AddPages(4);
    tabs.selectPage(2);
    EXPECT_EQ(tabs.VisiblePage(), 2);
    EXPECT_EQ(tabs.TabBar().currentIndex(), 2);
    EXPECT_TRUE(Visible(2));
    EXPECT_FALSE(Visible(0));
}

TEST_F(TabCtrlTest, SelectPageIgnoresIndexWithoutPage) {
    AddPages(4);
    tabs.selectPage(1);
    tabs.selectPage(4);
    tabs.selectPage(12);
    tabs.selectPage(-1);
    EXPECT_EQ(tabs.VisiblePage(), 1);
    EXPECT_TRUE(Visible(1));
}

TEST_F(TabCtrlTest, DialogItemFindsControlOfPage) {
    AddPages(3);
    QWidget* item = tabs.dialogItem(2, 2002);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(static_cast<QLabel*>(item)->text(), "2");
    EXPECT_EQ(tabs.dialogItem(2, 2001), nullptr);
    EXPECT_EQ(tabs.dialogItem(5, 2002), nullptr);
}

TEST_F(TabCtrlTest, MouseClickOnTabSwitchesPage) {
    AddPages(4);
    QTest::mouseClick(&tabs.TabBar(), Qt::LeftButton, {}, tabs.TabBar().tabRect(3).center());
    EXPECT_EQ(tabs.VisiblePage(), 3);
    EXPECT_TRUE(Visible(3));
    EXPECT_FALSE(Visible(0));
}

TEST_F(TabCtrlTest, KeyboardMovesSelectionButNotPage) {
    AddPages(4);
    tabs.TabBar().setFocus();
    QTest::keyClick(&tabs.TabBar(), Qt::Key_Right);
    EXPECT_EQ(tabs.TabBar().currentIndex(), 1);
    EXPECT_EQ(tabs.VisiblePage(), 0);
    EXPECT_TRUE(Visible(0));
}

TEST_F(TabCtrlTest, TheWheelOverTheStripLeavesTabAndPageTogether) {
    AddPages(4);
    const QPointF over = tabs.TabBar().tabRect(0).center();
    for (int delta : {-120, -120, 120}) {
        QWheelEvent wheel(over, tabs.TabBar().mapToGlobal(over), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&tabs.TabBar(), &wheel);
        EXPECT_EQ(tabs.TabBar().currentIndex(), tabs.VisiblePage());
    }
}

TEST_F(TabCtrlTest, CustomLookKeepsColourModeAndFlags) {
    AddPages(1);
    tabs.SetCustomLook(QColor(30, 60, 30), 2, 0x1f);
    EXPECT_TRUE(tabs.HasCustomLook());
    EXPECT_EQ(tabs.BackColor(), QColor(30, 60, 30));
    EXPECT_EQ(tabs.DrawMode(), 2);
    EXPECT_EQ(tabs.LookFlags(), 0x1fu);
}

}  // namespace

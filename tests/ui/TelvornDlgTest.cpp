#include "ui/TelvornDlg.h"

#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

#include <memory>

#include "storage/SpoolLock.h"
#include "tests/platform/completionport/LoopbackSockets.h"
#include "tests/ui/UiFixture.h"
#include "ui/DyInputView.h"
#include "ui/PageRtuState.h"
#include "ui/ResourceIds.h"
#include "widgets/DialogUnits.h"

namespace uitest {
namespace {

const char* const kWindowTexts =
    "[Titles]\nSYSTITLE=Fleet server\nPage0=List\nPage1=Raw\nPage2=State\nPage3=Registers\n"
    "SVRSTART=Listening on\nSVRCONN=connections\nSVRTHEAD=workers\nSVRTIMEOUT=idle\nSVRTIMEOUTSEC=s\n"
    "[Menu]\nView=Show\n";

// The main window started in its own directory on an ephemeral port, the storage steps recorded.
class TelvornDlgTest : public UiTest {
protected:
    bool Start(const std::string& uiIni = kWindowTexts, int timeout = 600, int port = 0) {
        directory.Write("rtu_ui.ini", uiIni);
        directory.Write("data_rtu.ini",
                        "[SYSCONFIG]\nPORT=" + std::to_string(port) + "\nTCPTO=" + std::to_string(timeout) + "\n");
        StartupOperations operations;
        operations.openDatabase = [this](CSQLDatabase& database, IMessageBox&) {
            steps.push_back("open database");
            // Stands in for a successful bootstrap: the connection counts as open.
            database.connected.store(true);
        };
        operations.loadRegistry = [this](CSQLDatabase& database) {
            steps.push_back(database.connected.load() ? "registry, database open" : "registry, database closed");
            return std::vector<RegistryRow>{};
        };
        window = std::make_unique<CTelvornDlg>(messageBox, operations);
        const bool started = window->OnInitDialog();
        window->show();
        return started;
    }
    std::string StatusText() const { return window->StatusLine().text().toStdString(); }

    std::vector<std::string> steps;
    std::unique_ptr<CTelvornDlg> window;
};

TEST_F(TelvornDlgTest, SysTitleReplacesTheBuiltInTitle) {
    Start();
    EXPECT_EQ(window->windowTitle(), "Fleet server");
}

TEST_F(TelvornDlgTest, SysTitleAbsentGivesEmptyTitle) {
    Start("[Titles]\nPage0=List\n");
    // Handed an empty title, the window system would show the program's name in the title bar.
    EXPECT_FALSE(window->windowTitle().isEmpty());
    EXPECT_TRUE(window->windowTitle().trimmed().isEmpty());
}

TEST_F(TelvornDlgTest, EscapeInAFieldLeavesTheWindowOpenAndTheCloseBoxClosesIt) {
    Start();
    window->Tabs().selectPage(2);
    QLineEdit& value = window->Tabs().RtuStatePage().ValueEdit();
    value.setFocus();
    QTest::keyClick(&value, Qt::Key_Escape);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
}

// Whether every control of the page at `index` (hidden ones too, such as the RTU form) lies inside the
// page, and the page is either whole in the tab control or scrolls there far enough to show all of it.
// The page is brought to the front first: a hidden frame lays itself out only once shown.
::testing::AssertionResult PageReachable(const CTelvornDlg& window, int index) {
    window.Tabs().selectPage(index);
    QCoreApplication::processEvents();
    const QWidget* page = window.Tabs().page(index);
    const QAbstractScrollArea* frame = nullptr;
    for (const QWidget* up = page->parentWidget(); up != &window.Tabs() && frame == nullptr; up = up->parentWidget())
        frame = qobject_cast<const QAbstractScrollArea*>(up);
    const QWidget* shown = frame != nullptr ? static_cast<const QWidget*>(frame) : page;
    const QRect placed(shown->mapTo(&window.Tabs(), QPoint()), shown->size());
    if (!QRect(QPoint(), window.Tabs().size()).contains(placed)) {
        return ::testing::AssertionFailure() << "page " << index << " outside the tab control";
    }
    if (frame != nullptr && (frame->horizontalScrollBar()->maximum() < page->width() - frame->viewport()->width() ||
                             frame->verticalScrollBar()->maximum() < page->height() - frame->viewport()->height())) {
        return ::testing::AssertionFailure() << "page " << index << " cut: it does not scroll far enough";
    }
    for (const QWidget* control : page->findChildren<QWidget*>()) {
        // Pop-ups are windows of their own; plain panels only hold controls, which are checked.
        if (control->window() != page->window() || control->parentWidget()->isWindow()) continue;
        if (control->metaObject() == &QWidget::staticMetaObject ||
            dynamic_cast<const CDyInputView*>(control) != nullptr)
            continue;
        const QRect area(control->mapTo(page, QPoint()), control->size());
        if (!page->rect().contains(area)) {
            return ::testing::AssertionFailure()
                   << "page " << index << ": " << control->metaObject()->className() << " "
                   << control->property("controlId").toInt() << " at " << area.x() << "," << area.y() << " "
                   << area.width() << "x" << area.height() << " outside " << page->width() << "x" << page->height();
        }
    }
    return ::testing::AssertionSuccess();
}

// Whether every page can show each of its controls and the start of the bottom line is inside the
// client area.
::testing::AssertionResult EveryControlReachable(const CTelvornDlg& window) {
    const int front = window.Tabs().VisiblePage();
    for (int index = 0; index < window.Tabs().PageCount(); ++index) {
        const ::testing::AssertionResult reachable = PageReachable(window, index);
        if (!reachable) return reachable;
    }
    window.Tabs().selectPage(front);
    const QSize client = window.ClientSize();
    if (window.StatusLine().geometry().right() >= client.width() || window.LookButton().x() + 16 >= client.width()) {
        return ::testing::AssertionFailure() << "bottom line cut at " << client.width();
    }
    return ::testing::AssertionSuccess();
}

// Industrial panel PCs have 1024 x 768 screens: the window fits one with room for a title bar, and a
// page larger than the window scrolls to each of its controls instead of cutting them off.
TEST_F(TelvornDlgTest, TheWindowFitsA1024By768Screen) {
    Start();
    const QSize screen(1024, 768 - 32);
    EXPECT_LE(window->minimumWidth(), screen.width());
    EXPECT_LE(window->minimumHeight(), screen.height());
    window->Tabs().RtuListPage().OnCommand(CMD_ADD_RTU);
    window->resize(screen);
    QCoreApplication::processEvents();
    EXPECT_TRUE(EveryControlReachable(*window));
}

// On a 1024-pixel screen (less a window border of 4 pixels each side) the RTU state page shows
// every control at once: nothing is reached by scrolling sideways or down.
TEST_F(TelvornDlgTest, TheStatePageNeedsNoScrollingOnA1024By768Screen) {
    Start();
    window->resize(1024 - 8, 768 - 32);
    window->Tabs().selectPage(2);
    QCoreApplication::processEvents();
    const QAbstractScrollArea& frame = *window->Tabs().PageFrame(2);
    EXPECT_EQ(frame.horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(frame.verticalScrollBar()->maximum(), 0);
    EXPECT_TRUE(PageReachable(*window, 2));
}

TEST_F(TelvornDlgTest, NoSizeCutsOffAControl) {
    Start();
    window->Tabs().RtuListPage().OnCommand(CMD_ADD_RTU);  // the form with its Save and Cancel buttons
    window->ResizeClientArea(QSize(700, 500));
    QCoreApplication::processEvents();
    EXPECT_TRUE(EveryControlReachable(*window));
    window->resize(window->minimumSize());
    QCoreApplication::processEvents();
    EXPECT_EQ(window->size(), window->minimumSize());
    EXPECT_TRUE(EveryControlReachable(*window));
    // The minimum is no larger than the window the program opens with.
    const QSize opening = DialogUnits(DialogFont()).Size(666, 385);
    EXPECT_LE(window->ClientSize().width(), opening.width());
    EXPECT_LE(window->ClientSize().height(), opening.height());
}

TEST_F(TelvornDlgTest, FourTabsWithTheirCaptionsAndThreeViewItems) {
    Start();
    ASSERT_EQ(window->Tabs().PageCount(), 4);
    EXPECT_EQ(window->Tabs().TabBar().tabText(3), "Registers");
    EXPECT_EQ(window->Tabs().TemplateId(1), 129);
    ASSERT_EQ(window->ViewMenu().actions().size(), 3);
    EXPECT_EQ(window->ViewMenu().actions().at(1)->text(), "Raw");
    EXPECT_FALSE(window->ViewMenu().actions().at(2)->icon().isNull());
    EXPECT_EQ(window->MenuBar().actions().front()->text(), "Show");
}

TEST_F(TelvornDlgTest, ThirdViewItemShowsTheStatePage) {
    Start();
    window->ViewMenu().actions().at(2)->trigger();
    EXPECT_EQ(window->Tabs().VisiblePage(), 2);
    EXPECT_EQ(window->Tabs().TabBar().currentIndex(), 2);
    EXPECT_TRUE(window->Tabs().page(2)->isVisible());
    EXPECT_FALSE(window->Tabs().page(0)->isVisible());
}

TEST_F(TelvornDlgTest, LayoutAt700By500) {
    Start();
    // The rule itself, below the window's minimum size.
    window->setMinimumSize(0, 0);
    window->ResizeClientArea(QSize(700, 500));
    ASSERT_TRUE(ProcessEventsUntil([&] { return window->ClientSize() == QSize(700, 500); }));
    EXPECT_EQ(window->Tabs().geometry(), QRect(8, 12, 684, 456));
    EXPECT_EQ(window->StatusLine().geometry(), QRect(4, 478, 600, 18));
    EXPECT_EQ(window->LookButton().geometry(), QRect(608, 478, 900, 18));
    QRect tabClient = window->Tabs().rect();
    EXPECT_EQ(window->Tabs().PageFrame(0)->geometry(), QRect(0, 32, tabClient.width(), tabClient.height() - 32));
    EXPECT_EQ(window->Tabs().PageFrame(3)->geometry(), window->Tabs().PageFrame(0)->geometry());
}

TEST_F(TelvornDlgTest, StatusLineShowsTimeoutZeroAs600) {
    Start(kWindowTexts, 0);
    // The configured port is shown, not the one the system picked for port 0.
    EXPECT_EQ(StatusText(), "Listening on 0, connections 100, workers 120, idle 600 s");
}

TEST_F(TelvornDlgTest, StatusLineShowsTimeoutThreeAsThree) {
    Start(kWindowTexts, 3);
    // The configured port is shown, not the one the system picked for port 0.
    EXPECT_EQ(StatusText(), "Listening on 0, connections 100, workers 120, idle 3 s");
}

TEST_F(TelvornDlgTest, DatabaseOpensBeforeTheRegistryIsRead) {
    Start();
    EXPECT_TRUE(steps.empty());
    ASSERT_TRUE(ProcessEventsUntil([&] { return steps.size() == 2; }));
    EXPECT_EQ(steps, (std::vector<std::string>{"open database", "registry, database open"}));
}

// Unlike telvorn-headless, the window goes on without a server: its database and registry are of use.
TEST_F(TelvornDlgTest, PortInUseIsShownAndTheStartGoesOn) {
    std::uint16_t taken = 0;
    const int holder = loopback::Listen(&taken);
    Start(kWindowTexts, 600, taken);
    ASSERT_TRUE(ProcessEventsUntil([&] { return steps.size() == 2; }));
    ASSERT_EQ(messageBox.shown.size(), 1u);
    EXPECT_EQ(messageBox.shown[0].text, "server socket failed to bind on given port.");
    EXPECT_EQ(StatusText(), "");
    close(holder);
}

// Two writers on one spool would lose or duplicate readings: the start ends before the server binds.
TEST_F(TelvornDlgTest, SpoolHeldByAnotherTelvornIsShownAndTheStartEnds) {
    SpoolLock other;
    std::string held;
    ASSERT_EQ(other.Take("./RTUDB-spool.db", held), SpoolLock::Result::Taken);
    EXPECT_FALSE(Start());
    ASSERT_EQ(messageBox.shown.size(), 1u);
    EXPECT_EQ(messageBox.shown[0].text,
              "Telvorn stops: spool ./RTUDB-spool.db is held by another Telvorn process (pid " +
                  std::to_string(getpid()) + ")");
    EXPECT_EQ(messageBox.shown[0].icon, MessageIcon::Stop);
    EXPECT_EQ(window->Server().server, nullptr);
}

TEST_F(TelvornDlgTest, LookButtonSwitchesTheTabStripToItsCustomLook) {
    Start();
    QTest::mouseClick(&window->LookButton(), Qt::LeftButton);
    EXPECT_TRUE(window->Tabs().HasCustomLook());
    EXPECT_EQ(window->Tabs().BackColor(), QColor(30, 60, 30));
    EXPECT_EQ(window->Tabs().DrawMode(), 2);
}

TEST_F(TelvornDlgTest, StatePageRefreshesOnPostedCommand) {
    Start();
    CPageRtuState& state = window->Tabs().RtuStatePage();
    // The page posts its own first refresh when it is created.
    ASSERT_TRUE(ProcessEventsUntil([&] { return state.RefreshCount() == 1; }));
    static_cast<IStatePage&>(state).PostCommand(CMD_REFRESH_STATE);
    EXPECT_EQ(state.RefreshCount(), 1);
    ASSERT_TRUE(ProcessEventsUntil([&] { return state.RefreshCount() == 2; }));
}

TEST_F(TelvornDlgTest, TeardownClosesTheDatabase) {
    Start();
    ASSERT_TRUE(ProcessEventsUntil([&] { return steps.size() == 2; }));
    window->Teardown();
    EXPECT_FALSE(window->Database().connected.load());
}

}  // namespace
}  // namespace uitest

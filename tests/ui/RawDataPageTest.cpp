#include "ui/PageTcpRowData.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QScrollBar>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>

#include "tests/platform/completionport/LoopbackSockets.h"
#include "tests/ui/UiFixture.h"
#include "ui/PageRtuState.h"
#include "ui/TelvornDlg.h"

namespace uitest {
namespace {

// An RTU I/O frame of unit 12: AIN channel 1 at 112.34.
const char* const kFrame = "$00000012AB1020140411123000011112.34$";

// The raw data page fed by the real server from a real TCP client.
class RawDataPageTest : public UiTest {
protected:
    void SetUp() override {
        directory.Write("rtu_ui.ini", "[Titles]\nSVRSTART=on\n");
        StartTcpServer(0, 600, ServerReferences{&page, &statePage, nullptr}, messageBox, statusLine, running);
        ASSERT_TRUE(running.server);
        client = loopback::Connect(running.server->Table().BoundPort());
        ASSERT_GE(client, 0);
    }
    void TearDown() override {
        page.Detach();
        statePage.Detach();
        running.server.reset();
        if (client >= 0) {
            close(client);
        }
    }
    // Sends the frame and runs events until its last line, the decoder's summary, is in the list.
    bool SendFrameAndWait() {
        return loopback::SendText(client, kFrame) && ProcessEventsUntil([&] { return RowOf("VUDOV: UID12") >= 0; });
    }
    QListWidget& List() { return page.List(); }
    QString Line(int row) { return List().item(row)->text(); }
    int RowOf(const QString& text) {
        for (int row = 0; row < List().count(); ++row) {
            if (Line(row).contains(text)) return row;
        }
        return -1;
    }

    struct IgnoredStatusLine final : IStatusLine {
        void SetText(const std::string&) override {}
    } statusLine;
    CPageTcpRowData page{nullptr};
    CSQLDatabase database;
    CPageRtuState statePage{nullptr, database, messageBox, saveFile};
    RunningServer running;
    int client = -1;
};

TEST_F(RawDataPageTest, ReceivedChunkAppearsAsCounterLineAndHexDump) {
    ASSERT_TRUE(SendFrameAndWait());
    int counters = RowOf("Rx=");
    ASSERT_GE(counters, 0);
    // The hex dump begins with the frame's first byte, '$'.
    EXPECT_GE(RowOf("24 30 30"), counters);
}

TEST_F(RawDataPageTest, ResetEmptiesTheListAndTheNextChunkStartsANewOne) {
    ASSERT_TRUE(SendFrameAndWait());
    QTest::mouseClick(&page.ResetButton(), Qt::LeftButton);
    EXPECT_EQ(List().count(), 0);
    ASSERT_TRUE(SendFrameAndWait());
    EXPECT_EQ(Line(0), "");
    EXPECT_TRUE(Line(1).startsWith("Rx="));
}

TEST_F(RawDataPageTest, ChunkAfter1001LinesEmptiesTheListFirst) {
    for (int i = 0; i < 1001; ++i) {
        page.AddLine("old line\r\n");
    }
    ASSERT_TRUE(SendFrameAndWait());
    EXPECT_EQ(Line(0), "");
    EXPECT_EQ(RowOf("old line"), -1);
    EXPECT_LT(List().count(), 1001);
}

TEST_F(RawDataPageTest, ThousandLinesAreKept) {
    for (int i = 0; i < 1000; ++i) {
        page.AddLine("old line");
    }
    ASSERT_TRUE(SendFrameAndWait());
    EXPECT_EQ(Line(0), "old line");
    EXPECT_EQ(Line(1000), "");
}

TEST_F(RawDataPageTest, LineFromWorkerIsInTheListWhenAddLineReturns) {
    std::atomic<int> countAfterAdd{-1};
    std::thread worker([&] {
        page.AddLine("from worker\r\n");
        countAfterAdd.store(page.Count());
    });
    ASSERT_TRUE(ProcessEventsUntil([&] { return countAfterAdd.load() >= 0; }));
    worker.join();
    EXPECT_EQ(countAfterAdd.load(), 1);
    EXPECT_EQ(Line(0), "from worker");
}

TEST_F(RawDataPageTest, DetachReleasesWorkersAndIgnoresTheirLaterLines) {
    std::atomic<bool> stop{false};
    std::atomic<int> added{0};
    std::thread worker([&] {
        while (!stop.load()) {
            page.AddLine("busy");
            added.fetch_add(1);
        }
    });
    ASSERT_TRUE(ProcessEventsUntil([&] { return added.load() > 10; }));
    page.Detach();
    int shown = List().count();
    // Without the user-interface thread running events, a detached page still lets the worker go on.
    int before = added.load();
    while (added.load() < before + 100) {
        std::this_thread::yield();
    }
    stop.store(true);
    worker.join();
    EXPECT_EQ(List().count(), shown);
}

TEST_F(RawDataPageTest, TheListScrollsSidewaysToTheEndOfTheLongestLine) {
    page.resize(500, 300);
    page.show();
    const QString longLine = QString("24 30 30 ").repeated(60) + "end";
    page.AddLine(longLine.toLatin1().constData());
    page.AddLine("Rx=1,UnKnow=0");
    ASSERT_TRUE(ProcessEventsUntil([&] { return List().horizontalScrollBar()->maximum() > 0; }));
    const int needed = List().fontMetrics().horizontalAdvance(longLine);
    EXPECT_GE(List().visualRect(List().model()->index(0, 0)).width(), needed);
    EXPECT_GE(List().horizontalScrollBar()->maximum() + List().viewport()->width(), needed);
    // Every row keeps the one size, so appending never measures the list.
    EXPECT_EQ(List().visualRect(List().model()->index(1, 0)).size(),
              List().visualRect(List().model()->index(0, 0)).size());
    page.ResetButton().click();
    page.AddLine("short");
    ASSERT_TRUE(ProcessEventsUntil([&] { return List().horizontalScrollBar()->maximum() == 0; }));
}

// The list keeps the newest line in view while the operator stays at its end, and leaves the view
// alone once the operator has scrolled away from it.
TEST_F(RawDataPageTest, TheListFollowsTheNewestLineUnlessScrolledAway) {
    page.resize(500, 300);
    page.show();
    QScrollBar& bar = *List().verticalScrollBar();
    const auto addLines = [&](int count) {
        for (int i = 0; i < count; ++i) page.AddLine("Rx=1,UnKnow=0");
    };
    const auto atEndOf = [&](int maximum) { return bar.maximum() >= maximum && bar.value() == bar.maximum(); };
    addLines(100);
    ASSERT_TRUE(ProcessEventsUntil([&] { return atEndOf(1); }));
    bar.triggerAction(QAbstractSlider::SliderToMinimum);
    const int before = bar.maximum();
    addLines(50);
    ASSERT_TRUE(ProcessEventsUntil([&] { return bar.maximum() > before; }));
    EXPECT_EQ(bar.value(), 0);
    bar.triggerAction(QAbstractSlider::SliderToMaximum);
    const int scrolledTo = bar.maximum();
    addLines(50);
    EXPECT_TRUE(ProcessEventsUntil([&] { return atEndOf(scrolledTo + 1); }));
}

// The main window destroyed while an RTU keeps sending: the server stops without a deadlock.
TEST_F(UiTest, WindowClosesWhileAnRtuSends) {
    directory.Write("data_rtu.ini", "[SYSCONFIG]\nPORT=0\n");
    StartupOperations operations;
    operations.openDatabase = [](CSQLDatabase&, IMessageBox&) {};
    auto window = std::make_unique<CTelvornDlg>(messageBox, operations);
    window->OnInitDialog();
    int client = loopback::Connect(window->Server().server->Table().BoundPort());
    ASSERT_GE(client, 0);
    std::atomic<bool> stop{false};
    std::thread rtu([&] {
        while (!stop.load() && loopback::SendText(client, kFrame)) {
        }
    });
    QListWidget& list = window->Tabs().RawDataPage().List();
    ASSERT_TRUE(ProcessEventsUntil([&] { return list.count() > 50; }));
    window.reset();
    stop.store(true);
    // Unblocks a send that waits on a full socket buffer.
    shutdown(client, SHUT_RDWR);
    rtu.join();
    close(client);
}

}  // namespace
}  // namespace uitest

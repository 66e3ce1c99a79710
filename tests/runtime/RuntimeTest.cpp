// The runtime started without a database in a directory of its own, an RTU on loopback.
#include "runtime/Runtime.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/RtuTable.h"
#include "storage/HistoryCounts.h"
#include "tests/platform/completionport/LoopbackSockets.h"
#include "tests/support/TempWorkingDirectory.h"
#include "tests/support/WaitUntil.h"

namespace {

constexpr auto kGenerous = std::chrono::seconds(30);

// One more consumer of readings: keeps each as "unit channel number value", with the rows the
// history recorder had tried by then.
class KeptReadings final : public IHistoryWriter {
public:
    void WriteChannelInt(int unitId, const char* channelName, int channelNumber, int value, const char*,
                         std::uint8_t) override {
        Keep(unitId, channelName, channelNumber, std::to_string(value));
    }
    void WriteChannelFloat(int unitId, const char* channelName, int channelNumber, double value, const char*,
                           std::uint8_t) override {
        Keep(unitId, channelName, channelNumber, std::to_string(value).substr(0, 5));
    }
    std::vector<std::string> Readings() {
        std::lock_guard guard(lock);
        return readings;
    }
    std::uint64_t RecorderRowsBefore() {
        std::lock_guard guard(lock);
        return recorderRows;
    }

private:
    void Keep(int unitId, const char* channelName, int channelNumber, const std::string& value) {
        std::lock_guard guard(lock);
        recorderRows = historyCounts.stored.load() + historyCounts.failed.load();
        readings.push_back(std::to_string(unitId) + " " + channelName + " " + std::to_string(channelNumber) + " " +
                           value);
    }

    std::mutex lock;
    std::vector<std::string> readings;
    std::uint64_t recorderRows = 0;
};

// The window's pages, with nothing to show.
class NoPages final : public IStatusLine, public IStatePage {
public:
    void SetText(const std::string&) override {}
    void PostCommand(std::uint32_t) override {}
};

class SilentBox final : public IMessageBox {
public:
    MessageAnswer Show(const std::string&, const std::string&, MessageIcon, MessageButtons) override {
        return MessageAnswer::Ok;
    }
};

class RuntimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        directory.Write("data_rtu.ini", "[SYSCONFIG]\nPORT=0\n[HTTP]\nLISTEN=\n");
        RuntimeFront front;
        front.statusLine = &pages;
        front.statePage = &pages;
        runtime.SetFront(front);
        runtime.AddSink(kept);
        // No database: unit 123 is put in the live table as the registry would.
        LiveRtuTable().Slot(0).SetUidText("123");
        runtime.Start();
        port = runtime.Server().server->Table().BoundPort();
    }

    TempWorkingDirectory directory;
    NoPages pages;
    SilentBox messageBox;
    KeptReadings kept;
    Runtime runtime{messageBox, RuntimeOptions{{}, true}};
    std::uint16_t port = 0;
};

TEST_F(RuntimeTest, EveryReadingGoesToTheRecorderAndThenToEachAddedSink) {
    const int rtu = loopback::Connect(port);
    ASSERT_GE(rtu, 0);
    ASSERT_TRUE(loopback::SendText(rtu,
                                   "$00000123AB1020261207120000011"
                                   "12.34$"));
    ASSERT_TRUE(WaitUntil([&] { return !kept.Readings().empty(); }, kGenerous));
    EXPECT_EQ(kept.Readings(), std::vector<std::string>{"123 AIN 1 12.30"});
    // Without a database the recorder tries the first row, then the spool takes the reading.
    EXPECT_GE(kept.RecorderRowsBefore(), 1u) << "the recorder had the reading first";
    close(rtu);
}

TEST_F(RuntimeTest, StopClosesTheRtuPort) {
    runtime.Stop();
    const int rtu = loopback::Connect(port);
    EXPECT_LT(rtu, 0);
    if (rtu >= 0) close(rtu);
}

}  // namespace

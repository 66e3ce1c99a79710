// The real telvorn on the offscreen platform in a temporary home with a registered RTU, while rtusim
// sends it frames and Modbus/TCP reads: the reads are answered from the live table the RTU list
// filled, and the readings end up in the database.
#include "tests/storage/StorageFixture.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <thread>

#include "storage/Schema.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ReadFile.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempWorkingDirectory.h"
#include "tests/support/WaitUntil.h"

namespace {

// rtusim's one-line JSON summary for these options.
std::string RunRtusim(std::uint16_t port, const std::string& options) {
    const std::string command = std::string(TELVORN_RTUSIM) + " --port " + std::to_string(port) + " " + options;
    return RunCommand(command).output;
}

// The window and its database start slowly on a loaded machine.
constexpr std::chrono::seconds kStartLimit{60};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class EndToEndTest : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        WriteFile("data_rtu.ini",
                  "[SYSCONFIG]\nPORT=0\n[HTTP]\nLISTEN=\n[RTU]\nRDATACOUNTS=8\nRDATA1=Unit ID\nRDATA8=Model\n");
        WriteFile("rtu_ui.ini", kStatusTitles);
        Connect();
        ASSERT_TRUE(Exec(RtuTableCreation()));
        ASSERT_TRUE(Exec(kFullRcdsCreation));
        ASSERT_TRUE(Exec("INSERT INTO RTU_TAB(UID, RDATA7) VALUES ('123', '407')"));
        CreateChannelTables(db, "123");
    }
};

TEST_F(EndToEndTest, RegisteredRtuIsAnsweredAndRecorded) {
    ChildProcess telvorn(TELVORN_WINDOW, {});
    std::uint16_t port = 0;
    ASSERT_TRUE(WaitUntil([&] { return (port = telvorn.ListeningPort()) != 0; }, kStartLimit));

    // The list is loaded once the database is open: until then reads of unit 123 go unanswered.
    std::string summary;
    ASSERT_TRUE(WaitUntil(
        [&] {
            summary = RunRtusim(port, "--units 123 --count 3 --modbus 03 --reply-timeout 500");
            return Contains(summary, "\"ok\":true");
        },
        kStartLimit))
        << summary;

    summary = RunRtusim(port, "--units 123 --count 40 --rate 50 --frames 10,20 --modbus reads");
    EXPECT_TRUE(Contains(summary, "\"ok\":true")) << summary;
    EXPECT_TRUE(WaitUntil([&] { return Count("FULLRCDS") > 0; }, kStartLimit));
    // Each reading is kept twice: in FULLRCDS and in its channel table.
    const std::string channel = Column("SELECT RDATACH FROM FULLRCDS ORDER BY RID").at(0);
    EXPECT_GT(Count("\"123_" + channel + "\""), 0) << channel;
}

// Nobody reads the window's standard output any more (its terminal closed): its trace lines meet a
// pipe without a reader, and it goes on serving.
TEST_F(EndToEndTest, StandardOutputWithoutReaderLeavesTheWindowServing) {
    ChildProcess telvorn(TELVORN_WINDOW, {}, false);
    telvorn.CloseOutputAfter(0);
    std::uint16_t port = 0;
    ASSERT_TRUE(WaitUntil([&] { return (port = telvorn.ListeningPort()) != 0; }, kStartLimit));
    std::string summary;
    EXPECT_TRUE(WaitUntil(
        [&] {
            summary = RunRtusim(port, "--units 123 --count 3 --modbus 03 --reply-timeout 500");
            return Contains(summary, "\"ok\":true");
        },
        kStartLimit))
        << summary;
    summary = RunRtusim(port, "--units 123 --connections 4 --count 20 --frames 10 --modbus reads");
    EXPECT_TRUE(Contains(summary, "\"ok\":true")) << summary;
}

// SIGTERM closes the window as its close button does: the stop ends the program with status 0 and
// says in the event log that every reading received was stored or spooled.
TEST_F(EndToEndTest, SigtermStopsTheWindowAsItsClose) {
    ChildProcess telvorn(TELVORN_WINDOW, {});
    ASSERT_TRUE(WaitUntil([&] { return telvorn.ListeningPort() != 0; }, kStartLimit));
    EXPECT_EQ(telvorn.StopWith(SIGTERM), 0);
    const std::string log = ReadFile(home_ / "Log.txt");
    EXPECT_TRUE(Contains(log, "Stopped: every reading received was stored or spooled")) << log;
}

}  // namespace

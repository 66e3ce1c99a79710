// telvorn-headless whose standard output goes away: a reader that exits after 2,000 bytes (as
// `| head -c 2000` does), or no standard output at all from the start (`>&-`, as some wrappers
// start daemons). Either way it serves and stores every reading, on either engine.
#include "tests/support/ReadFile.h"
#include "tests/support/WaitUntil.h"
#include "tests/system/SystemFixture.h"

namespace system_test {
namespace {

class OutputGoneTest : public OnEachEngine<SystemTest> {
protected:
    void SetUp() override {
        OnEachEngine<SystemTest>::SetUp();
        Register(123);
    }

    // There is no status line to wait for: the server listens once its socket is there.
    void WaitListening() {
        ASSERT_TRUE(WaitUntil([&] { return (port = headless->ListeningPort()) != 0; }));
    }

    // `count` readings of AIN1 on a new connection, each read back there: all answered, then stored.
    void ReportReadings(int count) {
        const int client = Client();
        for (int i = 1; i <= count; ++i) {
            ASSERT_TRUE(loopback::SendText(client, Frame(123, "10", 1, "1" + std::to_string(i) + ".00")));
            ASSERT_EQ(ReadRegisters(client, 123, 1000, 2), (std::vector<int>{0, 10 * i}));
        }
        close(client);
        reported += count;
        EXPECT_TRUE(WaitUntil([&] { return Count("FULLRCDS") == reported; })) << Count("FULLRCDS");
    }

    int reported = 0;
};
INSTANTIATE_TEST_SUITE_P(Engines, OutputGoneTest, EachEngine(), EngineName);

TEST_P(OutputGoneTest, ReaderThatExitsAfter2000Bytes) {
    headless = std::make_unique<ChildProcess>(TELVORN_HEADLESS, std::vector<std::string>{}, false);
    std::thread head([&] { headless->CloseOutputAfter(2000); });
    WaitListening();
    ReportReadings(20);  // far more than 2,000 bytes of raw-data lines
    head.join();
    ReportReadings(20);  // every line of these meets a pipe without a reader
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
}

TEST_P(OutputGoneTest, StandardOutputClosedAtStart) {
    headless =
        std::make_unique<ChildProcess>("/bin/sh", std::vector<std::string>{"-c", "exec \"$0\" >&-", TELVORN_HEADLESS});
    WaitListening();
    ReportReadings(20);
    EXPECT_EQ(ReadFile(home_ / "Log.txt"), "");
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
}

}  // namespace
}  // namespace system_test

// Two telvorn-headless servers sharing one PostgreSQL schema, fed by rtusim: they share the RTU
// registry and the history, lose no reading, and live through the database server's restart.
#include "tests/system/SystemFixture.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <future>

#include "tests/support/WaitUntil.h"

namespace system_test {
namespace {

constexpr int kUnits = 2;

class PostgresSharedServersTest : public SystemTest {
protected:
    TestEngine Engine() const override { return TestEngine::Postgres; }

    void SetUp() override {
        SystemTest::SetUp();
        for (int unit = 1; unit <= kUnits; ++unit) Register(unit);
        for (int i = 0; i < 2; ++i) StartServer(i);
    }

    void TearDown() override {
        for (auto& server : servers_) server.reset();
        SystemTest::TearDown();
    }

    // Each server in a directory of its own (its INI files and "Log.txt"), on its own port.
    void StartServer(int index) {
        const std::filesystem::path directory = home_ / ("server" + std::to_string(index));
        std::filesystem::create_directories(directory);
        for (const char* file : {"data_rtu.ini", "rtu_ui.ini", "Messages.ini"})
            std::filesystem::copy_file(home_ / file, directory / file);
        {
            const ScopedWorkingDirectory working(directory);
            servers_[index] = std::make_unique<ChildProcess>(TELVORN_HEADLESS, std::vector<std::string>{});
        }
        ASSERT_TRUE(servers_[index]->WaitForOutput(kStatusLine));
        ports_[index] = servers_[index]->ListeningPort();
        ASSERT_NE(ports_[index], 0);
    }

    // rtusim on both servers at once, the same units on each; the two summaries.
    std::array<std::string, 2> FeedBoth(const std::string& arguments) {
        auto first = std::async(std::launch::async, [&] { return RunRtusim(ports_[0], arguments); });
        auto second = std::async(std::launch::async, [&] { return RunRtusim(ports_[1], arguments); });
        return {first.get(), second.get()};
    }

    std::string ServerLog(int index) { return ReadFile(home_ / ("server" + std::to_string(index)) / "Log.txt"); }

    // Rows and distinct RIDs of FULLRCDS, as psql lists them.
    std::string RowsAndDistinctRids() {
        return PostgresCluster::Instance().Query("SELECT count(*) || ' ' || count(DISTINCT rid) FROM " + schema_ +
                                                 ".fullrcds");
    }

    std::array<std::unique_ptr<ChildProcess>, 2> servers_;
    std::array<std::uint16_t, 2> ports_{};
};

// The rates stay far below the connection server's receive ceiling (a few hundred completions a
// second), where frames that arrive together in one receive would be cut at its end and lost
// before they reach the database.
TEST_F(PostgresSharedServersTest, EveryReadingSentToEitherServerIsStoredOnce) {
    const auto summaries = FeedBoth("--units 1-2 --connections 2 --rate 10 --frames 10,11,20 --count 160");
    const long readings = SummaryNumber(summaries[0], "readings") + SummaryNumber(summaries[1], "readings");
    ASSERT_GT(readings, 0) << summaries[0] << summaries[1];

    EXPECT_EQ(RowsAndDistinctRids(), std::to_string(readings) + " " + std::to_string(readings) + "\n");
    EXPECT_EQ(ServerLog(0), "");
    EXPECT_EQ(ServerLog(1), "");
}

// The database server stops for ten seconds while readings and Modbus reads arrive: both servers
// answer every request, keep the readings in their spools and forward them once the database is
// back, without being restarted, and every reading is stored once.
TEST_F(PostgresSharedServersTest, DatabaseRestartLosesNoReading) {
    PostgresCluster& cluster = PostgresCluster::Instance();
    auto outage = std::async(std::launch::async, [&] {
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const bool stopped = cluster.Stop();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        return stopped && cluster.Start();
    });
    const auto during = FeedBoth("--units 1-2 --connections 2 --rate 10 --frames 10:3 --modbus 03 --duration 16");
    ASSERT_TRUE(outage.get());
    for (const std::string& summary : during) {
        EXPECT_EQ(SummaryNumber(summary, "missing_replies"), 0) << summary;
        EXPECT_EQ(SummaryNumber(summary, "wrong_replies"), 0) << summary;
        EXPECT_GT(SummaryNumber(summary, "modbus_reads"), 0) << summary;
    }
    const auto after = FeedBoth("--units 1-2 --connections 2 --rate 10 --frames 10 --count 60");
    long readings = 0;
    for (const std::string& summary : {during[0], during[1], after[0], after[1]})
        readings += SummaryNumber(summary, "readings");
    const std::string all = std::to_string(readings) + " " + std::to_string(readings) + "\n";
    EXPECT_TRUE(WaitUntil([&] { return RowsAndDistinctRids() == all; }, std::chrono::seconds(60)))
        << RowsAndDistinctRids() << " of " << readings;
    for (int server = 0; server < 2; ++server) {
        const std::string log = ServerLog(server);
        EXPECT_NE(log.find("Database not answering"), std::string::npos) << log;
        EXPECT_NE(log.find("Forwarding done"), std::string::npos) << log;
        EXPECT_EQ(log.find(" fail"), std::string::npos) << log;
    }
}

}  // namespace
}  // namespace system_test

// Two telvorn-headless servers sharing one PostgreSQL schema, fed by rtusim: they share the RTU
// registry and the history, lose no reading, and live through the database server's restart.
#include "tests/system/SystemFixture.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <future>

#ifndef TELVORN_RTUSIM
#error "TELVORN_RTUSIM must name the build tree's rtusim"
#endif

namespace system_test {
namespace {

constexpr int kUnits = 2;

// The number after "key": in rtusim's one-line JSON summary; -1 when absent.
long SummaryNumber(const std::string& summary, const std::string& key) {
    const std::size_t at = summary.find("\"" + key + "\":");
    return at == std::string::npos ? -1 : std::stol(summary.substr(at + key.size() + 3));
}

// rtusim's summary line, its arguments after the port.
std::string RunRtusim(std::uint16_t port, const std::string& arguments) {
    const std::string command = std::string(TELVORN_RTUSIM) + " --port " + std::to_string(port) + " " + arguments;
    return RunCommand(command).output;
}

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

    // The test's own connection met the restart too: its first statement may fail.
    int CountAfterRestart(const std::string& table) {
        try {
            return Count(table);
        } catch (const CSQLException&) {
            return Count(table);
        }
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
// answer every request, log the writes that failed, and store the readings that come once the
// database is back, without being restarted.
TEST_F(PostgresSharedServersTest, DatabaseRestartIsLoggedAndLaterReadingsAreStored) {
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
    EXPECT_NE(ServerLog(0).find("Write Data To FullRcds Table fail"), std::string::npos);
    EXPECT_NE(ServerLog(1).find("Write Data To FullRcds Table fail"), std::string::npos);

    // The first statement after the restart may still meet the lost connection; from then on
    // every reading is stored.
    FeedBoth("--units 1-2 --connections 1 --rate 5 --frames 10 --count 4");
    const int before = CountAfterRestart("FULLRCDS");
    const auto after = FeedBoth("--units 1-2 --connections 2 --rate 10 --frames 10 --count 60");
    const long readings = SummaryNumber(after[0], "readings") + SummaryNumber(after[1], "readings");
    ASSERT_GT(readings, 0);
    EXPECT_EQ(Count("FULLRCDS"), before + readings);
}

}  // namespace
}  // namespace system_test

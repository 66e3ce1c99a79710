// The database away while rtusim sends (stopped, stalled, its connection cut, locked, the server
// killed meanwhile): telvorn-headless keeps every reading in its spool and forwards it, so that
// each reading rtusim sent is stored once, with its value, in the order its channel sent it.
#include "tests/system/OutageFixture.h"

namespace system_test {
namespace {

TEST_F(PostgresOutageTest, DatabaseStoppedAndStartedAgain) {
    Start();
    auto feed = Feed("--rate 5 --duration 12");
    std::this_thread::sleep_for(3s);
    ASSERT_TRUE(Cluster().Stop());
    ASSERT_TRUE(WaitForLogText(kAway));
    std::this_thread::sleep_for(3s);
    ASSERT_TRUE(Cluster().Start());
    const std::string summary = feed.get();
    ExpectServed(summary);
    StopOnceStored(SummaryNumber(summary, "readings"));
    ExpectStoredAsSent();
    ExpectOutagesLogged(1);
}

// Stalled past the driver's seven-second time-out: the first write waits a second for it, then it
// and the next ones go to the spool.
TEST_F(PostgresOutageTest, DatabaseStalledBySigstop) {
    Start();
    auto feed = Feed("--rate 5 --duration 16");
    std::this_thread::sleep_for(2s);
    ASSERT_TRUE(Cluster().SignalServer(SIGSTOP));
    std::this_thread::sleep_for(10s);
    ASSERT_TRUE(Cluster().SignalServer(SIGCONT));
    const std::string summary = feed.get();
    ExpectServed(summary);
    StopOnceStored(SummaryNumber(summary, "readings"));
    ExpectStoredAsSent();
    ExpectOutagesLogged(1);
    EXPECT_NE(Log().find("SQLSTATE HYT00"), std::string::npos) << Log();
}

// Stalled: the write a frame makes on each connection gives up after about a second, not the
// driver's seven, so that a master reading the units sees the frames' values while the server is
// still stopped; each reading is stored once afterwards.
TEST_F(PostgresOutageTest, FrameOnAStalledConnectionShowsItsValueWithoutWaitingForTheDatabase) {
    Start();
    std::vector<int> rtus;
    for (int unit = 1; unit <= kUnits; ++unit) {
        rtus.push_back(Client());
        ASSERT_TRUE(loopback::SendText(rtus.back(), Frame(unit, "10", 0, "100.00")));
        ASSERT_EQ(ReadRegisters(rtus.back(), unit, 1000, 1).size(), 1u);
    }
    ASSERT_TRUE(Cluster().SignalServer(SIGSTOP));
    for (int unit = 1; unit <= kUnits; ++unit)
        ASSERT_TRUE(loopback::SendText(rtus[unit - 1], Frame(unit, "10", 0, "177.50")));
    const int master = Client();
    for (int unit = 1; unit <= kUnits; ++unit)
        EXPECT_TRUE(WaitUntil([&] { return ReadRegisters(master, unit, 1000, 1) == std::vector<int>{775}; },
                              std::chrono::seconds(5)))
            << "unit " << unit;
    ASSERT_TRUE(Cluster().SignalServer(SIGCONT));
    ASSERT_TRUE(WaitForLogText(kDone));
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
    for (int unit = 1; unit <= kUnits; ++unit)
        EXPECT_EQ(QueryAfterOutage("SELECT COUNT(*) FROM " + std::to_string(unit) + "_AIN0", 1)[0][0], "2") << unit;
    EXPECT_EQ(Count("FULLRCDS"), 2 * kUnits);
    for (const int client : rtus) close(client);
    close(master);
}

// A restart of the server, or an administrator's pg_terminate_backend: the connection is gone
// without a word, and the next write finds out.
TEST_F(PostgresOutageTest, BackendTerminatedThreeTimes) {
    Start();
    auto feed = Feed("--rate 5 --duration 12");
    for (int outage = 1; outage <= 3; ++outage) {
        std::this_thread::sleep_for(2s);
        ASSERT_NE(Cluster().Query("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE usename = '" +
                                  std::string(PostgresCluster::kUser) + "'"),
                  "");
        ASSERT_TRUE(WaitForLogCount(kDone, outage)) << Log();
    }
    const std::string summary = feed.get();
    ExpectServed(summary);
    StopOnceStored(SummaryNumber(summary, "readings"));
    ExpectStoredAsSent();
    ExpectOutagesLogged(3);
}

// Killed while the readings wait in the spool, started again once the database is back: what the
// server had taken before the kill is forwarded by the next run.
TEST_F(PostgresOutageTest, KilledDuringTheOutageForwardsAtTheNextStart) {
    Start();
    ASSERT_TRUE(Cluster().Stop());
    const std::string summary = Feed("--rate 10 --count 200").get();
    ExpectServed(summary);
    const long readings = SummaryNumber(summary, "readings");
    ASSERT_TRUE(WaitUntil([&] { return Spooled() == readings; }, std::chrono::milliseconds(kGenerousMs)))
        << Spooled() << " of " << readings;
    headless->StopWith(SIGKILL);
    ASSERT_TRUE(Cluster().Start());
    Start();
    ASSERT_TRUE(WaitForLogText(kDone));
    StopOnceStored(readings);
    ExpectStoredAsSent();
    EXPECT_EQ(LogCount("holds " + std::to_string(readings) + " readings of an earlier run"), 1) << Log();
}

// A spool of 64 KiB and 16 KiB of memory takes a few hundred readings: the rest are refused with one
// line, the server goes on serving, and the database takes the readings again once it is back.
TEST_F(PostgresOutageTest, FullSpoolRefusesWithOneLineAndTheDatabaseRecovers) {
    WriteFile("data_rtu.ini",
              "[SYSCONFIG]\nPORT=0\n" + DatabaseSettings() + "SPOOLMAXKB=64\nSPOOLRAMKB=16\n" + kHttpOff);
    Start();
    ASSERT_TRUE(Cluster().Stop());
    const std::string during = Feed("--rate 50 --count 1500").get();
    ExpectServed(during);
    ASSERT_TRUE(WaitForLogText("Spool cannot take readings: file full (64 KiB) and memory full (16 KiB)"));
    ASSERT_TRUE(Cluster().Start());
    ASSERT_TRUE(WaitForLogText("Spool takes readings again; "));
    const std::string line = Log().substr(Log().find("Spool takes readings again; "));
    const long refused = std::stol(line.substr(line.find("; ") + 2));
    EXPECT_GT(refused, 0);
    const std::string after = Feed("--rate 10 --count 50 --seed 2").get();
    StopOnceStored(SummaryNumber(during, "readings") - refused + SummaryNumber(after, "readings"));
    EXPECT_EQ(LogCount("Spool cannot take readings"), 1) << Log();
}

// The first INSERT's commit lands only after the driver gave up on it (a trigger makes that one
// INSERT take nine seconds): the forwarder must find that row rather than store the reading again.
TEST_F(PostgresOutageTest, WriteTimingOutAfterItsCommitIsStoredOnce) {
    const std::string once = schema_ + ".slow_once";
    ASSERT_TRUE(Cluster().Sql("SET ROLE " + std::string(PostgresCluster::kUser) + "; CREATE TABLE " + once +
                              "(x INT); INSERT INTO " + once + " VALUES (1); CREATE FUNCTION " + schema_ +
                              ".slow_commit() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN IF EXISTS (SELECT 1 FROM " +
                              once + ") THEN DELETE FROM " + once +
                              "; PERFORM pg_sleep(9); END IF; RETURN NEW; END$$; CREATE TRIGGER slow_commit AFTER "
                              "INSERT ON " +
                              schema_ + ".\"1_ain0\" FOR EACH ROW EXECUTE FUNCTION " + schema_ + ".slow_commit()"));
    Start();
    const int client = Client();
    ASSERT_TRUE(loopback::SendText(client, Frame(1, "10", 0, "177.50")));
    EXPECT_EQ(ReadRegisters(client, 1, 1000, 1), (std::vector<int>{775}));
    close(client);
    ASSERT_TRUE(WaitForLogText(kDone));
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
    EXPECT_EQ(QueryAfterOutage("SELECT COUNT(*) FROM 1_AIN0", 1)[0][0], "1");
    EXPECT_EQ(Count("FULLRCDS"), 1);
    EXPECT_NE(Log().find("SQLSTATE HYT00"), std::string::npos) << Log();
    ExpectOutagesLogged(1);
}

// Another program holds the file's write lock past the driver's seven-second busy wait. The
// monitoring endpoint shows the readings held meanwhile, and how many were forwarded after.
TEST_F(SqliteOutageTest, DatabaseLockedByAnotherConnection) {
    WriteFile("data_rtu.ini", "[SYSCONFIG]\nPORT=0\n" + DatabaseSettings() + "[HTTP]\nLISTEN=127.0.0.1:0\n");
    Start();
    std::string url;
    ASSERT_TRUE(WaitUntil([&] {
        for (const std::string& line : headless->Output())
            if (line.rfind("HTTP endpoint on ", 0) == 0) url = line.substr(17);
        return !url.empty();
    }));
    const std::uint16_t httpPort = static_cast<std::uint16_t>(std::stoi(url.substr(url.rfind(':') + 1)));
    port = headless->ListeningPort(httpPort);
    const auto spool = [&] {
        const CommandResult status = RunCommand("curl -s --max-time 20 '" + url + "/api/status'");
        return nlohmann::json::parse(status.output, nullptr, false).value("spool", nlohmann::json::object());
    };
    const auto metrics = [&] { return RunCommand("curl -s --max-time 20 '" + url + "/metrics'").output; };

    auto feed = Feed("--rate 5 --duration 16");
    std::this_thread::sleep_for(2s);
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open((home_ / "rtu" / "RTU.db").c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_TRUE(WaitUntil([&] { return spool().value("readings", 0) > 0; }, std::chrono::milliseconds(kGenerousMs)));
    EXPECT_EQ(spool().value("database_away", false), true) << spool();
    EXPECT_NE(metrics().find("\ntelvorn_database_away 1\n"), std::string::npos);
    std::this_thread::sleep_for(3s);
    sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    const std::string summary = feed.get();
    ExpectServed(summary);
    ASSERT_TRUE(WaitForLogCount(kDone, 1));
    const nlohmann::json after = spool();
    EXPECT_EQ(after.value("readings", -1), 0) << after;
    EXPECT_EQ(after.value("database_away", true), false) << after;
    EXPECT_EQ(after.value("forwarded", 0), LogForwarded()) << after;
    EXPECT_NE(metrics().find("\ntelvorn_spool_forwarded_total " + std::to_string(LogForwarded()) + "\n"),
              std::string::npos);
    StopOnceStored(SummaryNumber(summary, "readings"));
    ExpectStoredAsSent();
    ExpectOutagesLogged(1);
}

}  // namespace
}  // namespace system_test

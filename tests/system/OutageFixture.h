#pragma once

// The database away while rtusim sends: a fixture that registers five units, feeds them with
// rtusim and compares what it sent with what the history holds.
#include "tests/system/SystemFixture.h"

#include <sqlite3.h>

#include <nlohmann/json.hpp>

#include <cstring>
#include <future>
#include <map>
#include <sstream>

#include "tests/support/WaitUntil.h"

namespace system_test {

using namespace std::chrono_literals;

constexpr int kUnits = 5;
constexpr const char* kAway = "Database not answering";
constexpr const char* kDone = "Forwarding done";

// Readings of one channel as sent, oldest first: "12.30", or empty where rtusim cannot tell the
// value.
using Sent = std::map<std::pair<std::string, std::string>, std::vector<std::string>>;

class OutageFixture : public SystemTest {
protected:
    void SetUp() override {
        SystemTest::SetUp();
        for (int unit = 1; unit <= kUnits; ++unit) Register(unit);
    }

    // rtusim in the background: one connection per unit, analogue-input frames and register reads
    // of the values just sent, every reading listed in sent.txt. Replies may wait out the driver's
    // seven-second time-out, which tells the server that the database is away.
    std::future<std::string> Feed(const std::string& arguments) {
        const std::string command = "--units 1-" + std::to_string(kUnits) + " --connections " + std::to_string(kUnits) +
                                    " --frames 10:4 --modbus 03 --check-values" + " --reply-timeout 20000 --record " +
                                    (home_ / "sent.txt").string() + " " + arguments;
        return std::async(std::launch::async, [this, command] { return RunRtusim(port, command); });
    }

    // Every reply came and was right: the live values stayed current while the database was away.
    static void ExpectServed(const std::string& summary) {
        EXPECT_EQ(SummaryNumber(summary, "missing_replies"), 0) << summary;
        EXPECT_EQ(SummaryNumber(summary, "wrong_replies"), 0) << summary;
        EXPECT_GT(SummaryNumber(summary, "values_checked"), 0) << summary;
    }

    std::string Log() { return ReadFile(home_ / "Log.txt"); }

    int LogCount(const std::string& text) {
        const std::string log = Log();
        int count = 0;
        for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
        return count;
    }

    // Readings forwarded, as the "Forwarding done" lines count them.
    long LogForwarded() {
        const std::string log = Log();
        long forwarded = 0;
        for (std::size_t at = log.find(kDone); at != std::string::npos; at = log.find(kDone, at + 1))
            forwarded += std::atol(log.c_str() + at + std::strlen(kDone) + 2);
        return forwarded;
    }

    bool WaitForLogCount(const std::string& text, int count) {
        return WaitUntil([&] { return LogCount(text) >= count; }, std::chrono::milliseconds(kGenerousMs));
    }

    // The test's own connection met the outage too: its first statement afterwards may fail.
    Rows QueryAfterOutage(const std::string& select, int columns) {
        try {
            return Query(select, columns);
        } catch (const CSQLException&) {
            return Query(select, columns);
        }
    }

    // Waits until FULLRCDS holds `rows` rows (the last frames rtusim sent may still be on their
    // way), then stops the server, so that nothing moves while the rows are compared.
    void StopOnceStored(long rows) {
        EXPECT_TRUE(WaitUntil(
            [&] { return QueryAfterOutage("SELECT COUNT(*) FROM FULLRCDS", 1)[0][0] == std::to_string(rows); },
            std::chrono::milliseconds(kGenerousMs)));
        EXPECT_EQ(headless->StopWith(SIGTERM), 0);
    }

    // sent.txt as the history keeps it: register 1001 + n is AINn, the integer × 0.1.
    Sent SentReadings() {
        Sent sent;
        std::istringstream lines(ReadFile(home_ / "sent.txt"));
        std::string unit, kind, value;
        int registerNumber = 0;
        while (lines >> unit >> kind >> registerNumber >> value) {
            EXPECT_TRUE(kind == "r" && registerNumber >= 1001 && registerNumber <= 1008) << registerNumber;
            char text[32] = "";
            if (value != "?") std::snprintf(text, sizeof text, "%.2f", static_cast<float>(std::stoi(value) * 0.1));
            sent[{unit, "AIN" + std::to_string(registerNumber - 1001)}].push_back(text);
        }
        return sent;
    }

    // Every reading sent is in FULLRCDS and in its channel table once, with its value, and the
    // rows of a channel in RID order are the readings in the order they were sent.
    void ExpectStoredAsSent() {
        const Sent sent = SentReadings();
        Sent stored;
        for (const auto& row : QueryAfterOutage("SELECT UID, RDATACH, RVALUE FROM FULLRCDS ORDER BY RID", 3))
            stored[{row[0], row[1]}].push_back(row[2]);
        EXPECT_EQ(stored.size(), sent.size());
        for (const auto& [channel, values] : sent) {
            const std::string where = channel.first + " " + channel.second;
            const std::vector<std::string>& rows = stored[channel];
            ASSERT_EQ(rows.size(), values.size()) << where;
            const auto table = Column("SELECT RVALUE FROM " + channel.first + "_" + channel.second + " ORDER BY RID");
            ASSERT_EQ(table.size(), values.size()) << where;
            for (std::size_t i = 0; i < values.size(); ++i) {
                if (values[i].empty()) continue;
                EXPECT_EQ(rows[i], values[i]) << where << " reading " << i;
                EXPECT_NEAR(std::stod(table[i]), std::stod(values[i]), 0.005) << where << " reading " << i;
            }
        }
    }

    // One outage: one line when it began, one when it ended, none per reading.
    void ExpectOutagesLogged(int outages) {
        EXPECT_EQ(LogCount(kAway), outages) << Log();
        EXPECT_EQ(LogCount(kDone), outages) << Log();
        EXPECT_EQ(LogCount(" fail"), 0) << Log();
    }

    // Readings held in the server's spool, read from its file.
    int Spooled() {
        sqlite3* spool = nullptr;
        int count = -1;
        if (sqlite3_open_v2((home_ / "RTUDB-spool.db").c_str(), &spool, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK)
            sqlite3_exec(
                spool, "SELECT COUNT(*) FROM readings",
                [](void* out, int, char** values, char**) {
                    *static_cast<int*>(out) = std::atoi(values[0]);
                    return 0;
                },
                &count, nullptr);
        sqlite3_close(spool);
        return count;
    }
};

class PostgresOutageTest : public OutageFixture {
protected:
    TestEngine Engine() const override { return TestEngine::Postgres; }
    PostgresCluster& Cluster() { return PostgresCluster::Instance(); }
};

class SqliteOutageTest : public OutageFixture {};

}  // namespace system_test

// Frames and ADUs cut by the end of a receive, against telvorn-headless with the real database:
// every reading is stored once, with the value sent.
#include "tests/system/SystemFixture.h"

#include <sqlite3.h>

#include <map>

namespace system_test {
namespace {

using namespace std::chrono_literals;

// Long enough for the server to have taken what came before as a receive of its own.
constexpr auto kReceiveGap = 300ms;

class SplitReceiveTest : public SystemTest {
protected:
    void SetUp() override {
        SystemTest::SetUp();
        Register(123);
        Register(5);
        Start();
    }

    // An AIN frame of unit 123 whose value differs per `n`: n.30 on channel n % 8.
    static std::string Reading(int n, int unit = 123) {
        return Frame(unit, "10", n % 8, "1" + std::to_string(n) + ".30");
    }

    // Waits until the connection's earlier chunks are decoded: a connection's chunks are decoded
    // in order, so a reply means everything before it was applied.
    void Settle(int client) { ASSERT_EQ(ReadRegisters(client, 5, 1000, 2).size(), 2u); }

    // The stored readings of a unit as "AINc value", from FULLRCDS, sorted.
    std::vector<std::string> Stored(int unit) {
        std::vector<std::string> values;
        for (const auto& row :
             Query("SELECT RDATACH, RVALUE FROM FULLRCDS WHERE UID = '" + std::to_string(unit) + "'", 2)) {
            values.push_back(row.at(0) + " " + row.at(1));
        }
        std::sort(values.begin(), values.end());
        return values;
    }
    static std::string Expected(int n) { return "AIN" + std::to_string(n % 8) + " " + std::to_string(n) + ".30"; }
    static std::vector<std::string> Sorted(std::vector<std::string> values) {
        std::sort(values.begin(), values.end());
        return values;
    }
};

// Each cut on a connection of its own, all at once: 35 readings, each stored with its value.
TEST_F(SplitReceiveTest, FrameCutAtEachOfItsBoundaries) {
    std::vector<int> clients;
    std::vector<std::string> expected;
    for (int cut = 1; cut <= 35; ++cut) {
        const std::string frame = Reading(10 + cut);
        ASSERT_EQ(frame.size(), 36u);
        clients.push_back(Client());
        ASSERT_TRUE(loopback::SendText(clients.back(), frame.substr(0, cut)));
        expected.push_back(Expected(10 + cut));
    }
    std::this_thread::sleep_for(kReceiveGap);
    for (int cut = 1; cut <= 35; ++cut) {
        ASSERT_TRUE(loopback::SendText(clients[cut - 1], Reading(10 + cut).substr(cut)));
    }
    for (int client : clients) Settle(client);
    for (int client : clients) close(client);
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
    EXPECT_EQ(Stored(123), Sorted(expected));
}

TEST_F(SplitReceiveTest, FrameCutInThree) {
    const int client = Client();
    const std::string frame = Reading(42);
    for (const std::string& piece : {frame.substr(0, 5), frame.substr(5, 20), frame.substr(25)}) {
        ASSERT_TRUE(loopback::SendText(client, piece));
        std::this_thread::sleep_for(kReceiveGap);
    }
    Settle(client);
    close(client);
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
    EXPECT_EQ(Stored(123), (std::vector<std::string>{Expected(42)}));
}

// Write Multiple Registers of unit 5, MBUSREG0 and 1, cut at each of its 16 inner boundaries on a
// connection of its own: each write echoed once, whole, and stored once.
TEST_F(SplitReceiveTest, AduCutAtEachBoundary) {
    const unsigned char write[] = {0, 7, 0, 0, 0, 11, 5, 0x10, 0x04, 0xb0, 0, 2, 4, 0, 3, 0xff, 0xfe};
    const std::string adu(reinterpret_cast<const char*>(write), sizeof write);
    std::vector<int> clients;
    for (std::size_t cut = 1; cut < adu.size(); ++cut) {
        clients.push_back(Client());
        ASSERT_TRUE(loopback::SendText(clients.back(), adu.substr(0, cut)));
    }
    std::this_thread::sleep_for(kReceiveGap);
    for (std::size_t cut = 1; cut < adu.size(); ++cut) {
        ASSERT_TRUE(loopback::SendText(clients[cut - 1], adu.substr(cut)));
        EXPECT_EQ(ReceiveBytes(clients[cut - 1], adu.size()), adu) << "cut " << cut;
    }
    for (int client : clients) {
        EXPECT_FALSE(loopback::WaitReadable(client, 0)) << "one echo only";
        close(client);
    }
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
    EXPECT_EQ(Count("5_MBUSREG0"), 16);
    EXPECT_EQ(Column("SELECT DISTINCT RVALUE FROM \"5_MBUSREG0\""), (std::vector<std::string>{"3.0"}));
    EXPECT_EQ(Column("SELECT DISTINCT RVALUE FROM \"5_MBUSREG1\""), (std::vector<std::string>{"-2.0"}));
}

TEST_F(SplitReceiveTest, ThreeHundredFramesInOneSend) {
    std::string burst;
    std::vector<std::string> expected;
    for (int n = 0; n < 300; ++n) {
        burst += Reading(n);
        expected.push_back(Expected(n));
    }
    ASSERT_GT(burst.size(), 10000u);
    const int client = Client();
    ASSERT_TRUE(loopback::SendText(client, burst));
    Settle(client);
    close(client);
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
    EXPECT_EQ(Stored(123), Sorted(expected));
}

// A registration text frame longer than a receive, then a reading in the same send.
TEST_F(SplitReceiveTest, LongFrameThenNormalFrame) {
    const int client = Client();
    for (std::size_t length : {4094u, 6000u, 8000u}) {
        const std::string registration = Frame(123, "45", 0, std::string(length - 30, 'R'));
        ASSERT_EQ(registration.size(), length);
        ASSERT_TRUE(loopback::SendText(client, registration + Reading(static_cast<int>(length))));
    }
    Settle(client);
    close(client);
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
    EXPECT_EQ(Stored(123), Sorted({Expected(4094), Expected(6000), Expected(8000)}));
}

// An unterminated frame is still taken as it always was, and the complete one after it too.
TEST_F(SplitReceiveTest, UnterminatedFrameThenCompleteFrame) {
    const int client = Client();
    const std::string unterminated = Reading(11);
    ASSERT_TRUE(loopback::SendText(client, unterminated.substr(0, unterminated.size() - 1)));
    std::this_thread::sleep_for(kReceiveGap);
    ASSERT_TRUE(loopback::SendText(client, Reading(12)));
    Settle(client);
    close(client);
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
    EXPECT_EQ(Stored(123), Sorted({Expected(11), Expected(12)}));
}

TEST_F(SplitReceiveTest, GarbageThenValidFrame) {
    const int client = Client();
    for (const std::string& garbage : {std::string("GET / HTTP/1.0\r\n\r\n"), std::string("\x16\x03", 2)}) {
        ASSERT_TRUE(loopback::SendText(client, garbage));
        std::this_thread::sleep_for(kReceiveGap);
        ASSERT_TRUE(loopback::SendText(client, Reading(static_cast<int>(garbage.size()))));
        std::this_thread::sleep_for(kReceiveGap);
    }
    Settle(client);
    close(client);
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
    EXPECT_EQ(Stored(123), Sorted({Expected(18), Expected(2)}));
}

// A backup or report holds the database: the server stops decoding while the readings pile up
// in the connections, far past one receive buffer each; none may be lost or stored wrong. The lock
// is held for less than the server's seven-second busy wait, past which the readings would go to
// the spool rather than wait in the receives.
TEST_F(SplitReceiveTest, DatabaseLockedWhileFiveRtusSendTenFramesASecond) {
    constexpr int kFirstUnit = 11;
    constexpr int kRtus = 5;
    constexpr int kFramesEach = 100;
    for (int unit = kFirstUnit; unit < kFirstUnit + kRtus; ++unit) Register(unit);
    headless.reset();
    Start();
    // Padding after the number is skipped by the end-mark scan; it makes each connection fall
    // behind by several receive buffers while the database is held.
    const std::string padding(400, ' ');
    std::vector<std::thread> rtus;
    std::map<int, std::vector<std::string>> expected;
    for (int unit = kFirstUnit; unit < kFirstUnit + kRtus; ++unit) {
        for (int n = 0; n < kFramesEach; ++n) expected[unit].push_back(Expected(n));
        rtus.emplace_back([this, unit, &padding] {
            const int client = Client();
            for (int n = 0; n < kFramesEach; ++n) {
                const std::string frame = Reading(n, unit);
                loopback::SendText(client, frame.substr(0, frame.size() - 1) + padding + "$");
                std::this_thread::sleep_for(100ms);
            }
            Settle(client);
            close(client);
        });
    }
    std::this_thread::sleep_for(2s);
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open((home_ / "rtu" / "RTU.db").c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    // Well inside the driver's 7 s busy wait, so that no write may fail on the lock itself even on
    // a slow (sanitized, loaded) build; 4 s of 10 frames a second still puts each connection about
    // four receive buffers behind.
    std::this_thread::sleep_for(4s);
    sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    for (std::thread& rtu : rtus) rtu.join();
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
    for (int unit = kFirstUnit; unit < kFirstUnit + kRtus; ++unit)
        EXPECT_EQ(Stored(unit), Sorted(expected[unit])) << "unit " << unit;
    EXPECT_EQ(ReadFile(home_ / "Log.txt").find("fail"), std::string::npos);
}

}  // namespace
}  // namespace system_test

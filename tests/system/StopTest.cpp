// A stop under load: every reading whose frame telvorn-headless echoed before SIGTERM is stored,
// once, after the next start has forwarded what the stop left in the spool.
#include "tests/system/SystemFixture.h"

#include <atomic>
#include <future>
#include <set>

#include "storage/Schema.h"
#include "tests/support/WaitUntil.h"

namespace system_test {
namespace {

constexpr int kRtus = 20;
// Echoes each RTU has had before the signal: enough that every one is sending when it comes.
constexpr int kEchoesBeforeStop = 20;
constexpr const char* kStopped = "Stopped: every reading received was stored or spooled";

class StopTest : public SystemTest {
protected:
    void SetUp() override {
        SystemTest::SetUp();
        WriteFile("data_rtu.ini", "[SYSCONFIG]\nPORT=0\nECHOSERVER=1\n" + DatabaseSettings() + kHttpOff);
        // Only the one channel these RTUs send: the whole set of 20 RTUs would take longer than the test.
        for (int unit = 1; unit <= kRtus; ++unit) {
            const std::string uid = std::to_string(unit);
            ASSERT_TRUE(Exec("INSERT INTO RTU_TAB(UID, RDATA7) VALUES ('" + uid + "', '402')"));
            ASSERT_TRUE(CreateChannelTable(db, uid, "AIN", 0, kChannelFloat));
        }
    }

    // One RTU on its own connection: AIN0 frames (state 1) with the values 1, 2, 3, ..., each sent once the
    // one before has been echoed, until the server closes the connection. Returns the last value
    // echoed.
    int RunRtu(int unit) {
        const int client = Client();
        const std::string echoStart = Frame(unit, "10", 0, "").substr(0, 13);
        std::string received;
        int echoed = 0;
        for (int value = 1;; ++value) {
            if (!loopback::SendText(client, Frame(unit, "10", 0, "1" + std::to_string(value) + ".00"))) break;
            while (Occurrences(received, echoStart) < value) {
                const std::string more = loopback::Receive(client, kGenerousMs);
                if (more.empty()) break;
                received += more;
            }
            if (Occurrences(received, echoStart) < value) break;
            echoed = value;
            echoes.fetch_add(1);
            // A steady load rather than as fast as the database allows.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        close(client);
        return echoed;
    }

    static int Occurrences(const std::string& text, const std::string& part) {
        int count = 0;
        for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
        return count;
    }

    // The values of the unit's readings in the table, as whole numbers.
    std::multiset<int> Stored(const std::string& select) {
        std::multiset<int> values;
        for (const std::string& value : Column(select)) values.insert(static_cast<int>(std::stod(value)));
        return values;
    }

    std::atomic<int> echoes{0};
};

TEST_F(StopTest, SigtermUnderLoadKeepsEveryEchoedReading) {
    Start();
    std::vector<std::future<int>> rtus;
    for (int unit = 1; unit <= kRtus; ++unit)
        rtus.push_back(std::async(std::launch::async, [this, unit] { return RunRtu(unit); }));
    ASSERT_TRUE(
        WaitUntil([&] { return echoes.load() >= kRtus * kEchoesBeforeStop; }, std::chrono::milliseconds(kGenerousMs)));
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
    std::vector<int> echoed;
    for (auto& rtu : rtus) echoed.push_back(rtu.get());
    EXPECT_NE(ReadFile(home_ / "Log.txt").find(kStopped), std::string::npos) << ReadFile(home_ / "Log.txt");

    // The next start forwards whatever the stop spooled.
    Start();
    int total = 0;
    for (const int last : echoed) total += last;
    EXPECT_TRUE(WaitUntil([&] { return Count("FULLRCDS") >= total; }, std::chrono::milliseconds(kGenerousMs)));
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
    for (int unit = 1; unit <= kRtus; ++unit) {
        const std::string uid = std::to_string(unit);
        const std::multiset<int> channel = Stored("SELECT RVALUE FROM " + uid + "_AIN0");
        const std::multiset<int> full = Stored("SELECT RVALUE FROM FULLRCDS WHERE UID = '" + uid + "'");
        for (int value = 1; value <= echoed[unit - 1]; ++value) {
            EXPECT_EQ(channel.count(value), 1u) << "unit " << unit << " value " << value;
            EXPECT_EQ(full.count(value), 1u) << "unit " << unit << " value " << value;
        }
    }
}

}  // namespace
}  // namespace system_test

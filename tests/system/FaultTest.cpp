// Faults from outside: each leaves telvorn-headless running and serving, and loses nothing it
// was able to keep.
#include "tests/system/SystemFixture.h"

#include <filesystem>
#include <random>

namespace system_test {
namespace {

class FaultTest : public SystemTest {
protected:
    void SetUp() override {
        SystemTest::SetUp();
        Register(123);
        Start();
    }

    // Reports AIN1 of unit 123 on the connection and reads it back there: a connection's chunks
    // are decoded in order, so the reading has been applied (and recorded) once the reply is in.
    void ReportAin1(int client, const std::string& number, int tenths) {
        ASSERT_TRUE(loopback::SendText(client, Frame(123, "10", 1, "1" + number)));
        ASSERT_EQ(ReadRegisters(client, 123, 1000, 2), (std::vector<int>{0, tenths}));
    }

    // The server answers a fresh connection: AIN0..1 of unit 123 read back as reported.
    void ExpectServing(int ain1Tenths) {
        const int client = Client();
        EXPECT_EQ(ReadRegisters(client, 123, 1000, 2), (std::vector<int>{0, ain1Tenths}));
        close(client);
    }

    int StoredRows() { return Count("FULLRCDS"); }

    // Starts `count` connections together, as a fleet does after an outage, each sending `text`
    // as soon as its handshake has completed on the client's side.
    std::vector<int> ConnectAtOnce(int count, const std::string& text) {
        std::vector<int> clients;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        for (int i = 0; i < count; ++i) {
            const int client = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
            clients.push_back(client);
        }
        for (int client : clients) {
            pollfd connecting{client, POLLOUT, 0};
            if (poll(&connecting, 1, kGenerousMs) != 1 || !loopback::SendText(client, text)) return {};
        }
        return clients;
    }
};

TEST_F(FaultTest, DatabaseRemovedWhileReadingsArriveIsLoggedAndLiveValuesStayServed) {
    const int client = Client();
    ReportAin1(client, "12.34", 123);
    for (const char* file : {"RTU.db", "RTU.db-wal", "RTU.db-shm"}) std::filesystem::remove(home_ / "rtu" / file);

    ReportAin1(client, "45.50", 455);
    EXPECT_TRUE(WaitForLogText("Write Data To 123_AIN Channel 1 fail"));
    EXPECT_TRUE(WaitForLogText("Write Data To FullRcds Table fail"));
    ExpectServing(455);
    close(client);
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
}

// The server's connection to the file stays open for writing, so a file made read-only on disk
// still takes every reading.
TEST_F(FaultTest, DatabaseMadeReadOnlyWhileReadingsArriveStillKeepsEveryReading) {
    const int client = Client();
    ReportAin1(client, "1.00", 10);
    for (const char* file : {"RTU.db", "RTU.db-wal", "RTU.db-shm"}) {
        std::filesystem::permissions(home_ / "rtu" / file, std::filesystem::perms::owner_read |
                                                               std::filesystem::perms::group_read |
                                                               std::filesystem::perms::others_read);
    }
    ReportAin1(client, "2.00", 20);
    ReportAin1(client, "3.00", 30);
    ExpectServing(30);
    close(client);
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
    EXPECT_EQ(StoredRows(), 3);
}

TEST_F(FaultTest, PeerResettingMidFrameLeavesOthersServed) {
    for (int i = 0; i < 5; ++i) {
        const int client = Client();
        ASSERT_TRUE(loopback::SendText(client, Frame(123, "10", 1,
                                                     "1"
                                                     "77.77")
                                                   .substr(0, 20)));
        loopback::Abort(client);
    }
    const int partialModbus = Client();
    ASSERT_TRUE(loopback::SendText(partialModbus, ModbusRequest(1, 123, 3, 1000, 2).substr(0, 7)));
    loopback::Abort(partialModbus);

    const int client = Client();
    ReportAin1(client, "5.00", 50);
    ExpectServing(50);
    close(client);
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
    EXPECT_EQ(StoredRows(), 1);
}

TEST_F(FaultTest, PeerSendingOneByteASecondDoesNotHoldUpOthers) {
    const int slow = Client();
    const int other = Client();
    const std::string frame = Frame(123, "10", 1,
                                    "1"
                                    "9.00");
    for (std::size_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(loopback::SendText(slow, frame.substr(i, 1)));
        EXPECT_EQ(ReadRegisters(other, 123, 1000, 2), (std::vector<int>{0, 0})) << "byte " << i;
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    EXPECT_FALSE(loopback::WaitReadable(slow, 0)) << "a slow peer is not dropped before its idle time-out";
    ReportAin1(other, "6.00", 60);
    close(slow);
    close(other);
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
}

TEST_F(FaultTest, HundredFirstConnectionIsDroppedAndTheHundredStayServed) {
    std::vector<int> clients;
    for (int i = 0; i < 100; ++i) {
        clients.push_back(Client());
        ASSERT_EQ(ReadRegisters(clients.back(), 123, 1000, 2).size(), 2u) << "connection " << i;
    }
    const int extra = Client();
    EXPECT_TRUE(loopback::PeerClosed(extra, kGenerousMs));
    close(extra);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(ReadRegisters(clients[i], 123, 1000, 2).size(), 2u) << "connection " << i;
    }
    close(clients.back());
    clients.pop_back();
    ASSERT_TRUE(headless->WaitForOutput("CloseSocket request "));
    // The freed place takes a new connection; retried, since the close may still be under way.
    bool served = false;
    for (int attempt = 0; attempt < 100 && !served; ++attempt) {
        const int again = Client();
        served = ReadRegisters(again, 123, 1000, 2).size() == 2u;
        clients.push_back(again);
    }
    EXPECT_TRUE(served);
    for (int client : clients) close(client);
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
}

TEST_F(FaultTest, HundredRtusConnectingAtOnceAreAllAcceptedAndNoReadingIsLost) {
    const std::vector<int> clients = ConnectAtOnce(100, Frame(123, "10", 1,
                                                              "1"
                                                              "8.00"));
    ASSERT_EQ(clients.size(), 100u);
    for (std::size_t i = 0; i < clients.size(); ++i) {
        EXPECT_EQ(ReadRegisters(clients[i], 123, 1000, 2), (std::vector<int>{0, 80})) << "connection " << i;
    }
    for (int client : clients) close(client);
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
    EXPECT_EQ(StoredRows(), 100);
}

TEST_F(FaultTest, PortScannerGarbageIsSurvivedAndModbusStillAnswered) {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(1, 4095);
    for (int i = 0; i < 60; ++i) {
        const int client = Client();
        std::string garbage(static_cast<std::size_t>(length(random)), '\0');
        for (char& c : garbage) c = static_cast<char>(byte(random));
        if (i % 3 == 0) garbage[0] = '$';
        loopback::SendText(client, garbage);
        if (i % 2 == 0) {
            loopback::Abort(client);
        } else {
            close(client);
        }
    }
    const int client = Client();
    ReportAin1(client, "7.00", 70);
    ExpectServing(70);
    close(client);
    EXPECT_EQ(headless->StopWith(SIGTERM), 0);
}

}  // namespace
}  // namespace system_test

#include "platform/completionport/CompletionPort.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include "tests/platform/completionport/LoopbackSockets.h"
#include "tests/support/WaitUntil.h"

namespace {

constexpr std::uint32_t kGenerousMs = 10000;

// A port with one loopback connection: `client` is the peer, `accepted` the port's side.
class CompletionPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        listener = loopback::Listen(&port);
        ASSERT_GE(listener, 0);
    }
    void TearDown() override {
        for (int socket : clients) {
            close(socket);
        }
        close(listener);
    }

    // Connects a client and returns the accepted, non-blocking socket.
    int Open(int* clientOut = nullptr) {
        int client = loopback::Connect(port);
        EXPECT_GE(client, 0);
        clients.push_back(client);
        if (clientOut != nullptr) {
            *clientOut = client;
        }
        loopback::WaitReadable(listener, kGenerousMs);
        sockaddr_in peer{};
        return AcceptConnection(listener, &peer);
    }

    // Opens a connection whose receive into `buffer` is armed, with a null key.
    int OpenArmed(int* clientOut) {
        int socket = Open(clientOut);
        completionPort.Associate(socket, nullptr);
        EXPECT_TRUE(completionPort.Receive(socket, buffer, sizeof buffer, &overlapped));
        return socket;
    }

    Completion Next() { return completionPort.Wait(kGenerousMs); }

    CompletionPort completionPort;
    std::uint16_t port = 0;
    int listener = -1;
    std::vector<int> clients;
    Overlapped overlapped{};
    char buffer[64] = {};
};

TEST_F(CompletionPortTest, PostedPacketComesBackWithItsFields) {
    int key = 0;
    ASSERT_TRUE(completionPort.Post(7, &key, &overlapped));
    Completion completion = Next();
    EXPECT_TRUE(completion.ok);
    EXPECT_EQ(completion.bytes, 7u);
    EXPECT_EQ(completion.key, &key);
    EXPECT_EQ(completion.overlapped, &overlapped);
}

TEST_F(CompletionPortTest, PacketsLeaveInPostingOrder) {
    Overlapped second{};
    completionPort.Post(1, nullptr, &overlapped);
    completionPort.Post(2, nullptr, &second);
    EXPECT_EQ(Next().overlapped, &overlapped);
    EXPECT_EQ(Next().overlapped, &second);
}

TEST_F(CompletionPortTest, WaitTimesOutWithoutPacketAndCode258) {
    Completion completion = completionPort.Wait(20);
    EXPECT_FALSE(completion.ok);
    EXPECT_EQ(completion.overlapped, nullptr);
    EXPECT_EQ(completion.error, kWaitTimeoutCode);
}

TEST_F(CompletionPortTest, ManyWaitersShareThePackets) {
    constexpr int kWaiters = 8;
    std::atomic<int> received{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i) {
        waiters.emplace_back([&] {
            if (completionPort.Wait(kGenerousMs).ok) {
                ++received;
            }
        });
    }
    for (int i = 0; i < kWaiters; ++i) {
        completionPort.Post(1, nullptr, &overlapped);
    }
    for (std::thread& waiter : waiters) {
        waiter.join();
    }
    EXPECT_EQ(received.load(), kWaiters);
}

TEST_F(CompletionPortTest, EndWaitsReleasesEveryWaiterAndEveryLaterWait) {
    constexpr std::uint32_t kHourMs = 3600 * 1000;
    constexpr std::size_t kWaiters = 4;
    std::vector<std::future<Completion>> waits;
    for (std::size_t i = 0; i < kWaiters; ++i) {
        waits.push_back(std::async(std::launch::async, [&] { return completionPort.Wait(kHourMs); }));
    }
    EXPECT_TRUE(WaitUntil([&] { return completionPort.WaitingCount() == kWaiters; }));
    completionPort.EndWaits();
    ASSERT_TRUE(completionPort.Post(1, nullptr, &overlapped));
    waits.push_back(std::async(std::launch::async, [&] { return completionPort.Wait(kHourMs); }));
    int packets = 0;
    for (auto& wait : waits) {
        ASSERT_EQ(wait.wait_for(std::chrono::seconds(30)), std::future_status::ready) << "a wait was not ended";
        Completion completion = wait.get();
        packets += completion.overlapped == &overlapped ? 1 : 0;
        EXPECT_TRUE(completion.overlapped == &overlapped || completion.error == kWaitTimeoutCode);
    }
    EXPECT_EQ(packets, 1);
    EXPECT_EQ(completionPort.WaitingCount(), 0u);
}

// The listener's readiness ends one wait with no packet; armed again while the connection is still
// waiting to be accepted, it fires again at once.
TEST_F(CompletionPortTest, PendingConnectionEndsOneWaitPerArming) {
    ASSERT_TRUE(completionPort.WatchListener(listener));
    int client = loopback::Connect(port);
    ASSERT_GE(client, 0);
    clients.push_back(client);
    Completion wake = Next();
    EXPECT_FALSE(wake.ok);
    EXPECT_EQ(wake.key, nullptr);
    EXPECT_EQ(wake.overlapped, nullptr);
    EXPECT_EQ(wake.error, kConnectionPendingCode);
    ASSERT_TRUE(completionPort.Post(1, nullptr, &overlapped));
    EXPECT_EQ(Next().overlapped, &overlapped);
    ASSERT_TRUE(completionPort.WatchListener(listener));
    EXPECT_EQ(Next().error, kConnectionPendingCode);
}

TEST_F(CompletionPortTest, ReceiveCompletesWithTheBytesAndTheKey) {
    int client = -1;
    int socket = Open(&client);
    int key = 0;
    ASSERT_TRUE(completionPort.Associate(socket, &key));
    ASSERT_TRUE(completionPort.Receive(socket, buffer, sizeof buffer - 1, &overlapped));
    ASSERT_TRUE(loopback::SendText(client, "hello"));
    Completion completion = Next();
    EXPECT_TRUE(completion.ok);
    EXPECT_EQ(completion.bytes, 5u);
    EXPECT_EQ(completion.key, &key);
    EXPECT_EQ(completion.overlapped, &overlapped);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    completionPort.CloseSocket(socket);
}

TEST_F(CompletionPortTest, ReceiveTakesAtMostItsLength) {
    int client = -1;
    int socket = Open(&client);
    completionPort.Associate(socket, nullptr);
    ASSERT_TRUE(loopback::SendText(client, "abcdefgh"));
    ASSERT_TRUE(completionPort.Receive(socket, buffer, 3, &overlapped));
    EXPECT_EQ(Next().bytes, 3u);
    EXPECT_EQ(buffer[3], '\0');
    completionPort.CloseSocket(socket);
}

TEST_F(CompletionPortTest, OrderlyCloseIsAZeroByteCompletion) {
    int client = -1;
    int socket = OpenArmed(&client);
    shutdown(client, SHUT_WR);
    Completion completion = Next();
    EXPECT_TRUE(completion.ok);
    EXPECT_EQ(completion.bytes, 0u);
    EXPECT_EQ(completion.overlapped, &overlapped);
    completionPort.CloseSocket(socket);
}

TEST_F(CompletionPortTest, ResetIsAFailedCompletionCarryingItsRecord) {
    int client = -1;
    int socket = OpenArmed(&client);
    loopback::Abort(client);
    clients.clear();
    Completion completion = Next();
    EXPECT_FALSE(completion.ok);
    EXPECT_EQ(completion.bytes, 0u);
    EXPECT_EQ(completion.overlapped, &overlapped);
    EXPECT_EQ(completion.error, static_cast<std::uint32_t>(ECONNRESET));
    completionPort.CloseSocket(socket);
}

TEST_F(CompletionPortTest, ClosingASocketFailsItsPendingReceive) {
    int socket = Open();
    int key = 0;
    completionPort.Associate(socket, &key);
    ASSERT_TRUE(completionPort.Receive(socket, buffer, sizeof buffer, &overlapped));
    completionPort.CloseSocket(socket);
    Completion completion = Next();
    EXPECT_FALSE(completion.ok);
    EXPECT_EQ(completion.key, &key);
    EXPECT_EQ(completion.overlapped, &overlapped);
    EXPECT_EQ(completionPort.Wait(20).error, kWaitTimeoutCode);
}

TEST_F(CompletionPortTest, SecondReceiveWhilePendingAndUnknownSocketAreRefused) {
    int socket = Open();
    EXPECT_FALSE(completionPort.Receive(socket, buffer, sizeof buffer, &overlapped));
    completionPort.Associate(socket, nullptr);
    EXPECT_FALSE(completionPort.Associate(socket, nullptr));
    ASSERT_TRUE(completionPort.Receive(socket, buffer, sizeof buffer, &overlapped));
    EXPECT_FALSE(completionPort.Receive(socket, buffer, sizeof buffer, &overlapped));
    completionPort.CloseSocket(socket);
    EXPECT_FALSE(Next().ok);
}

TEST_F(CompletionPortTest, ReusedDescriptorNumberGetsOnlyItsOwnCompletions) {
    int oldKey = 0;
    int newKey = 0;
    char oldBuffer[16] = {};
    Overlapped oldOverlapped{};
    int oldSocket = Open();
    completionPort.Associate(oldSocket, &oldKey);
    ASSERT_TRUE(completionPort.Receive(oldSocket, oldBuffer, sizeof oldBuffer, &oldOverlapped));
    int client = loopback::Connect(port);
    clients.push_back(client);
    completionPort.CloseSocket(oldSocket);

    loopback::WaitReadable(listener, kGenerousMs);
    sockaddr_in peer{};
    int newSocket = AcceptConnection(listener, &peer);
    ASSERT_EQ(newSocket, oldSocket) << "the kernel hands out the lowest free descriptor";
    ASSERT_TRUE(completionPort.Associate(newSocket, &newKey));
    ASSERT_TRUE(completionPort.Receive(newSocket, buffer, sizeof buffer, &overlapped));
    ASSERT_TRUE(loopback::SendText(client, "new"));

    Completion cancelled = Next();
    EXPECT_EQ(cancelled.key, &oldKey);
    EXPECT_EQ(cancelled.overlapped, &oldOverlapped);
    EXPECT_FALSE(cancelled.ok);
    Completion received = Next();
    EXPECT_EQ(received.key, &newKey);
    EXPECT_EQ(received.overlapped, &overlapped);
    EXPECT_EQ(std::string(buffer, received.bytes), "new");
    EXPECT_EQ(oldBuffer[0], '\0');
    completionPort.CloseSocket(newSocket);
}

TEST_F(CompletionPortTest, ReceiveArmedIntoAnotherBufferLeavesTheFirstIntact) {
    int client = -1;
    int socket = Open(&client);
    char second[16] = {};
    Overlapped secondOverlapped{};
    completionPort.Associate(socket, nullptr);
    ASSERT_TRUE(completionPort.Receive(socket, buffer, sizeof buffer, &overlapped));
    ASSERT_TRUE(loopback::SendText(client, "first"));
    ASSERT_EQ(Next().bytes, 5u);
    ASSERT_TRUE(completionPort.Receive(socket, second, sizeof second, &secondOverlapped));
    ASSERT_TRUE(loopback::SendText(client, "other"));
    EXPECT_EQ(Next().overlapped, &secondOverlapped);
    EXPECT_EQ(std::string(buffer, 5), "first");
    EXPECT_EQ(std::string(second, 5), "other");
    completionPort.CloseSocket(socket);
}

// Closes race the reactor's recv on busy sockets; every armed receive must complete exactly once.
TEST_F(CompletionPortTest, CloseRacingTheReactorCompletesEachReceiveOnce) {
    constexpr int kRounds = 200;
    for (int round = 0; round < kRounds; ++round) {
        int client = -1;
        int socket = Open(&client);
        completionPort.Associate(socket, nullptr);
        ASSERT_TRUE(completionPort.Receive(socket, buffer, sizeof buffer, &overlapped));
        std::thread writer([client] { loopback::SendText(client, "race"); });
        completionPort.CloseSocket(socket);
        writer.join();
        Completion completion = Next();
        EXPECT_EQ(completion.overlapped, &overlapped);
        EXPECT_EQ(completionPort.Wait(0).error, kWaitTimeoutCode);
        close(client);
        clients.clear();
    }
}

TEST_F(CompletionPortTest, AcceptReturnsAtOnceAndGivesNonBlockingSockets) {
    sockaddr_in peer{};
    EXPECT_EQ(AcceptConnection(listener, &peer), -1);
    int socket = Open();
    ASSERT_GE(socket, 0);
    EXPECT_NE(fcntl(socket, F_GETFL) & O_NONBLOCK, 0);
    close(socket);
}

}  // namespace

#include <netinet/in.h>
#include <netinet/tcp.h>

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <future>

#include "server/ServerError.h"
#include "tests/server/ServerFixture.h"

namespace servertest {
namespace {

std::string CloseTrace(int socket) { return "CloseSocket request " + std::to_string(socket) + ".\n"; }

TEST_F(ServerTest, BuildingTracesAndStartsServiceLoopsAndChecker) {
    StartServer();
    ASSERT_TRUE(WaitUntil([&] {
        return traces.Count("Socket service thread started.\n") == static_cast<int>(ProcessorCount()) &&
               traces.Count("Time out checker service started.\n") == 1;
    }));
    std::vector<std::string> lines = traces.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Creating \"socket_listener\" ... ");
    EXPECT_EQ(lines[1], "DONE\n");
    EXPECT_EQ(server->ThreadPool().Threads().size(), ProcessorCount() + 121);
}

TEST_F(ServerTest, TeardownStopsEveryLoopAndTracesTheKill) {
    StartServer(600, kHourMs);
    ASSERT_TRUE(WaitUntil([&] { return traces.Count("Time out checker service started.\n") == 1; }));
    ASSERT_TRUE(WaitUntilEveryServiceThreadWaits());
    // Every service thread is an hour from the end of its wait: the stop must not wait for it.
    auto stopped = std::async(std::launch::async, [&] { server.reset(); });
    ASSERT_EQ(stopped.wait_for(30s), std::future_status::ready) << "a waiting service thread missed the stop";
    EXPECT_EQ(traces.Count("Socket service thread stopped.\n"), static_cast<int>(ProcessorCount()));
    EXPECT_EQ(traces.Count("Time out checker service stopped.\n"), 1);
    EXPECT_EQ(traces.Lines().back(), "Killing \"socket_listener\" ... DONE\n");
}

TEST_F(ServerTest, AcceptTracesTheSocketAndArmsAReceive) {
    StartServer();
    const Open open = OpenConnection();
    ASSERT_NE(open.record, nullptr);
    std::string created = "Socket created at " + std::to_string(open.socket) + ".\n";
    EXPECT_TRUE(WaitUntil([&] { return traces.Count(created) == 1; }));
    ASSERT_TRUE(Send(open.client, "hello"));
    ASSERT_TRUE(WaitForChunks(1));
    EXPECT_EQ(handler.Chunks()[0].data, "hello");
}

// A peer gone without a FIN is found by the kernel's probes; the receive then fails with ETIMEDOUT.
TEST_F(ServerTest, AnAcceptedConnectionIsProbedByKeepalive) {
    StartServer();
    const Open open = OpenConnection();
    ASSERT_NE(open.record, nullptr);
    const struct {
        int level, option, value;
    } options[] = {{SOL_SOCKET, SO_KEEPALIVE, 1},
                   {IPPROTO_TCP, TCP_KEEPIDLE, 60},
                   {IPPROTO_TCP, TCP_KEEPINTVL, 10},
                   {IPPROTO_TCP, TCP_KEEPCNT, 3}};
    for (const auto& o : options) {
        int value = -1;
        socklen_t length = sizeof value;
        ASSERT_EQ(getsockopt(open.socket, o.level, o.option, &value, &length), 0);
        EXPECT_EQ(value, o.value) << o.option;
    }
}

// A connection that arrives while every service thread waits ends one wait: it is accepted and
// answered long before any wait could have timed out.
TEST_F(ServerTest, ConnectionOpenedWhileEveryServiceThreadWaitsIsServedAtOnce) {
    StartServer(600, kHourMs);
    ASSERT_TRUE(WaitUntilEveryServiceThreadWaits());
    int client = Connect();
    ASSERT_TRUE(Send(client, "ping"));
    EXPECT_EQ(loopback::Receive(client, kGenerousMs), "pong");
    // The turn that took the wake-up armed the next one: a second connection is served the same way.
    ASSERT_TRUE(WaitUntilEveryServiceThreadWaits());
    int second = Connect();
    ASSERT_TRUE(Send(second, "ping"));
    EXPECT_EQ(loopback::Receive(second, kGenerousMs), "pong");
}

// The first chunk's decoding is held until the second chunk's event has been taken by a worker; the
// second is decoded only after the first, never beside it.
TEST_F(ServerTest, EventsOfOneConnectionAreHandledOneAtATime) {
    StartServer();
    const Open open = OpenConnection();
    ASSERT_NE(open.record, nullptr);
    std::atomic<int> inside{0};
    std::atomic<int> most{0};
    std::atomic<bool> holding{false};
    auto secondTaken = [&] {
        ObjectPool<CSockEventTask<Attachment>>& tasks = server->TaskPool();
        return tasks.Size() - tasks.FreeCount() == 2 && server->ThreadPool().QueuedCount() == 0;
    };
    handler.onDecode = [&](Attachment&, ConnectionTable&, CompletionPort&) {
        most = std::max(most.load(), ++inside);
        if (handler.ChunkCount() == 1) {
            holding = true;
            EXPECT_TRUE(WaitUntil(secondTaken));
        }
        --inside;
    };
    ASSERT_TRUE(Send(open.client, "first"));
    ASSERT_TRUE(WaitUntil([&] { return holding.load(); }));
    ASSERT_TRUE(Send(open.client, "second"));
    ASSERT_TRUE(WaitForChunks(2));
    EXPECT_EQ(handler.Chunks()[0].data, "first");
    EXPECT_EQ(handler.Chunks()[1].data, "second");
    EXPECT_EQ(most, 1);
}

// With waits of an hour, every connection, the 101st among them, is taken through the listener's
// wake-up.
TEST_F(ServerTest, HundredConnectionsStayOpenAndTheNextIsDropped) {
    StartServer(600, kHourMs);
    std::vector<int> open;
    for (int i = 0; i < kConnectionRecords; ++i) {
        open.push_back(Connect());
    }
    ASSERT_EQ(server->Table().FreeCount(), 0u);
    int extra = loopback::Connect(port);
    ASSERT_GE(extra, 0);
    EXPECT_TRUE(loopback::PeerClosed(extra, kGenerousMs));
    close(extra);
    for (int client : open) {
        ASSERT_TRUE(Send(client, "ping"));
    }
    ASSERT_TRUE(WaitForChunks(open.size()));
    for (int client : open) {
        EXPECT_EQ(loopback::Receive(client, kGenerousMs), "pong");
    }
    EXPECT_EQ(server->Table().FreeCount(), 0u);
}

// After a freeze every RTU's close and reconnect arrive together: a connection that finds the table
// full of records whose peers have gone waits for their closes instead of being refused.
TEST_F(ServerTest, ReconnectToATableOfPendingClosesIsServedOnceTheyAreHandled) {
    // Closes wait at this gate; shared, since a worker may still hold it when the test body ends.
    struct Gate {
        std::mutex lock;
        std::condition_variable opened;
        bool open = false;
    };
    auto gate = std::make_shared<Gate>();
    handler.onClose = [gate] {
        std::unique_lock guard(gate->lock);
        gate->opened.wait(guard, [&] { return gate->open; });
    };
    StartServer(600, kHourMs);
    for (int i = 0; i < kConnectionRecords; ++i) {
        Connect();
    }
    for (int client : clients) {
        close(client);
    }
    clients.clear();
    ASSERT_TRUE(WaitUntil([&] { return handler.closes == kConnectionRecords; }));
    const int reconnect = loopback::Connect(port);
    ASSERT_GE(reconnect, 0);
    clients.push_back(reconnect);
    {
        std::lock_guard guard(gate->lock);
        gate->open = true;
    }
    gate->opened.notify_all();

    ASSERT_TRUE(WaitUntil([&] { return handler.accepts == kConnectionRecords + 1; }));
    ASSERT_TRUE(Send(reconnect, "ping"));
    EXPECT_EQ(loopback::Receive(reconnect, kGenerousMs), "pong");
}

// A stop while every worker is busy: the receives queued behind them, and the bytes that had reached
// the sockets without a receive armed yet, are decoded before the server goes.
TEST_F(ServerTest, StopDecodesEveryReceiveQueuedBehindBusyWorkersAndWhatReachedTheSockets) {
    // Each connection's first chunk waits here; shared, since a worker may still hold it at the end.
    struct Gate {
        std::mutex lock;
        std::condition_variable opened;
        bool open = false;
        int held = 0;
    };
    auto gate = std::make_shared<Gate>();
    handler.onDecode = [gate](Attachment& record, ConnectionTable&, CompletionPort&) {
        if (std::string(reinterpret_cast<const char*>(record.stream.Received()), record.fill) != "hold") return;
        std::unique_lock guard(gate->lock);
        ++gate->held;
        gate->opened.wait(guard, [&] { return gate->open; });
    };
    StartServer(600, kHourMs);
    // All connected first: finding a connection's record takes every record's lock.
    for (int i = 0; i < kConnectionRecords; ++i) Connect();
    std::vector<int> sockets;
    for (int client : clients) sockets.push_back(RecordOf(client)->socket.load());
    for (int client : clients) ASSERT_TRUE(Send(client, "hold"));
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard guard(gate->lock);
        return gate->held == kConnectionRecords;
    }));
    for (int client : clients) ASSERT_TRUE(Send(client, "next"));
    // The workers left take a second chunk each and wait for its connection; the rest queue.
    ASSERT_TRUE(
        WaitUntil([&] { return server->ThreadPool().QueuedCount() == 2 * kConnectionRecords - kWorkerThreads; }));
    // No receive is armed now: these wait in the sockets.
    for (int client : clients) ASSERT_TRUE(Send(client, "last"));
    ASSERT_TRUE(WaitUntil([&] {
        return std::all_of(sockets.begin(), sockets.end(), [](int socket) {
            int queued = 0;
            return ioctl(socket, FIONREAD, &queued) == 0 && queued == 4;
        });
    }));

    auto stopped = std::async(std::launch::async, [&] {
        const bool finished = server->FinishReceived(std::chrono::milliseconds(kGenerousMs));
        server.reset();
        return finished;
    });
    ASSERT_TRUE(WaitUntil([&] { return traces.Count("Socket service thread stopped.\n") == int(ProcessorCount()); }));
    {
        std::lock_guard guard(gate->lock);
        gate->open = true;
    }
    gate->opened.notify_all();
    EXPECT_TRUE(stopped.get());
    EXPECT_EQ(handler.ChunkCount(), 3u * kConnectionRecords);
}

TEST_F(ServerTest, PeerCloseFreesTheRecordWithSequenceAdvanced) {
    StartServer();
    const Open open = OpenConnection();
    ASSERT_NE(open.record, nullptr);
    shutdown(open.client, SHUT_WR);
    ASSERT_TRUE(WaitUntil([&] { return server->Table().FreeCount() == kConnectionRecords; }));
    EXPECT_TRUE(WaitUntil([&] { return traces.Count(CloseTrace(open.socket)) == 1; }));
    EXPECT_EQ(open.record->sequence, open.sequence + 1);
    EXPECT_EQ(open.record->inUse, 0);
    EXPECT_EQ(handler.closes, 1);
    EXPECT_TRUE(loopback::PeerClosed(open.client, kGenerousMs));
}

TEST_F(ServerTest, ResetByPeerFreesTheRecord) {
    StartServer();
    int client = Connect();
    loopback::Abort(client);
    clients.clear();
    EXPECT_TRUE(WaitUntil([&] { return server->Table().FreeCount() == kConnectionRecords; }));
}

TEST_F(ServerTest, SequenceWrapsFromLastToOne) {
    StartServer();
    for (auto& record : server->Table().AllList()) {
        std::lock_guard guard(record->lock);
        record->sequence = kLastSequence;
    }
    const Open open = OpenConnection();
    ASSERT_NE(open.record, nullptr);
    shutdown(open.client, SHUT_WR);
    ASSERT_TRUE(WaitUntil([&] { return server->Table().FreeCount() == kConnectionRecords; }));
    EXPECT_EQ(open.record->sequence, 1u);
}

TEST_F(ServerTest, StaleEventsAreDroppedWithoutTheHandler) {
    StartServer();
    const Open open = OpenConnection();
    ASSERT_NE(open.record, nullptr);
    std::uint32_t stale = open.record->sequence + 1;
    IoRecord* staleRead = PostRaw(*open.record, kReceived, stale, 5);
    IoRecord* staleClose = PostRaw(*open.record, kCloseRequest, stale);
    ASSERT_TRUE(WaitHandled(staleRead));
    ASSERT_TRUE(WaitHandled(staleClose));
    EXPECT_EQ(handler.ChunkCount(), 0u);
    EXPECT_EQ(handler.closes, 0);
    EXPECT_EQ(open.record->inUse, 1);
    ASSERT_TRUE(Send(open.client, "still open"));
    EXPECT_TRUE(WaitForChunks(1));
}

TEST_F(ServerTest, SecondCloseRequestIsStale) {
    StartServer();
    const Open open = OpenConnection();
    ASSERT_NE(open.record, nullptr);
    IoRecord* first = PostRaw(*open.record, kCloseRequest, open.sequence);
    IoRecord* second = PostRaw(*open.record, kCloseRequest, open.sequence);
    ASSERT_TRUE(WaitHandled(first));
    ASSERT_TRUE(WaitHandled(second));
    EXPECT_EQ(traces.Count(CloseTrace(open.socket)), 1);
    EXPECT_EQ(handler.closes, 1);
    EXPECT_EQ(open.record->sequence, open.sequence + 1);
    EXPECT_EQ(server->Table().FreeCount(), static_cast<std::size_t>(kConnectionRecords));
}

TEST_F(ServerTest, FailedSendReleasesTheRecordAndLaterEventsAreStale) {
    StartServer();
    const Open open = OpenConnection();
    ASSERT_NE(open.record, nullptr);
    {
        std::lock_guard guard(open.record->lock);
        shutdown(open.record->socket, SHUT_WR);
        const std::uint8_t reply[] = {1, 2, 3};
        EXPECT_FALSE(SendToConnection(*open.record, server->Table(), server->Port(), reply, sizeof reply));
        EXPECT_EQ(open.record->inUse, 0);
    }
    EXPECT_EQ(open.record->sequence, open.sequence + 1);
    EXPECT_EQ(server->Table().FreeCount(), static_cast<std::size_t>(kConnectionRecords));
    IoRecord* late = PostRaw(*open.record, kReceived, open.sequence, 3);
    ASSERT_TRUE(WaitHandled(late));
    EXPECT_EQ(handler.ChunkCount(), 0u);
    EXPECT_TRUE(loopback::PeerClosed(open.client, kGenerousMs));
}

TEST_F(ServerTest, SendThatWouldBlockEndsTheConnection) {
    StartServer();
    const Open open = OpenConnection();
    ASSERT_NE(open.record, nullptr);
    std::vector<std::uint8_t> block(65536, 'x');
    std::lock_guard guard(open.record->lock);
    bool sent = true;
    for (int i = 0; i < 10000 && sent; ++i) {
        sent = SendToConnection(*open.record, server->Table(), server->Port(), block.data(), block.size());
    }
    EXPECT_FALSE(sent);
    EXPECT_EQ(open.record->inUse, 0);
}

TEST_F(ServerTest, PortInUseRefusesToBindAndStartsNothing) {
    StartServer();
    RecordingHandler other;
    try {
        ServerService<Attachment> second(port, &other, 600);
        FAIL() << "bound a port in use";
    } catch (const ServerError& error) {
        EXPECT_STREQ(error.what(), "server socket failed to bind on given port.");
    }
    EXPECT_EQ(traces.Count("Creating \"socket_listener\" ... "), 1);
}

TEST_F(ServerTest, MissingHandlerIsRefused) {
    try {
        ServerService<Attachment> noHandler(0, nullptr, 600);
        FAIL() << "built without a handler";
    } catch (const ServerError& error) {
        EXPECT_STREQ(error.what(), "NULL pointer set for socket event handler.");
    }
}

TEST_F(ServerTest, ConnectionsComingAndGoingLeakNothing) {
    // The IoRecord pool is the process's: a test before this one in the same process may have grown it.
    const std::size_t ioRecordsBefore = ioRecordPool().Size();
    StartServer();
    constexpr int kRounds = 10;
    constexpr int kBatch = 20;  // the listen backlog
    for (int round = 0; round < kRounds; ++round) {
        std::vector<int> batch;
        for (int i = 0; i < kBatch; ++i) {
            batch.push_back(Connect());
        }
        for (int client : batch) {
            Send(client, "x");
        }
        for (int client : batch) {
            close(client);
        }
        clients.clear();
        ASSERT_TRUE(WaitUntil([&] { return server->Table().FreeCount() == kConnectionRecords; }));
    }
    // Every IoRecord and task is back: the pools hold no more than the peak of open operations needs.
    EXPECT_TRUE(WaitUntil([&] { return ioRecordPool().FreeCount() == ioRecordPool().Size(); }));
    EXPECT_LE(ioRecordPool().Size(), std::max<std::size_t>(ioRecordsBefore, 100u + 3 * kBatch));
    EXPECT_TRUE(WaitUntil([&] { return server->TaskPool().FreeCount() == server->TaskPool().Size(); }));
    EXPECT_LE(server->TaskPool().Size(), kPreallocatedTasks + 3 * kBatch);
}

}  // namespace
}  // namespace servertest

#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/Attachment.h"
#include "server/ChunkReceiver.h"
#include "server/ConnectionOps.h"
#include "server/ServerService.h"
#include "server/ServerTrace.h"
#include "tests/platform/completionport/LoopbackSockets.h"
#include "tests/support/WaitUntil.h"

namespace servertest {

using namespace std::chrono_literals;

constexpr int kGenerousMs = 30000;
// A completion wait far longer than any test: a service thread never comes out of it by time-out.
constexpr std::uint32_t kHourMs = 3600 * 1000;

// Every server trace line, in order.
class TraceLog : public IServerTraceListener {
public:
    void OnTrace(const char* line) override {
        std::lock_guard guard(lock);
        lines.emplace_back(line);
    }
    int Count(const std::string& line) {
        std::lock_guard guard(lock);
        int count = 0;
        for (const std::string& seen : lines) {
            count += seen == line ? 1 : 0;
        }
        return count;
    }
    std::vector<std::string> Lines() {
        std::lock_guard guard(lock);
        return lines;
    }

private:
    std::mutex lock;
    std::vector<std::string> lines;
};

// One decoder call as the handler saw it.
struct Chunk {
    std::uint32_t bytes;
    std::uint32_t fill;
    std::string data;
    std::uint8_t after;  // the byte right after the data
};

// The receive loop with a decoder that records each chunk and can answer "ping" with "pong".
class RecordingHandler : public ChunkReceiver {
public:
    std::vector<Chunk> Chunks() {
        std::lock_guard guard(lock);
        return chunks;
    }
    std::size_t ChunkCount() {
        std::lock_guard guard(lock);
        return chunks.size();
    }
    std::atomic<int> closes{0};
    std::atomic<int> accepts{0};
    // Runs inside the decoder, with the record's lock held, after the chunk was recorded.
    std::function<void(Attachment&, ConnectionTable&, CompletionPort&)> onDecode;
    // Runs in OnClose, with the record's lock held, after the close was counted.
    std::function<void()> onClose;

    void OnClose(Attachment&, IoRecord*, ConnectionTable&, CompletionPort&) override {
        ++closes;
        if (onClose) {
            onClose();
        }
    }
    void OnAccept(Attachment& record, IoRecord* io, ConnectionTable& table, CompletionPort& port) override {
        ChunkReceiver::OnAccept(record, io, table, port);
        ++accepts;
    }

protected:
    void DecodeChunk(Attachment& record, IoRecord*, std::uint32_t bytes, ConnectionTable& table,
                     CompletionPort& port) override {
        const std::uint8_t* received = record.stream.Received();
        Chunk chunk{bytes, record.fill, std::string(reinterpret_cast<const char*>(received), record.fill),
                    received[record.fill]};
        {
            std::lock_guard guard(lock);
            chunks.push_back(chunk);
        }
        if (chunk.data == "ping") {
            static const std::uint8_t pong[] = {'p', 'o', 'n', 'g'};
            SendToConnection(record, table, port, pong, sizeof pong);
        }
        if (onDecode) {
            onDecode(record, table, port);
        }
    }
    void EndStream(Attachment& record) override { record.stream.Reset(); }

private:
    std::mutex lock;
    std::vector<Chunk> chunks;
};

// A running server on a port the system picked, with a vocabulary for its connections.
class ServerTest : public ::testing::Test {
protected:
    void SetUp() override { SetServerTraceListener(&traces); }

    void TearDown() override {
        server.reset();
        SetServerTraceListener(nullptr);
        for (int client : clients) {
            close(client);
        }
    }

    // waitMs: how long each service thread waits for a completion; a test that gives an hour shows
    // that what it waits for never needs a wait to time out.
    void StartServer(int timeoutSeconds = 600, std::uint32_t waitMs = kCompletionWaitMs) {
        server = std::make_unique<ServerService<Attachment>>(0, &handler, timeoutSeconds);
        server->SetWaitTimeoutMs(waitMs);
        for (auto& thread : server->ThreadPool().Threads()) {
            thread->Start();
        }
        port = server->Table().BoundPort();
    }

    std::size_t OpenCount() { return kConnectionRecords - server->Table().FreeCount(); }

    // Connects a client and waits until the server has accepted it into a record and armed its
    // first receive.
    int Connect() {
        int before = handler.accepts;
        int client = loopback::Connect(port);
        EXPECT_GE(client, 0);
        clients.push_back(client);
        EXPECT_TRUE(WaitUntil([&] { return handler.accepts > before && RecordOf(client) != nullptr; }));
        return client;
    }

    // The open record whose peer is the client socket.
    Attachment* RecordOf(int client) {
        sockaddr_in local{};
        socklen_t length = sizeof local;
        getsockname(client, reinterpret_cast<sockaddr*>(&local), &length);
        for (auto& record : server->Table().AllList()) {
            std::lock_guard guard(record->lock);
            if (record->inUse.load() != 0 && record->peerAddress.sin_port == local.sin_port) {
                return record.get();
            }
        }
        return nullptr;
    }

    // One accepted connection as the server holds it; record is null if the accept went wrong.
    struct Open {
        int client;
        Attachment* record;
        int socket;
        std::uint32_t sequence;
    };
    Open OpenConnection() {
        int client = Connect();
        Attachment* record = RecordOf(client);
        EXPECT_NE(record, nullptr);
        return Open{client, record, record != nullptr ? record->socket.load() : kNoSocket,
                    record != nullptr ? record->sequence.load() : 0};
    }

    bool Send(int client, const std::string& text) { return loopback::SendText(client, text); }

    bool WaitForChunks(std::size_t count) {
        return WaitUntil([&] { return handler.ChunkCount() >= count; });
    }

    // Posts an event as if issued for the given sequence; returns its IoRecord to watch.
    IoRecord* PostRaw(Attachment& record, SockEventCode code, std::uint32_t sequence, std::uint32_t bytes = 1) {
        IoRecord* io = ioRecordPool().Acquire();
        io->code = code;
        io->sequence = sequence;
        EXPECT_TRUE(server->Port().Post(bytes, &record, &io->overlapped));
        return io;
    }

    // Bounded wait until every service thread is blocked in its completion wait.
    bool WaitUntilEveryServiceThreadWaits() {
        return WaitUntil([&] { return server->Port().WaitingCount() == ProcessorCount(); });
    }

    bool WaitHandled(IoRecord* io) {
        return WaitUntil([&] { return ioRecordPool().IsFree(io); });
    }

    TraceLog traces;
    RecordingHandler handler;
    std::unique_ptr<ServerService<Attachment>> server;
    std::uint16_t port = 0;
    std::vector<int> clients;
};

}  // namespace servertest

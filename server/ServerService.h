#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/completionport/CompletionPort.h"
#include "server/CSimpleThreadPool.h"
#include "server/CSockEventTask.h"
#include "server/CThread.h"
#include "server/CTimeOutChecker.h"
#include "server/ConnectionOps.h"
#include "server/ConnectionTable.h"
#include "server/IoRecord.h"
#include "server/KeepAlive.h"
#include "server/ObjectPool.h"
#include "server/ServerCounts.h"
#include "server/ServerError.h"
#include "server/ServerTrace.h"
#include "server/SockEvent.h"

// Counts fixed for the connection server.
inline constexpr int kConnectionRecords = 100;
inline constexpr std::size_t kPreallocatedTasks = 100;
inline constexpr std::uint32_t kWorkerThreads = 120;
inline constexpr std::uint32_t kPoolCapacity = 200;
inline constexpr std::uint32_t kCompletionWaitMs = 200;
// A service thread's pause after a wait that timed out.
inline constexpr std::chrono::milliseconds kIdlePause{10};
// How often a stop looks whether the workers have decoded what was received.
inline constexpr std::chrono::milliseconds kFinishPoll{1};
// Close requests and the service loops outrank the checker; other socket events outrank both.
inline constexpr std::int32_t kEventPriority = 2;
inline constexpr std::int32_t kClosePriority = 1;
inline constexpr std::int32_t kServicePriority = 1;
inline constexpr std::int32_t kCheckerPriority = 0;

std::uint32_t ProcessorCount();

// The TCP server: P service loops (P = processor count) accept connections into the table and wait
// on the completion port; each completion becomes a CSockEventTask run by one of 120 workers; one
// more thread runs the timeout checker. Built and destroyed by one owner thread, which starts the
// threads in between (ThreadPool()); everything else runs on the pool's threads.
template <class Record>
class ServerService : public IRunnable {
public:
    // Throws ServerError with the table's texts, "CreateIoCompletionPort() failed to create IO
    // Completion port." or "NULL pointer set for socket event handler."; nothing is left running.
    ServerService(int port, ISockEvent<Record>* handler, int timeoutSeconds)
        : table(port, kConnectionRecords, true, false), taskPool(kPreallocatedTasks) {
        try {
            completionPort = std::make_unique<CompletionPort>();
        } catch (const std::system_error&) {
            throw ServerError("CreateIoCompletionPort() failed to create IO Completion port.");
        }
        ServerTrace("Creating \"socket_listener\" ... ");
        if (handler == nullptr) {
            throw ServerError("NULL pointer set for socket event handler.");
        }
        this->handler = handler;
        timeoutChecker = std::make_unique<CTimeOutChecker<Record>>(static_cast<std::uint32_t>(timeoutSeconds),
                                                                   &table.AllList(), completionPort.get());
        std::uint32_t processors = ProcessorCount();
        threadPool = std::make_unique<CSimpleThreadPool>(processors + kWorkerThreads + 1, kPoolCapacity);
        for (std::uint32_t i = 0; i < processors; ++i) {
            threadPool->Submit(this, kServicePriority);
        }
        threadPool->Submit(timeoutChecker.get(), kCheckerPriority);
        // Without the wake-up (epoll refused the listener) connections are still taken by the accept
        // of every turn, only later.
        listenerWatched = completionPort->WatchListener(table.ListenSocket());
        ServerTrace("DONE\n");
    }

    virtual ~ServerService() {
        // A service thread notices its stop flag between waits: end the waits, after the flags are
        // set, so that the threads leave at once rather than when their waits time out.
        for (auto& thread : threadPool->Threads()) {
            thread->RequestStop();
        }
        completionPort->EndWaits();
        // Service threads submit to the pool until they stop, so the pool must outlive them.
        threadPool->Stop();
        threadPool.reset();  // queued tasks are dropped
        timeoutChecker.reset();
        ServerTrace("Killing \"socket_listener\" ... DONE\n");
        // Tasks dropped from the queue still hold their IoRecords.
        taskPool.ForEachAcquired([](CSockEventTask<Record>& task) { ioRecordPool().Release(task.io); });
        for (auto& record : table.AllList()) {
            std::lock_guard guard(record->lock);
            ReleaseConnection(*record, table, *completionPort);
        }
        for (const Completion& completion : completionPort->Drain()) {
            if (completion.overlapped != nullptr) {
                ioRecordPool().Release(IoRecordOf(completion.overlapped));
            }
        }
        table.CloseListener();
    }

    ServerService(const ServerService&) = delete;
    ServerService& operator=(const ServerService&) = delete;

    // The service loop, run by P pool threads at once. Each turn accepts at most one connection and
    // takes at most one completion. Only a turn whose wait timed out is followed by the 10 ms pause:
    // it keeps an idle server's accept poll cheap, and under traffic it would only delay the next
    // completion. A connection arriving meanwhile ends one wait (the port watches the listener), and
    // the turn after that wake-up accepts it and arms the next; a connection held for a record (see
    // ConnectionTable) is woken for again by the worker that frees one. So under traffic only a turn
    // after such a wake-up asks the listener: one system call less for every request.
    void Run() override {
        serviceLoops.fetch_add(1);
        ServerTrace("Socket service thread started.\n");
        bool idle = true;
        bool connectionPending = false;
        for (CThread* context = CurrentThreadContext(); !context->StopRequested() && !finishing.load();
             context = CurrentThreadContext()) {
            if (idle) {
                std::this_thread::sleep_for(kIdlePause);
            }
            const bool askListener = idle || connectionPending || !listenerWatched.load(std::memory_order_relaxed);
            if (askListener && AcceptOne() && connectionPending &&
                !completionPort->WatchListener(table.ListenSocket())) {
                listenerWatched.store(false, std::memory_order_relaxed);  // back to asking at every turn
            }
            Completion completion = completionPort->Wait(waitTimeoutMs);
            idle = completion.overlapped == nullptr && completion.error == kWaitTimeoutCode;
            connectionPending = completion.overlapped == nullptr && completion.error == kConnectionPendingCode;
            HandleCompletion(completion);
        }
        ServerTrace("Socket service thread stopped.\n");
        serviceLoops.fetch_sub(1);
    }

    // The first step of a stop: takes no more connections, and of each connection only the bytes
    // that had reached it, and has the workers decode them all, so that each frame an RTU had got
    // to this machine has its readings recorded (and its reply sent) before the server goes. Waits at most `limit`;
    // false when work was still under way then. Afterwards the server only awaits its destruction.
    bool FinishReceived(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        finishing.store(true);
        completionPort->StopReceiving();
        completionPort->EndWaits();
        // With the service loops gone this thread is the port's only taker, so a packet is never
        // between the queue and its task unseen.
        while (serviceLoops.load() != 0) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(kFinishPoll);
        }
        for (;;) {
            HandleQueued();
            // A task posts whatever it posts (a close) before it is released, so once none is out
            // an empty queue stays empty.
            // The reactor queues a receive under the lock ReceivesLeft takes: none left, all queued.
            if (!completionPort->ReceivesLeft() && taskPool.AcquiredCount() == 0 && !HandleQueued()) return true;
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(kFinishPoll);
        }
    }

    // How long a service thread waits for a completion (kCompletionWaitMs). Call before the threads
    // start; tests lengthen it to show that nothing waits for its end.
    void SetWaitTimeoutMs(std::uint32_t timeoutMs) { waitTimeoutMs = timeoutMs; }

    CSimpleThreadPool& ThreadPool() { return *threadPool; }
    ConnectionTable& Table() { return table; }
    CompletionPort& Port() { return *completionPort; }
    CTimeOutChecker<Record>& TimeoutChecker() { return *timeoutChecker; }
    ObjectPool<CSockEventTask<Record>>& TaskPool() { return taskPool; }

private:
    // False when the connection waiting was held for a record to come free: the worker that frees
    // it re-arms the listener's wake-up, so the caller must not (it would fire again at once).
    bool AcceptOne() {
        if (table.HoldAccept()) {
            return false;
        }
        sockaddr_in peer{};
        int socket = AcceptConnection(table.ListenSocket(), &peer);
        if (socket < 0) {
            return true;
        }
        Record* record = table.Acquire();
        bool attached = false;
        if (record != nullptr) {
            std::lock_guard guard(record->lock);
            attached = record->Attach(socket, peer);
        }
        if (!attached) {
            // The table is full: the peer is disconnected and never gets a record.
            serverCounts.refused.fetch_add(1, std::memory_order_relaxed);
            shutdown(socket, SHUT_RDWR);
            close(socket);
            return true;
        }
        KeepAliveRtuSocket(socket);
        ServerTrace("Socket created at %d.\n", socket);
        serverCounts.accepted.fetch_add(1, std::memory_order_relaxed);
        completionPort->Associate(socket, record);
        record->lastActive.store(NowSeconds());
        if (!PostEvent(*record, kAccepted, *completionPort)) {
            CloseAndRelease(*record);
        }
        return true;
    }

    // Hands every queued packet on; false when there was none.
    bool HandleQueued() {
        bool any = false;
        for (Completion completion = completionPort->Wait(0);
             completion.overlapped != nullptr || completion.error != kWaitTimeoutCode;
             completion = completionPort->Wait(0)) {
            HandleCompletion(completion);
            any = true;
        }
        return any;
    }

    void HandleCompletion(const Completion& completion) {
        if (completion.overlapped == nullptr) {
            return;  // timed out, or failed without a record
        }
        IoRecord* io = IoRecordOf(completion.overlapped);
        Record* record = static_cast<Record*>(completion.key);
        std::uint32_t bytes = completion.ok ? completion.bytes : 0;
        if (record == nullptr) {
            ioRecordPool().Release(io);
        } else if (bytes != 0) {
            CSockEventTask<Record>* task = taskPool.Acquire();
            task->io = io;
            task->record = record;
            task->handler = handler;
            task->table = &table;
            task->port = completionPort.get();
            task->bytesTransferred = bytes;
            task->owner = &taskPool;
            threadPool->Submit(task, io->code == kCloseRequest ? kClosePriority : kEventPriority);
        } else {
            // The peer closed or the receive failed: have a worker close the connection.
            if (record->inUse.load() != 0 && io->sequence == record->sequence.load()) {
                record->lastActive.store(0);
                if (completion.ok) serverCounts.closedByPeer.fetch_add(1, std::memory_order_relaxed);
                // Keepalive found the peer gone without a FIN: as good as the idle time-out's close.
                if (!completion.ok && completion.error == ETIMEDOUT)
                    serverCounts.closedByTimeout.fetch_add(1, std::memory_order_relaxed);
                if (!PostEvent(*record, kCloseRequest, *completionPort)) {
                    CloseAndRelease(*record);
                }
            }
            ioRecordPool().Release(io);
        }
    }

    void CloseAndRelease(Record& record) {
        std::lock_guard guard(record.lock);
        ReleaseConnection(record, table, *completionPort);
    }

    ConnectionTable table;
    std::unique_ptr<CompletionPort> completionPort;
    std::uint32_t waitTimeoutMs = kCompletionWaitMs;
    std::atomic<bool> listenerWatched{false};  // the port wakes a wait for a connection to accept
    ISockEvent<Record>* handler = nullptr;     // not owned
    std::unique_ptr<CTimeOutChecker<Record>> timeoutChecker;
    std::unique_ptr<CSimpleThreadPool> threadPool;
    ObjectPool<CSockEventTask<Record>> taskPool;
    std::atomic<bool> finishing{false};  // FinishReceived has begun: the service loops leave
    std::atomic<int> serviceLoops{0};    // service loops inside Run
};

#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "server/CThread.h"
#include "server/Runnable.h"

// A fixed set of threads that all run the worker loop: take the pending entry of highest priority,
// run it, sleep 2 milliseconds, repeat until the thread is asked to stop. A long-running entry keeps
// its thread until then; short ones are served by the others.
//
// Submit may be called from any thread. The constructor, Threads() and the destructor belong to the
// owner; the owner starts the threads after submitting the first work.
class CSimpleThreadPool : public IRunnable {
public:
    // Throws ServerError "Invalid number of threads supplied." or "Invalid capacity supplied.".
    CSimpleThreadPool(std::uint32_t threadCount, std::uint32_t capacity);
    // Stops and waits for every thread, then drops the entries still queued without running them.
    virtual ~CSimpleThreadPool();
    CSimpleThreadPool(const CSimpleThreadPool&) = delete;
    CSimpleThreadPool& operator=(const CSimpleThreadPool&) = delete;

    // Asks every thread to stop, then waits for each in creation order. The queue is left as it is.
    void Stop();
    // Queues a runnable (not owned). Throws ServerError "Self referencing not allowed." for the pool.
    void Submit(IRunnable* runnable, std::int32_t priority);
    // The worker loop. Throws ServerError "Call is not within a CThread context." outside a CThread.
    void Run() override;

    const std::vector<std::unique_ptr<CThread>>& Threads() const { return threads; }
    std::size_t QueuedCount();

private:
    struct QueueEntry {
        std::int32_t priority;
        IRunnable* runnable;
    };

    IRunnable* TakeNext();
    void SiftUp(std::size_t hole);
    void SiftDown(std::size_t hole);

    std::mutex queueLock;  // guards queue; nothing else is taken while it is held
    std::vector<std::unique_ptr<CThread>> threads;
    std::vector<QueueEntry> queue;  // a max-heap on priority
};

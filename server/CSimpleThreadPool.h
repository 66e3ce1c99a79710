#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "server/CThread.h"
#include "server/Runnable.h"

// A fixed set of threads that all run the worker loop: take the pending entry of highest priority,
// run it, repeat until the thread is asked to stop. A worker with nothing to do sleeps on the queue
// until an entry or the stop arrives, so an idle pool costs no processor time. A long-running entry
// keeps its thread until then; short ones are served by the others.
//
// Submit may be called from any thread. The constructor, Stop, Threads() and the destructor belong to
// the owner; the owner starts the threads after submitting the first work.
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
    // Workers asleep on the empty queue. Safe to call from any thread.
    std::size_t WaitingCount();

private:
    struct QueueEntry {
        std::int32_t priority;
        IRunnable* runnable;
    };

    // Blocks until an entry is queued or the calling worker is asked to stop; null for the stop.
    IRunnable* WaitForNext(const CThread& context);
    void SiftUp(std::size_t hole);
    void SiftDown(std::size_t hole);

    std::mutex queueLock;                  // guards queue and waitingCount; nothing else is taken while it is held
    std::condition_variable queueChanged;  // an entry was queued, or the workers were asked to stop
    std::vector<std::unique_ptr<CThread>> threads;
    std::vector<QueueEntry> queue;  // a max-heap on priority
    std::size_t waitingCount = 0;
};

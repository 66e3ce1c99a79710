#include "server/CSimpleThreadPool.h"

#include <utility>

#include "server/ServerError.h"

CSimpleThreadPool::CSimpleThreadPool(std::uint32_t threadCount, std::uint32_t capacity) {
    if (threadCount == 0) {
        throw ServerError("Invalid number of threads supplied.");
    }
    if (capacity == 0) {
        throw ServerError("Invalid capacity supplied.");
    }
    queue.reserve(capacity);
    threads.reserve(threadCount);
    for (std::uint32_t i = 0; i < threadCount; ++i) {
        threads.push_back(std::make_unique<CThread>(this));
    }
}

CSimpleThreadPool::~CSimpleThreadPool() {
    Stop();
    std::lock_guard guard(queueLock);
    queue.clear();
}

void CSimpleThreadPool::Stop() {
    // Ask every thread first so that they wind down together.
    for (auto& thread : threads) {
        thread->RequestStop();
    }
    {
        // Taking the lock orders the flags before any worker's next look at them: a worker between
        // its check and its sleep cannot miss this wake-up.
        std::lock_guard guard(queueLock);
    }
    queueChanged.notify_all();
    for (auto& thread : threads) {
        thread.reset();
    }
    threads.clear();
}

void CSimpleThreadPool::Submit(IRunnable* runnable, std::int32_t priority) {
    if (runnable == this) {
        throw ServerError("Self referencing not allowed.");
    }
    {
        std::lock_guard guard(queueLock);
        queue.push_back(QueueEntry{priority, runnable});
        SiftUp(queue.size() - 1);
    }
    queueChanged.notify_one();
}

std::size_t CSimpleThreadPool::QueuedCount() {
    std::lock_guard guard(queueLock);
    return queue.size();
}

std::size_t CSimpleThreadPool::WaitingCount() {
    std::lock_guard guard(queueLock);
    return waitingCount;
}

void CSimpleThreadPool::Run() {
    CThread* context = CurrentThreadContext();
    while (!context->StopRequested()) {
        if (IRunnable* next = WaitForNext(*context)) {
            next->Run();
        }
        context = CurrentThreadContext();
    }
}

IRunnable* CSimpleThreadPool::WaitForNext(const CThread& context) {
    std::unique_lock guard(queueLock);
    if (queue.empty() && !context.StopRequested()) {
        ++waitingCount;
        queueChanged.wait(guard, [&] { return !queue.empty() || context.StopRequested(); });
        --waitingCount;
    }
    // A stop that arrives with an entry wins: the entry stays queued for the owner to drop.
    if (queue.empty() || context.StopRequested()) {
        return nullptr;
    }
    IRunnable* top = queue.front().runnable;
    queue.front() = queue.back();
    queue.pop_back();
    if (!queue.empty()) {
        SiftDown(0);
    }
    return top;
}

void CSimpleThreadPool::SiftUp(std::size_t hole) {
    while (hole > 0) {
        std::size_t parent = (hole - 1) / 2;
        if (!(queue[parent].priority < queue[hole].priority)) {
            return;
        }
        std::swap(queue[parent], queue[hole]);
        hole = parent;
    }
}

// The larger child is preferred; of two equal children the right one wins.
void CSimpleThreadPool::SiftDown(std::size_t hole) {
    for (;;) {
        std::size_t left = 2 * hole + 1;
        std::size_t right = left + 1;
        if (left >= queue.size()) {
            return;
        }
        std::size_t child = left;
        if (right < queue.size() && !(queue[right].priority < queue[left].priority)) {
            child = right;
        }
        if (!(queue[hole].priority < queue[child].priority)) {
            return;
        }
        std::swap(queue[hole], queue[child]);
        hole = child;
    }
}

#include "server/CSimpleThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/ServerError.h"
#include "tests/support/WaitUntil.h"

namespace {

using namespace std::chrono_literals;

// Records the order in which runnables ran.
class RunLog {
public:
    void Add(const std::string& name) {
        std::lock_guard guard(lock);
        names.push_back(name);
        changed.notify_all();
    }
    // Waits (bounded) until count names were logged and returns them.
    std::vector<std::string> WaitFor(std::size_t count) {
        std::unique_lock guard(lock);
        changed.wait_for(guard, 30s, [&] { return names.size() >= count; });
        return names;
    }

private:
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::string> names;
};

class Named final : public IRunnable {
public:
    Named(RunLog& log, std::string name) : log(log), name(std::move(name)) {}
    void Run() override { log.Add(name); }

private:
    RunLog& log;
    std::string name;
};

// Occupies its thread until the thread is asked to stop, as the server's loops do.
class UntilStopped : public IRunnable {
public:
    void Run() override {
        ++started;
        while (!ThreadContextSlot->StopRequested()) {
            std::this_thread::sleep_for(1ms);
        }
        ++finished;
    }
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
};

void StartAll(CSimpleThreadPool& pool) {
    for (auto& thread : pool.Threads()) {
        thread->Start();
    }
}

struct BadSize {
    std::uint32_t threads;
    std::uint32_t capacity;
    const char* message;
};

class ThreadPoolSizeTest : public ::testing::TestWithParam<BadSize> {};

TEST_P(ThreadPoolSizeTest, RaisesItsMessage) {
    try {
        CSimpleThreadPool pool(GetParam().threads, GetParam().capacity);
        FAIL() << "no error raised";
    } catch (const ServerError& error) {
        EXPECT_STREQ(error.what(), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(ZeroSizes, ThreadPoolSizeTest,
                         ::testing::Values(BadSize{0, 200, "Invalid number of threads supplied."},
                                           BadSize{4, 0, "Invalid capacity supplied."},
                                           BadSize{0, 0, "Invalid number of threads supplied."}),
                         [](const ::testing::TestParamInfo<BadSize>& info) {
                             return "Threads" + std::to_string(info.param.threads) + "Capacity" +
                                    std::to_string(info.param.capacity);
                         });

TEST(ThreadPoolTest, SubmittingThePoolToItselfIsRefused) {
    CSimpleThreadPool pool(1, 10);
    try {
        pool.Submit(&pool, 1);
        FAIL() << "no error raised";
    } catch (const ServerError& error) {
        EXPECT_STREQ(error.what(), "Self referencing not allowed.");
    }
    EXPECT_EQ(pool.QueuedCount(), 0u);
}

TEST(ThreadPoolTest, HighestPriorityRunsFirst) {
    RunLog log;
    Named low(log, "p0"), middle(log, "p1"), high(log, "p2");
    CSimpleThreadPool pool(1, 10);
    pool.Submit(&low, 0);
    pool.Submit(&middle, 1);
    pool.Submit(&high, 2);
    StartAll(pool);
    EXPECT_EQ(log.WaitFor(3), (std::vector<std::string>{"p2", "p1", "p0"}));
}

// After the top leaves, the last entry sifts down past two equal children: the right one moves up.
TEST(ThreadPoolTest, RightChildWinsATieWhenTheHeapIsRepaired) {
    RunLog log;
    Named top(log, "top"), left(log, "left"), right(log, "right"), last(log, "last");
    CSimpleThreadPool pool(1, 10);
    pool.Submit(&top, 5);
    pool.Submit(&left, 3);
    pool.Submit(&right, 3);
    pool.Submit(&last, 1);
    StartAll(pool);
    EXPECT_EQ(log.WaitFor(4), (std::vector<std::string>{"top", "right", "left", "last"}));
}

TEST(ThreadPoolTest, QueueGrowsBeyondItsCapacity) {
    RunLog log;
    std::vector<Named> tasks;
    for (int i = 0; i < 10; ++i) {
        tasks.emplace_back(log, std::to_string(i));
    }
    CSimpleThreadPool pool(2, 1);
    for (Named& task : tasks) {
        pool.Submit(&task, 0);
    }
    EXPECT_EQ(pool.QueuedCount(), 10u);
    StartAll(pool);
    EXPECT_EQ(log.WaitFor(10).size(), 10u);
}

TEST(ThreadPoolTest, LongRunningLoopTakesOneThreadAndOthersServeTheQueue) {
    RunLog log;
    UntilStopped loop;
    Named first(log, "a"), second(log, "b");
    CSimpleThreadPool pool(2, 10);
    pool.Submit(&loop, 9);
    StartAll(pool);
    pool.Submit(&first, 1);
    pool.Submit(&second, 1);
    EXPECT_EQ(log.WaitFor(2).size(), 2u);
    EXPECT_EQ(loop.started.load(), 1);
}

TEST(ThreadPoolTest, DestroyingThePoolDropsQueuedEntries) {
    RunLog log;
    UntilStopped loop;
    Named dropped(log, "dropped");
    {
        CSimpleThreadPool pool(1, 10);
        pool.Submit(&loop, 9);
        pool.Submit(&dropped, 0);
        StartAll(pool);
        for (int i = 0; i < 3000 && loop.started.load() == 0; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        ASSERT_EQ(loop.started.load(), 1);
    }
    EXPECT_TRUE(log.WaitFor(0).empty());
}

// Counts how often each of a set of tasks ran.
class Counted final : public IRunnable {
public:
    void Run() override { ++runs; }
    std::atomic<int> runs{0};
};

// Holds its worker until Open is called, so a test can fill the queue behind it.
class Gate final : public IRunnable {
public:
    void Run() override {
        std::unique_lock guard(lock);
        entered = true;
        changed.notify_all();
        changed.wait_for(guard, 30s, [&] { return open; });
    }
    void WaitUntilEntered() {
        std::unique_lock guard(lock);
        changed.wait_for(guard, 30s, [&] { return entered; });
    }
    void Open() {
        std::lock_guard guard(lock);
        open = true;
        changed.notify_all();
    }

private:
    std::mutex lock;
    std::condition_variable changed;
    bool entered = false;
    bool open = false;
};

// Bounded wait until every started worker sleeps on the empty queue.
bool WaitUntilAllWaiting(CSimpleThreadPool& pool, std::size_t workers) {
    for (int i = 0; i < 3000; ++i) {
        if (pool.WaitingCount() == workers) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

TEST(ThreadPoolWaitTest, TaskSubmittedWhileEveryWorkerSleepsIsRun) {
    RunLog log;
    Named late(log, "late");
    CSimpleThreadPool pool(4, 10);
    StartAll(pool);
    ASSERT_TRUE(WaitUntilAllWaiting(pool, 4));
    pool.Submit(&late, 0);
    EXPECT_EQ(log.WaitFor(1), (std::vector<std::string>{"late"}));
}

TEST(ThreadPoolWaitTest, TwoHundredTasksSubmittedAtOnceEachRunExactlyOnce) {
    std::vector<Counted> tasks(200);
    CSimpleThreadPool pool(8, 200);
    StartAll(pool);
    ASSERT_TRUE(WaitUntilAllWaiting(pool, 8));
    for (Counted& task : tasks) {
        pool.Submit(&task, 0);
    }
    auto allRan = [&] {
        for (const Counted& task : tasks) {
            if (task.runs.load() == 0) {
                return false;
            }
        }
        return true;
    };
    ASSERT_TRUE(WaitUntil(allRan));
    // Let any worker that might take an entry twice do so before counting.
    ASSERT_TRUE(WaitUntilAllWaiting(pool, 8));
    for (const Counted& task : tasks) {
        EXPECT_EQ(task.runs.load(), 1);
    }
    EXPECT_EQ(pool.QueuedCount(), 0u);
}

TEST(ThreadPoolWaitTest, StopWhileEveryWorkerWaitsEndsEveryWorker) {
    CSimpleThreadPool pool(6, 10);
    StartAll(pool);
    ASSERT_TRUE(WaitUntilAllWaiting(pool, 6));
    std::vector<CThread*> threads;
    for (auto& thread : pool.Threads()) {
        threads.push_back(thread.get());
    }
    auto stopped = std::async(std::launch::async, [&] { pool.Stop(); });
    ASSERT_EQ(stopped.wait_for(30s), std::future_status::ready) << "a waiting worker missed the stop";
    EXPECT_TRUE(pool.Threads().empty());
    EXPECT_EQ(pool.WaitingCount(), 0u);
}

TEST(ThreadPoolWaitTest, PrioritiesOrderWhatQueuedWhileTheWorkerWasBusy) {
    RunLog log;
    Gate gate;
    Named low(log, "p0"), high(log, "p7"), middle(log, "p3"), tie(log, "p3b");
    CSimpleThreadPool pool(1, 10);
    StartAll(pool);
    ASSERT_TRUE(WaitUntilAllWaiting(pool, 1));
    pool.Submit(&gate, 9);
    gate.WaitUntilEntered();
    pool.Submit(&low, 0);
    pool.Submit(&middle, 3);
    pool.Submit(&high, 7);
    pool.Submit(&tie, 3);
    gate.Open();
    std::vector<std::string> order = log.WaitFor(4);
    ASSERT_EQ(order.size(), 4u);
    EXPECT_EQ(order[0], "p7");
    EXPECT_EQ(order[3], "p0");
}

TEST(ThreadPoolWaitTest, StopArrivingWithAnEntryLeavesItQueued) {
    RunLog log;
    Gate gate;
    Named queued(log, "queued");
    CSimpleThreadPool pool(1, 10);
    pool.Submit(&gate, 9);
    StartAll(pool);
    gate.WaitUntilEntered();
    pool.Submit(&queued, 0);
    pool.Threads().front()->RequestStop();
    gate.Open();
    pool.Stop();
    EXPECT_TRUE(log.WaitFor(0).empty());
    EXPECT_EQ(pool.QueuedCount(), 1u);
}

TEST(ThreadPoolTest, WorkerLoopOutsideAPoolThreadIsRefused) {
    CSimpleThreadPool pool(1, 10);
    try {
        pool.Run();
        FAIL() << "no error raised";
    } catch (const ServerError& error) {
        EXPECT_STREQ(error.what(), "Call is not within a CThread context.");
    }
}

TEST(ThreadTest, StartingTwiceStartsOneThread) {
    UntilStopped loop;
    {
        CThread thread(&loop);
        thread.Start();
        thread.Start();
        for (int i = 0; i < 3000 && loop.started.load() == 0; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        thread.Start();
        EXPECT_TRUE(thread.Running());
    }
    EXPECT_EQ(loop.started.load(), 1);
}

TEST(ThreadTest, ContextSlotNamesTheThreadOnlyInsideIt) {
    struct Probe : IRunnable {
        void Run() override { seen = ThreadContextSlot; }
        std::atomic<CThread*> seen{nullptr};
    } probe;
    EXPECT_EQ(ThreadContextSlot, nullptr);
    CThread thread(&probe);
    thread.Start();
    for (int i = 0; i < 3000 && thread.Running(); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(probe.seen.load(), &thread);
}

// A thread started runs its target even when it is destroyed at once, and the destructor returns only
// after the target has left: no thread is still inside a target whose CThread is gone.
TEST(ThreadTest, DestroyingAThreadJustStartedWaitsForIt) {
    UntilStopped loop;
    for (int round = 1; round <= 50; ++round) {
        {
            CThread thread(&loop);
            thread.Start();
        }
        ASSERT_EQ(loop.started.load(), round);
        ASSERT_EQ(loop.finished.load(), round);
    }
}

}  // namespace

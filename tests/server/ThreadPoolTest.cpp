#include "server/CSimpleThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/ServerError.h"

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
    }
    std::atomic<int> started{0};
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

TEST(ThreadTest, DestroyingAThreadJustStartedWaitsForIt) {
    UntilStopped loop;
    for (int round = 0; round < 50; ++round) {
        CThread thread(&loop);
        thread.Start();
    }
    EXPECT_LE(loop.started.load(), 50);
}

}  // namespace

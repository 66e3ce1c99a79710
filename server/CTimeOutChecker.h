#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/completionport/CompletionPort.h"
#include "server/CThread.h"
#include "server/ConnectionOps.h"
#include "server/Runnable.h"
#include "server/ServerCounts.h"
#include "server/ServerTrace.h"

// Sweeps the connection records in an endless cycle and posts a close request for every connection
// silent for longer than the time-out; a worker carries the close out. Runs on one pool thread;
// Check may also be called by tests.
template <class Record>
class CTimeOutChecker final : public IRunnable {
public:
    static constexpr std::uint32_t kMinimumTimeoutSeconds = 5;
    static constexpr std::uint32_t kRecordsPerPause = 10;
    static constexpr auto kPause = std::chrono::milliseconds(20);

    CTimeOutChecker(std::uint32_t timeoutSeconds, const std::vector<std::unique_ptr<Record>>* records,
                    CompletionPort* port)
        : timeoutSeconds(timeoutSeconds > kMinimumTimeoutSeconds ? timeoutSeconds : kMinimumTimeoutSeconds),
          records(records),
          port(port) {}

    void Run() override {
        ServerTrace("Time out checker service started.\n");
        std::size_t position = 0;
        std::uint32_t counter = 0;
        for (CThread* context = CurrentThreadContext(); !context->StopRequested(); context = CurrentThreadContext()) {
            if (position >= records->size()) {
                position = 0;
                counter = 0;
            }
            Check(*(*records)[position]);
            // One pause per ten records spreads a sweep of 100 records over about 100 ms; pausing
            // more often would cost an idle server more than a percent of a core in wake-ups alone.
            if (counter % kRecordsPerPause == 0) {
                std::this_thread::sleep_for(kPause);
            }
            ++position;
            ++counter;
        }
        ServerTrace("Time out checker service stopped.\n");
    }

    // Posts one close request if the record is open and has been silent longer than the time-out.
    // lastActive is cleared first, so a silence is posted once. True if a request went out.
    bool Check(Record& record) {
        std::lock_guard guard(record.lock);
        if (record.inUse.load() == 0) {
            return false;
        }
        // The clock is read after lastActive and under the lock: read earlier, a worker that renews
        // lastActive in the next second would make the connection look a second ahead of the clock.
        std::uint32_t lastActive = record.lastActive.load();
        std::uint32_t now = clock();
        // A lastActive in the future (the clock was set back) wraps to a huge elapsed time: expired.
        std::uint32_t elapsed = lastActive == 0 ? 0 : now - lastActive;
        if (elapsed <= timeoutSeconds) {
            return false;
        }
        record.lastActive.store(0);
        const bool posted = PostEvent(record, kCloseRequest, *port);
        if (posted) serverCounts.closedByTimeout.fetch_add(1, std::memory_order_relaxed);
        return posted;
    }

    // Replaces the system clock (seconds since 1970); for tests, before Run starts.
    void SetClock(std::uint32_t (*secondsClock)()) { clock = secondsClock; }

    std::uint32_t TimeoutSeconds() const { return timeoutSeconds; }

private:
    std::uint32_t timeoutSeconds;
    const std::vector<std::unique_ptr<Record>>* records;  // the table's allList, not owned
    CompletionPort* port;                                 // not owned
    std::uint32_t (*clock)() = NowSeconds;
};

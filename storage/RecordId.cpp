#include "storage/RecordId.h"

#include <atomic>
#include <ctime>

std::uint32_t TickCount()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(milliseconds);
}

std::uint32_t NextRecordId(std::uint32_t tick, std::uint32_t last)
{
    return static_cast<std::int32_t>(tick - last) > 0 ? tick : last + 1;
}

std::int32_t NextRecordId()
{
    static std::atomic<std::uint32_t> last{TickCount() - 1};
    std::uint32_t previous = last.load();
    std::uint32_t next = 0;
    do {
        next = NextRecordId(TickCount(), previous);
    } while (!last.compare_exchange_weak(previous, next));
    return static_cast<std::int32_t>(next);
}

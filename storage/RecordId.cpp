#include "storage/RecordId.h"

#include <atomic>
#include <ctime>

std::uint32_t TickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto milliseconds =
        static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(milliseconds);
}

std::uint32_t NextRecordId(std::uint32_t tick, std::uint32_t last) {
    return static_cast<std::int32_t>(tick - last) > 0 ? tick : last + 1;
}

namespace {

std::atomic<std::uint32_t>& LastRecordId() {
    static std::atomic<std::uint32_t> last{TickCount() - 1};
    return last;
}

}  // namespace

void RecordIdUsed(std::int32_t rid) {
    std::atomic<std::uint32_t>& last = LastRecordId();
    std::uint32_t previous = last.load();
    const auto used = static_cast<std::uint32_t>(rid);
    while (static_cast<std::int32_t>(used - previous) > 0 && !last.compare_exchange_weak(previous, used)) {
    }
}

std::int32_t NextRecordId() {
    std::atomic<std::uint32_t>& last = LastRecordId();
    std::uint32_t previous = last.load();
    std::uint32_t next = 0;
    do {
        next = NextRecordId(TickCount(), previous);
    } while (!last.compare_exchange_weak(previous, next));
    return static_cast<std::int32_t>(next);
}

#include "server/IoRecord.h"

#include <type_traits>

static_assert(std::is_standard_layout_v<IoRecord>, "a completion's overlapped pointer must be its IoRecord");

namespace {

constexpr std::size_t kInitialIoRecords = 100;

}  // namespace

ObjectPool<IoRecord>& ioRecordPool() {
    // Never destroyed: detached server threads may still return records while the process ends.
    static auto* pool = new ObjectPool<IoRecord>(kInitialIoRecords);
    return *pool;
}

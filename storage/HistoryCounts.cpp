#include "storage/HistoryCounts.h"

#include <sql.h>

#include "storage/sql/SQLDatabase.h"

HistoryCounts historyCounts;

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}
}  // namespace

void HistoryCounts::Write(bool wasStored, std::chrono::steady_clock::time_point started) {
    const auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started).count();
    const double seconds = static_cast<double>(micros) / 1e6;
    std::size_t bucket = 0;
    while (bucket < kBucketBounds.size() && seconds > kBucketBounds[bucket]) ++bucket;
    buckets[bucket].fetch_add(1, kRelaxed);
    totalMicroseconds.fetch_add(static_cast<std::uint64_t>(micros), kRelaxed);
    (wasStored ? stored : failed).fetch_add(1, kRelaxed);
    (wasStored ? lastStoredMs : lastFailedMs).store(NowMs(), kRelaxed);
    databaseUp.store(wasStored, kRelaxed);
}

void HistoryCounts::Open(bool opened) { databaseUp.store(opened, kRelaxed); }

std::string DatabaseEngineName(const CSQLDatabase& database) {
    if (!database.connected.load() || database.dbc == SQL_NULL_HDBC) return {};
    SQLCHAR name[64] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(database.dbc, SQL_DBMS_NAME, name, sizeof name, &length))) return {};
    return reinterpret_cast<const char*>(name);
}

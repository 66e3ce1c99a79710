#include "storage/SpoolRecovery.h"

#include <sqlite3.h>

#include <ctime>
#include <fstream>

#include "storage/SpoolFile.h"
#include "storage/SpoolFileSystem.h"
#include "storage/SpoolPages.h"
#include "storage/SpoolRows.h"

namespace fs = std::filesystem;

namespace {

// A read that fails is retried this far past the last good reading, the distance doubling with each
// failure, and given up after this many failures in a row: a damaged page hides its readings and
// may hide the way to those after it.
constexpr int kMostFailuresInARow = 48;
constexpr std::size_t kWindow = 256;
// SQLite's write-ahead log header: the page size is the big-endian number at byte 8.
constexpr std::size_t kLogHeaderSize = 32;
constexpr std::int64_t kDefaultPageSize = 4096;
constexpr std::size_t kLongestRtuTime = 31;
constexpr std::int64_t kEmptySpoolBytes = 1 << 20;
constexpr std::size_t kLocalTimeSize = 19;  // "YYYY-MM-DD HH:MM:SS"

fs::path LogOf(const fs::path& file) { return file.string() + "-wal"; }

std::uintmax_t SizeOf(const fs::path& file) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(file, error);
    return error ? 0 : size;
}

// "<spool>.<what>-YYYYMMDD-HHMMSS", with a number after it when that name is taken.
fs::path AsideName(const fs::path& spool, const char* what) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = spool.string() + "." + what + "-" + stamp;
    fs::path name = base;
    for (int n = 2; fs::exists(name) || fs::exists(LogOf(name)); ++n) name = base + "-" + std::to_string(n);
    return name;
}

std::int64_t LogPageSize(const fs::path& log) {
    unsigned char header[kLogHeaderSize] = {};
    std::ifstream(log, std::ios::binary).read(reinterpret_cast<char*>(header), sizeof header);
    const std::int64_t size = (std::int64_t{header[8]} << 24) | (header[9] << 16) | (header[10] << 8) | header[11];
    return size >= 512 && size <= 65536 && (size & (size - 1)) == 0 ? size : kDefaultPageSize;
}

bool AllOf(const std::string& text, const char* allowed) {
    return !text.empty() && text.find_first_not_of(allowed) == std::string::npos;
}

bool LocalTime(const std::string& text) { return text.size() <= kLocalTimeSize && AllOf(text, "0123456789-: "); }

// A reading read from a damaged file goes into SQL text when it is forwarded: only what the
// recorder itself writes passes (a channel name, a number, a time text that fits).
bool Plausible(const SpooledReading& spooled) {
    const HistoryReading& reading = spooled.reading;
    return reading.unitId > 0 && AllOf(reading.channelName, "ABCDEFGHIJKLMNOPQRSTUVWXYZ_") &&
           reading.channelName.size() <= 16 && reading.channelNumber >= -1 &&
           (reading.valueText.empty() || AllOf(reading.valueText, "-.0123456789")) &&
           reading.rtuTime.size() <= kLongestRtuTime && LocalTime(spooled.channel.localTime) &&
           LocalTime(spooled.fullRcds.localTime) && (spooled.channel.pending || spooled.fullRcds.pending);
}

std::int64_t SalvageTable(sqlite3* db, const char* table, const std::function<void(SpooledReading&)>& take) {
    const std::string query = std::string("SELECT ") + spool_rows::kColumns + " FROM " + table +
                              " WHERE seq >= ? ORDER BY seq LIMIT " + std::to_string(kWindow);
    sqlite3_stmt* select = nullptr;
    if (sqlite3_prepare_v2(db, query.c_str(), -1, &select, nullptr) != SQLITE_OK) return 0;
    std::int64_t taken = 0, next = 0, jump = 1;
    for (int failures = 0; failures < kMostFailuresInARow;) {
        sqlite3_bind_int64(select, 1, next);
        std::size_t rows = 0;
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
            SpooledReading spooled = spool_rows::ReadReading(select);
            next = spooled.sequence + 1;
            ++rows;
            if (!Plausible(spooled)) continue;
            take(spooled);
            ++taken;
        }
        sqlite3_reset(select);
        if (rows > 0) {
            failures = 0;
            jump = 1;
        }
        if (rc == SQLITE_DONE && rows < kWindow) break;
        if (rc == SQLITE_DONE) continue;
        ++failures;
        next += jump;
        jump *= 2;
    }
    sqlite3_finalize(select);
    return taken;
}

}  // namespace

namespace spool_recovery {

// The log holds the pages written since the file was last checkpointed, which need not include the
// first page (the schema): the log goes beside a new, empty spool file, whose first pages are laid
// out as every spool file's are, so that the log's pages read as they did in their own file.
fs::path KeepOrphanedLogAside(const fs::path& spool) {
    if (SizeOf(spool) > 0 || SizeOf(LogOf(spool)) == 0) return {};
    const fs::path aside = AsideName(spool, "orphan");
    std::error_code error;
    {
        SpoolFile empty;
        std::string why;
        if (empty.Open(aside, kEmptySpoolBytes, why) != SpoolFile::OpenResult::Opened) fs::remove(aside, error);
    }
    if (SizeOf(aside) == 0) {
        // Without a file of its own SQLite would ignore the log and delete it.
        std::ofstream(aside, std::ios::binary)
            << std::string(static_cast<std::size_t>(LogPageSize(LogOf(spool))), '\0');
    }
    fs::rename(LogOf(spool), LogOf(aside), error);
    if (error) return {};
    fs::remove(spool.string() + "-shm", error);
    return aside;
}

fs::path KeepDamagedAside(const fs::path& spool) {
    const fs::path aside = AsideName(spool, "damaged");
    std::error_code error;
    fs::rename(spool, aside, error);
    if (error) return {};
    // An empty log holds nothing; one with frames belongs to the file.
    if (SizeOf(LogOf(spool)) > 0)
        fs::rename(LogOf(spool), LogOf(aside), error);
    else
        fs::remove(LogOf(spool), error);
    fs::remove(spool.string() + "-shm", error);
    return aside;
}

std::int64_t Salvage(const fs::path& aside, const std::function<void(SpooledReading&)>& take) {
    sqlite3* db = nullptr;
    std::int64_t taken = 0;
    if (sqlite3_open_v2(aside.c_str(), &db, SQLITE_OPEN_READONLY, spool_files::Name()) == SQLITE_OK) {
        taken += SalvageTable(db, "readings", take);
        taken += SalvageTable(db, "aside", take);
    }
    sqlite3_close_v2(db);
    // Nothing reachable through the tables (their upper pages damaged, or not in a log whose file
    // has gone): the pages that hold readings may still be there.
    if (taken == 0)
        spool_pages::Scan(aside, [&](SpooledReading& spooled) {
            if (!Plausible(spooled)) return;
            take(spooled);
            ++taken;
        });
    // A reader of a file in WAL mode makes an index and, where none was, an empty log: neither
    // holds anything of the file.
    std::error_code error;
    fs::remove(aside.string() + "-shm", error);
    if (fs::exists(LogOf(aside)) && SizeOf(LogOf(aside)) == 0) fs::remove(LogOf(aside), error);
    return taken;
}

}  // namespace spool_recovery

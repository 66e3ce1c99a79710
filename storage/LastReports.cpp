#include "storage/LastReports.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "core/RtuTable.h"
#include "storage/sql/DatabaseMutex.h"
#include "storage/sql/SQLBase.h"
#include "storage/sql/SQLDatabase.h"
#include "storage/sql/SQLException.h"
#include "storage/sql/SQLRecordset.h"

namespace {

// Each channel's newest LTIME, the channels found one after another in the index on (UID, RDATACH,
// LTIME): a MAX over the unit's rows would read all of them.
std::string NewestPerChannel(const std::string& uid) {
    const std::string unit = "UID = '" + uid + "'";
    return "WITH RECURSIVE C(CH) AS (SELECT MIN(RDATACH) FROM FULLRCDS WHERE " + unit +
           " UNION ALL SELECT (SELECT MIN(RDATACH) FROM FULLRCDS WHERE " + unit +
           " AND RDATACH > C.CH) FROM C WHERE C.CH IS NOT NULL) "
           "SELECT (SELECT MAX(LTIME) FROM FULLRCDS WHERE " +
           unit + " AND RDATACH = C.CH) FROM C WHERE C.CH IS NOT NULL";
}

// "YYYY-MM-DD HH:MM:SS" in the local zone; 0 for any other text.
std::int64_t LocalTextMs(const std::string& text) {
    std::tm fields{};
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &fields.tm_year, &fields.tm_mon, &fields.tm_mday,
                    &fields.tm_hour, &fields.tm_min, &fields.tm_sec, &consumed) != 6 ||
        static_cast<std::size_t>(consumed) != text.size())
        return 0;
    fields.tm_year -= 1900;
    fields.tm_mon -= 1;
    fields.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&fields);
    return seconds <= 0 ? 0 : std::int64_t{seconds} * 1000;
}

bool IsUnitId(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::int64_t NewestReadingMs(const CSQLDatabase& database, const std::string& uidText) {
    std::lock_guard<std::recursive_mutex> lock(DatabaseMutex);
    if (!database.connected) return -1;
    if (!IsUnitId(uidText)) return 0;
    std::string newest;
    try {
        CSQLRecordset recordset(database);
        recordset.SetSQL(NewestPerChannel(uidText));
        if (!recordset.Open()) return -1;
        while (recordset.MoveNext()) newest = std::max(newest, recordset.GetField(1, kValueText));
    } catch (const CSQLException&) {
        return -1;
    }
    return LocalTextMs(newest);
}

void RestoreLastReports(const CSQLDatabase& database, RtuTable& table) {
    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    for (std::size_t i = 0; i < RtuTable::kSlots; ++i) {
        const std::string uid = table.Slot(i).Read([](const RtuRecord& record) { return std::string(record.uidText); });
        if (uid.empty() || table.Activity().Read(i).lastReportMs != 0) continue;
        const std::int64_t newest = NewestReadingMs(database, uid);
        // A database that does not answer would make each unit wait for the driver's time-out; the
        // next read of the registry tries again.
        if (newest < 0) return;
        // A time ahead of the clock (the zone or the clock changed since) counts as now.
        if (newest > 0) table.Activity().Restore(i, std::min(newest, now));
    }
}

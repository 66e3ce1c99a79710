#include "storage/ReadingsView.h"

#include <mutex>
#include <string>
#include <vector>

#include "storage/EventLog.h"
#include "storage/HistoryCounts.h"
#include "storage/ZoneSpans.h"
#include "storage/sql/DatabaseMutex.h"
#include "storage/sql/SQLBase.h"
#include "storage/sql/SQLDatabase.h"
#include "storage/sql/SQLException.h"
#include "storage/sql/SQLRecordset.h"

namespace {

// SQLSTATE of a CREATE on a name that exists.
constexpr const char* kExists = "42S01";

// The index is built once, over whatever FULLRCDS holds then: ten million rows take about a minute
// (docs/sql.md), far past the few seconds the driver otherwise waits for an answer. The history
// writers meanwhile find the database busy and keep their readings in the spool.
constexpr unsigned kIndexBuildSeconds = 3600;

// The zone's spans are taken from 1970 to 2100: LTIME holds no earlier time, and the rules of a
// zone past 2100 are a guess anyway.
constexpr std::time_t kSpansFrom = 0;
constexpr std::time_t kSpansTo = 4102444800;

constexpr const char* kIndexCreation = "CREATE INDEX FULLRCDS_CHANNEL_TIME ON FULLRCDS (UID, RDATACH, LTIME)";
constexpr const char* kZoneCreation = "CREATE TABLE LTIME_ZONE(FROM_LTIME TEXT(32) PRIMARY KEY, UTC_OFFSET TEXT(16))";

// The offset of a row's LTIME: the span with the latest start at or before it (an index lookup
// on the primary key). Written once for both engines; F is FULLRCDS.
constexpr const char* kOffsetOfRow =
    "(SELECT Z.UTC_OFFSET FROM LTIME_ZONE Z WHERE Z.FROM_LTIME <= F.LTIME ORDER BY Z.FROM_LTIME DESC LIMIT 1)";

// SQLite has no time type: TS is ISO 8601 text with the offset, which its date functions read.
std::string SqliteView() {
    return std::string("CREATE VIEW READINGS AS SELECT F.UID AS UID, F.RDATACH AS CHANNEL, ") +
           "replace(F.LTIME, ' ', 'T') || " + kOffsetOfRow +
           " AS TS, CAST(F.RVALUE AS REAL) AS VALUE, F.RTIME AS RTU_TIME FROM FULLRCDS F";
}

// PostgreSQL reads "YYYY-MM-DD HH:MM:SS+05:30" as that instant whatever the session's zone. The
// driver turns FLOAT into double precision.
std::string PostgresView() {
    return std::string("CREATE VIEW READINGS AS SELECT F.UID AS UID, F.RDATACH AS CHANNEL, ") + "CAST(F.LTIME || " +
           kOffsetOfRow +
           " AS timestamptz) AS TS, CAST(F.RVALUE AS FLOAT) AS VALUE, F.RTIME AS RTU_TIME FROM FULLRCDS F";
}

// Runs a creation; a name that exists already is what a later start finds, and no failure.
void Create(CSQLDatabase& database, const std::string& creation) {
    try {
        database.Execute(creation);
    } catch (const CSQLException& error) {
        if (error.sqlState != kExists) throw;
    }
}

std::vector<ZoneSpan> StoredSpans(CSQLDatabase& database) {
    std::vector<ZoneSpan> spans;
    CSQLRecordset recordset(database);
    recordset.SetSQL("SELECT FROM_LTIME, UTC_OFFSET FROM LTIME_ZONE ORDER BY FROM_LTIME");
    if (!recordset.Open()) return spans;
    while (recordset.MoveNext()) {
        ZoneSpan span;
        span.fromLtime = recordset.GetField(1, kValueText);
        span.utcOffset = recordset.GetField(2, kValueText);
        spans.push_back(std::move(span));
    }
    return spans;
}

// One statement, so that a start cut short never leaves half of them.
void InsertSpans(CSQLDatabase& database, const std::vector<ZoneSpan>& spans) {
    std::string insert = "INSERT INTO LTIME_ZONE(FROM_LTIME, UTC_OFFSET) VALUES ";
    for (const ZoneSpan& span : spans) {
        if (&span != &spans.front()) insert += ", ";
        insert += "('" + span.fromLtime + "', '" + span.utcOffset + "')";
    }
    database.Execute(insert);
}

void CreateIndex(CSQLDatabase& database) {
    struct Patient {
        CSQLDatabase& database;
        ~Patient() { database.SetQueryTimeout(0); }
    } patient{database};
    database.SetQueryTimeout(kIndexBuildSeconds);
    Create(database, kIndexCreation);
}

void SyncZoneTable(CSQLDatabase& database, std::time_t now) {
    const std::vector<ZoneSpan> zone = LocalZoneSpans(kSpansFrom, kSpansTo);
    const std::vector<ZoneSpan> stored = StoredSpans(database);
    if (stored.empty()) {
        InsertSpans(database, zone);
        return;
    }
    std::tm local{};
    localtime_r(&now, &local);
    const std::string nowText = LtimeText(now, local.tm_gmtoff);
    const std::vector<ZoneSpan> wanted = SpansFrom(zone, nowText);
    if (SpansFrom(stored, nowText) == wanted) return;
    // Rows written from now on get the new offsets. A row of the last run whose LTIME lies ahead of
    // now (the zone moved west) is read at the new offset too: its text alone cannot say which run wrote it.
    database.Execute("DELETE FROM LTIME_ZONE WHERE FROM_LTIME >= '" + nowText + "'");
    InsertSpans(database, wanted);
    WriteEventLog(("LTIME from " + nowText + " on is read at UTC offset " + wanted.front().utcOffset +
                   ": the local time zone has changed\n")
                      .c_str());
}

}  // namespace

void CreateReadingsView(CSQLDatabase& database) {
    std::lock_guard<std::recursive_mutex> lock(DatabaseMutex);
    if (!database.connected) return;
    try {
        CreateIndex(database);
        Create(database, kZoneCreation);
        SyncZoneTable(database, std::time(nullptr));
        Create(database, DatabaseEngineName(database) == "PostgreSQL" ? PostgresView() : SqliteView());
    } catch (const CSQLException& error) {
        WriteEventLog(("READINGS view not made: " + error.message + "\n").c_str());
    }
}

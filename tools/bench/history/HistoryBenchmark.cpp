// Readings per second from UpdateRegister to committed rows (telemetry core -> history recorder ->
// ODBC layer -> RTUDB driver), against the raw SQLite ceiling for the same work: two single-row
// INSERTs per reading (channel table and FULLRCDS), each committed, WAL with synchronous=FULL, both
// files in the same directory. Alternating blocks share disk and cache conditions.
//
//   telvorn-bench-history [--readings N] [--dir DIRECTORY] [--spool] [--readings-view]
//   telvorn-bench-history --postgres "SERVER=..;PORT=..;DATABASE=..;SCHEMA=..;USER=..;PWD=.." [--unit U]
//                         [--readings N] [--dir DIRECTORY] [--readings-view]
//
// With --postgres the data source names that server instead of a SQLite file, and the ceiling is
// the same two single-row INSERTs per reading sent by libpq itself, each committed (what pgbench
// does with one client), in alternating blocks as for SQLite. U picks the unit whose channel
// tables are written, so that several of these processes, like several Telvorn servers, can write
// into one schema at once; --no-ceiling times the stack alone, for such runs. --spool gives the
// recorder its spool, as the programs do (the database stays up, so nothing goes there).
// --readings-view makes the READINGS view and the FULLRCDS index before the readings, as a start
// of the programs does, and says how long that took (the index is built over the rows there).
//
// The ODBC files live in a scratch directory (ODBCSYSINI, ODBCINI, HOME); /etc is never touched.

#include <libpq-fe.h>
#include <odbcinst.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "core/TelemetryCore.h"
#include "platform/profile/ProfileSettings.h"
#include "storage/HistoryRecorder.h"
#include "storage/OdbcInstaller.h"
#include "storage/ReadingsView.h"
#include "storage/Schema.h"
#include "storage/sql/SQLDatabase.h"
#include "storage/sql/SQLException.h"
#include "storage/sql/SQLRecordset.h"
#include "tools/bench/DurableSqlite.h"
#include "tools/bench/NullSinks.h"
#include "tools/bench/ScratchDataSource.h"

namespace {

constexpr int kBlock = 40;
constexpr const char* kRtuTime = "20140411123000";

// Value of KEY in "KEY=value;KEY=value".
std::string SettingValue(const std::string& settings, const std::string& key) {
    const std::string wanted = key + "=";
    for (std::size_t start = 0; start < settings.size();) {
        std::size_t end = settings.find(';', start);
        if (end == std::string::npos) end = settings.size();
        if (settings.compare(start, wanted.size(), wanted) == 0)
            return settings.substr(start + wanted.size(), end - start - wanted.size());
        start = end + 1;
    }
    return {};
}

bool RegisterBenchSource(const std::filesystem::path& scratch, const std::string& postgres) {
    if (postgres.empty())
        return RegisterScratchSource(scratch, "DSN=HISTORYBENCH;DBQ=" + (scratch / "history.db").string());
    std::string attributes = "DSN=HISTORYBENCH;ENGINE=postgresql";
    for (const char* key : {"SERVER", "PORT", "DATABASE", "SCHEMA"})
        attributes += std::string(";") + key + "=" + SettingValue(postgres, key);
    return RegisterScratchSource(scratch, attributes);
}

// Raw SQLite with the driver's durability and the same two tables.
sqlite3* OpenCeiling(const std::filesystem::path& file) {
    sqlite3* raw = OpenDurableSqlite(file);
    if (raw != nullptr) sqlite3_exec(raw, kFullRcdsCreation, nullptr, nullptr, nullptr);
    return raw;
}

// One reading's two committed rows, composed as the recorder composes them.
bool CeilingReading(sqlite3* raw, int rid) {
    char channel[512];
    char full[512];
    std::snprintf(channel, sizeof channel,
                  "INSERT INTO \"12_AIN0\"(RID, RVALUE, LTIME, RTIME, RTYPE) VALUES (%d, %.2f, '%s', '%s', %d)",
                  2 * rid, rid * 0.1, "2014-04-11 12:30:00", kRtuTime, 0);
    std::snprintf(full, sizeof full,
                  "INSERT INTO FULLRCDS(RID, UID, RDATACH, RVALUE, RSTATE, RGPS, RTIME, LTIME) VALUES "
                  "(%d, '%d', '%s%d', '%.2f', %d, '%s', '%s', '%s')",
                  2 * rid + 1, 12, "AIN", 0, rid * 0.1, 0, "", kRtuTime, "2014-04-11 12:30:00");
    return sqlite3_exec(raw, channel, nullptr, nullptr, nullptr) == SQLITE_OK &&
           sqlite3_exec(raw, full, nullptr, nullptr, nullptr) == SQLITE_OK;
}

double Seconds(int first, int count, const std::function<void(int)>& reading) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = first; i < first + count; ++i) reading(i);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The server's ceiling: one connection by libpq, two committed single-row INSERTs a reading into
// tables shaped like the stack's, in the same schema.
PGconn* OpenServerCeiling(const std::string& settings, const std::string& unit) {
    const std::string info = "host='" + SettingValue(settings, "SERVER") + "' port='" + SettingValue(settings, "PORT") +
                             "' dbname='" + SettingValue(settings, "DATABASE") + "' user='" +
                             SettingValue(settings, "USER") + "' password='" + SettingValue(settings, "PWD") + "'";
    PGconn* connection = PQconnectdb(info.c_str());
    if (PQstatus(connection) != CONNECTION_OK) {
        std::fprintf(stderr, "ceiling: %s", PQerrorMessage(connection));
        PQfinish(connection);
        return nullptr;
    }
    const std::string schema = SettingValue(settings, "SCHEMA");
    const std::string setup = "SET search_path TO " + schema + "; CREATE TABLE IF NOT EXISTS ceiling_" + unit +
                              "_ain0 (LIKE \"" + unit + "_ain0\" INCLUDING ALL); CREATE TABLE IF NOT EXISTS ceiling_" +
                              unit + "_full (LIKE fullrcds INCLUDING ALL)";
    PQclear(PQexec(connection, setup.c_str()));
    return connection;
}

bool ServerCeilingReading(PGconn* connection, const std::string& unit, int rid) {
    char channel[512];
    char full[512];
    std::snprintf(channel, sizeof channel,
                  "INSERT INTO ceiling_%s_ain0(rid, rvalue, ltime, rtime, rtype) VALUES (%d, %.2f, '%s', '%s', %d)",
                  unit.c_str(), rid, rid * 0.1, "2014-04-11 12:30:00", kRtuTime, 0);
    std::snprintf(full, sizeof full,
                  "INSERT INTO ceiling_%s_full(rid, uid, rdatach, rvalue, rstate, rgps, rtime, ltime) VALUES "
                  "(%d, '%s', '%s%d', '%.2f', %d, '%s', '%s', '%s')",
                  unit.c_str(), rid, unit.c_str(), "AIN", 0, rid * 0.1, 0, "", kRtuTime, "2014-04-11 12:30:00");
    bool stored = true;
    for (const char* statement : {channel, full}) {
        PGresult* result = PQexec(connection, statement);
        stored = stored && PQresultStatus(result) == PGRES_COMMAND_OK;
        PQclear(result);
    }
    return stored;
}

std::string StoredRows(const CSQLDatabase& database, const std::string& where) {
    CSQLRecordset count(database);
    count.SetSQL("SELECT COUNT(*) FROM FULLRCDS" + where);
    return count.Open() && count.MoveNext() ? count.GetField(1, kValueText) : "?";
}

// The stack against the server's ceiling in alternating blocks; the readings sent through the stack.
int CompareWithServerCeiling(const std::string& settings, const std::string& unit, int readings,
                             const std::function<void(int)>& throughCore) {
    PGconn* connection = OpenServerCeiling(settings, unit);
    if (connection == nullptr) return 0;
    auto ceiling = [&](int i) {
        if (!ServerCeilingReading(connection, unit, i)) std::fprintf(stderr, "ceiling insert %d failed\n", i);
    };
    double coreSeconds = 0;
    double ceilingSeconds = 0;
    int done = 0;
    for (int round = 0; done < readings; ++round, done += kBlock) {
        if (round % 2 == 0) ceilingSeconds += Seconds(done, kBlock, ceiling);
        coreSeconds += Seconds(done, kBlock, throughCore);
        if (round % 2 == 1) ceilingSeconds += Seconds(done, kBlock, ceiling);
    }
    std::printf("libpq ceiling (2 INSERTs/reading):  %.0f readings/s\n", done / ceilingSeconds);
    std::printf("UpdateRegister -> committed rows:   %.0f readings/s (alternating with the ceiling)\n",
                done / coreSeconds);
    std::printf("ratio (ours / ceiling):             %.2f\n", ceilingSeconds / coreSeconds);
    PQfinish(connection);
    return done;
}

// The server side: readings through the whole stack, timed from the first to the last, and (unless
// other writers run at the same time) against the ceiling.
int TimeServer(CSQLDatabase& database, const std::filesystem::path& scratch, int readings, const std::string& unit,
               const std::function<void(int)>& throughCore, const std::string& settings, bool withCeiling) {
    Seconds(-kBlock, kBlock, throughCore);
    const int compared = withCeiling ? CompareWithServerCeiling(settings, unit, readings, throughCore) : 0;
    const auto start = std::chrono::system_clock::now();
    const double seconds = Seconds(0, readings, throughCore);
    const auto startMs = std::chrono::duration_cast<std::chrono::milliseconds>(start.time_since_epoch()).count();
    std::printf("readings:                           %d (each two single-row INSERTs, each committed)\n", readings);
    std::printf("UpdateRegister -> committed rows:   %.0f readings/s\n", readings / seconds);
    std::printf("timed from / for:                   %lld ms / %.3f s\n", static_cast<long long>(startMs), seconds);
    std::printf("rows in FULLRCDS of this unit:      %s of %d readings\n",
                StoredRows(database, " WHERE UID = '" + unit + "'").c_str(), kBlock + compared + readings);
    database.Close();
    std::filesystem::remove_all(scratch);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int readings = 1000;
    int unit = 12;
    std::string postgres;
    bool withCeiling = true;
    bool withSpool = false;
    bool withView = false;
    std::filesystem::path dir = std::filesystem::current_path();
    for (int i = 1; i < argc; ++i) {
        const bool valued = i + 1 < argc;
        if (std::strcmp(argv[i], "--no-ceiling") == 0)
            withCeiling = false;
        else if (std::strcmp(argv[i], "--spool") == 0)
            withSpool = true;
        else if (std::strcmp(argv[i], "--readings-view") == 0)
            withView = true;
        else if (valued && std::strcmp(argv[i], "--readings") == 0)
            readings = std::max(kBlock, std::atoi(argv[++i]));
        else if (valued && std::strcmp(argv[i], "--dir") == 0)
            dir = argv[++i];
        else if (valued && std::strcmp(argv[i], "--postgres") == 0)
            postgres = argv[++i];
        else if (valued && std::strcmp(argv[i], "--unit") == 0)
            unit = std::atoi(argv[++i]);
    }
    std::string pattern = (dir / "telvorn-bench-history-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path scratch = pattern;
    // Before the first ODBC handle exists: the driver manager caches where its files are.
    const bool registered = RegisterBenchSource(scratch, postgres);
    CSQLDatabase database;
    if (!registered ||
        !database.Connect("HISTORYBENCH", SettingValue(postgres, "USER"), SettingValue(postgres, "PWD"))) {
        std::fprintf(stderr, "set-up failed\n");
        return 1;
    }
    const std::string unitText = std::to_string(unit);
    try {
        database.Execute(kFullRcdsCreation);
    } catch (const CSQLException&) {
        // Another process made it already.
    }
    try {
        CreateChannelTables(database, unitText);
    } catch (const CSQLException&) {
        // Made by an earlier run.
    }
    if (withView) {
        const auto start = std::chrono::steady_clock::now();
        CreateReadingsView(database);
        std::printf("READINGS and its index made in:     %.1f s\n",
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }

    RtuTable table;
    table.Slot(0).SetUidText(unitText);
    NullRawDataList list;
    NullStatePage page;
    CHistoryRecorder recorder(&database);
    std::string spoolMessage;
    if (withSpool && recorder.OpenSpool(scratch / "spool.db", {kDefaultSpoolLimitBytes, kDefaultSpoolMemoryBytes},
                                        spoolMessage) != ReadingSpool::OpenResult::Opened)
        return 1;
    TelemetryCore core;
    core.SetRtuTable(table);
    core.SetRawDataList(&list);
    core.SetStatePage(&page);
    core.SetHistoryWriter(&recorder);

    // AIN0: register 1001, the value x 10 as the decoder passes it.
    auto throughCore = [&core, unit](int i) { core.UpdateRegister(unit, 1001, i, kRtuTime, 0); };
    if (!postgres.empty()) return TimeServer(database, scratch, readings, unitText, throughCore, postgres, withCeiling);
    sqlite3* raw = OpenCeiling(scratch / "ceiling.db");
    if (raw == nullptr) {
        std::fprintf(stderr, "set-up failed\n");
        return 1;
    }
    auto ceiling = [raw](int i) {
        if (!CeilingReading(raw, i)) std::fprintf(stderr, "ceiling insert %d failed\n", i);
    };
    Seconds(-kBlock, kBlock, ceiling);
    Seconds(-kBlock, kBlock, throughCore);
    double coreSeconds = 0;
    double ceilingSeconds = 0;
    int done = 0;
    for (int round = 0; done < readings; ++round, done += kBlock) {
        if (round % 2 == 0) ceilingSeconds += Seconds(done, kBlock, ceiling);
        coreSeconds += Seconds(done, kBlock, throughCore);
        if (round % 2 == 1) ceilingSeconds += Seconds(done, kBlock, ceiling);
    }
    const std::string stored = StoredRows(database, "");
    std::printf("directory:                          %s\n", scratch.c_str());
    std::printf("readings per side:                  %d (each two single-row INSERTs, each committed)\n", done);
    std::printf("raw SQLite ceiling (WAL, sync=FULL): %.0f readings/s\n", done / ceilingSeconds);
    std::printf("UpdateRegister -> committed rows:   %.0f readings/s\n", done / coreSeconds);
    std::printf("ratio (ours / ceiling):             %.2f\n", ceilingSeconds / coreSeconds);
    std::printf("rows in FULLRCDS:                   %s of %d readings\n", stored.c_str(), done + kBlock);
    database.Close();
    sqlite3_close(raw);
    std::filesystem::remove_all(scratch);
    return 0;
}

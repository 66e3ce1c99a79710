// Readings per second from UpdateRegister to committed rows (telemetry core -> history recorder ->
// ODBC layer -> RTUDB driver), against the raw SQLite ceiling for the same work: two single-row
// INSERTs per reading (channel table and FULLRCDS), each committed, WAL with synchronous=FULL, both
// files in the same directory. Alternating blocks share disk and cache conditions.
//
//   telvorn-bench-history [--readings N] [--dir DIRECTORY]
//
// The ODBC files live in a scratch directory (ODBCSYSINI, ODBCINI, HOME); /etc is never touched.

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
#include "storage/HistoryRecorder.h"
#include "storage/OdbcInstaller.h"
#include "storage/Schema.h"
#include "storage/sql/SQLDatabase.h"
#include "storage/sql/SQLRecordset.h"
#include "tools/bench/DurableSqlite.h"
#include "tools/bench/NullSinks.h"

namespace {

constexpr int kBlock = 40;
constexpr const char* kRtuTime = "20140411123000";

bool RegisterScratchSource(const std::filesystem::path& scratch)
{
    const std::filesystem::path etc = scratch / "etc";
    std::filesystem::create_directories(etc);
    std::ofstream(etc / "odbcinst.ini") << "[" << kDriverName << "]\nDriver=" << TELVORN_RTUDB_DRIVER
                                        << "\nSetup=" << TELVORN_RTUDB_DRIVER << "\n";
    std::ofstream(etc / "odbc.ini").flush();
    setenv("ODBCSYSINI", etc.c_str(), 1);
    setenv("ODBCINI", (scratch / "user-odbc.ini").c_str(), 1);
    setenv("HOME", scratch.c_str(), 1);
    std::string attributes = "DSN=HISTORYBENCH;DBQ=" + (scratch / "history.db").string() + ";;";
    for (char& c : attributes)
        if (c == ';') c = '\0';
    return SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, kDriverName, attributes.c_str());
}

// Raw SQLite with the driver's durability and the same two tables.
sqlite3* OpenCeiling(const std::filesystem::path& file)
{
    sqlite3* raw = OpenDurableSqlite(file);
    if (raw != nullptr) sqlite3_exec(raw, kFullRcdsCreation, nullptr, nullptr, nullptr);
    return raw;
}

// One reading's two committed rows, composed as the recorder composes them.
bool CeilingReading(sqlite3* raw, int rid)
{
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

double Seconds(int first, int count, const std::function<void(int)>& reading)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = first; i < first + count; ++i) reading(i);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    int readings = 1000;
    std::filesystem::path dir = std::filesystem::current_path();
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--readings") == 0) readings = std::max(kBlock, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--dir") == 0) dir = argv[i + 1];
    }
    std::string pattern = (dir / "telvorn-bench-history-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path scratch = pattern;
    // Before the first ODBC handle exists: the driver manager caches where its files are.
    const bool registered = RegisterScratchSource(scratch);
    sqlite3* raw = OpenCeiling(scratch / "ceiling.db");
    CSQLDatabase database;
    if (!registered || raw == nullptr || !database.Connect("HISTORYBENCH", "", "")) {
        std::fprintf(stderr, "set-up failed\n");
        return 1;
    }
    database.Execute(kFullRcdsCreation);
    CreateChannelTables(database, "12");

    RtuTable table;
    table.Slot(0).SetUidText("12");
    NullRawDataList list;
    NullStatePage page;
    CHistoryRecorder recorder(&database);
    TelemetryCore core;
    core.SetRtuTable(table);
    core.SetRawDataList(&list);
    core.SetStatePage(&page);
    core.SetHistoryWriter(&recorder);

    // AIN0: register 1001, the value x 10 as the decoder passes it.
    auto throughCore = [&core](int i) { core.UpdateRegister(12, 1001, i, kRtuTime, 0); };
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
    CSQLRecordset count(database);
    count.SetSQL("SELECT COUNT(*) FROM FULLRCDS");
    const std::string stored = count.Open() && count.MoveNext() ? count.GetField(1, kValueText) : "?";
    std::printf("directory:                          %s\n", scratch.c_str());
    std::printf("readings per side:                  %d (each two single-row INSERTs, each committed)\n", done);
    std::printf("raw SQLite ceiling (WAL, sync=FULL): %.0f readings/s\n", done / ceilingSeconds);
    std::printf("UpdateRegister -> committed rows:   %.0f readings/s\n", done / coreSeconds);
    std::printf("ratio (ours / ceiling):             %.2f\n", ceilingSeconds / coreSeconds);
    std::printf("rows in FULLRCDS:                   %s of %d readings\n", stored.c_str(), done + kBlock);
    count.FreeStatement(SQL_DROP);
    database.Close();
    sqlite3_close(raw);
    std::filesystem::remove_all(scratch);
    return 0;
}

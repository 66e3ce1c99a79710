// Single-row INSERTs per second through CSQLDatabase::Execute (unixODBC and the RTUDB driver)
// against SQLite called directly with the same durability (WAL, synchronous=FULL), both files in
// the same directory, in alternating blocks so that disk and cache conditions are shared.
//
//   telvorn-bench-db [--rows N] [--dir DIRECTORY]
//
// The ODBC set-up lives in a scratch directory of its own (ODBCSYSINI, ODBCINI, HOME); /etc is
// never touched. The history writers' statement text is used for both sides.

#include "storage/sql/DatabaseMutex.h"
#include "storage/sql/SQLDatabase.h"
#include "storage/sql/SQLException.h"
#include "tools/bench/DurableSqlite.h"

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

namespace {

constexpr int kBlockRows = 50;  // short blocks, so a change in disk load hits both sides alike
constexpr const char* kCreate =
    "CREATE TABLE 12_AIN0(RID INT PRIMARY KEY, RVALUE FLOAT, RTIME TEXT(32), LTIME TEXT(32), RTYPE INT)";

struct Options {
    int rows = 2000;
    std::filesystem::path dir = std::filesystem::current_path();
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--rows") == 0) options.rows = std::max(kBlockRows, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--dir") == 0) options.dir = argv[i + 1];
    }
    return options;
}

// The channel-table INSERT of the history writers, with `table` as given (raw SQLite needs the
// digit-leading name quoted; the driver quotes it itself).
std::string InsertText(const char* table, int rid) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "INSERT INTO %s(RID, RVALUE, LTIME, RTIME, RTYPE) VALUES (%d, %.2f, '%s', '%s', %d)", table, rid,
                  rid * 0.25, "2014-04-11 12:30:00", "2014-04-11 12:29:58", 1);
    return text;
}

bool SetUpOdbc(const std::filesystem::path& scratch) {
    std::filesystem::create_directories(scratch / "etc");
    std::ofstream(scratch / "etc" / "odbcinst.ini")
        << "[Telvorn RTUDB]\nDriver=" << TELVORN_RTUDB_DRIVER << "\nSetup=" << TELVORN_RTUDB_DRIVER << "\n";
    std::ofstream(scratch / "etc" / "odbc.ini").flush();
    setenv("ODBCSYSINI", (scratch / "etc").c_str(), 1);
    setenv("ODBCINI", (scratch / ".odbc.ini").c_str(), 1);
    setenv("HOME", scratch.c_str(), 1);
    const std::string attributes = "DSN=BENCHDB|DBQ=" + (scratch / "layer.db").string() + "||";
    std::string list = attributes;
    for (char& c : list)
        if (c == '|') c = '\0';
    return SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, "Telvorn RTUDB", list.c_str());
}

// Seconds taken by `rows` calls of insert(rid), rids from `first`.
double TimeBlock(int first, int rows, const std::function<bool(int)>& insert) {
    const auto start = std::chrono::steady_clock::now();
    for (int rid = first; rid < first + rows; ++rid)
        if (!insert(rid)) std::fprintf(stderr, "insert %d failed\n", rid);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    std::string pattern = (options.dir / "telvorn-bench-db-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path scratch = pattern;
    if (!SetUpOdbc(scratch)) std::fprintf(stderr, "registering BENCHDB failed\n");
    sqlite3* raw = OpenDurableSqlite(scratch / "raw.db");
    CSQLDatabase layer;
    if (raw == nullptr || !layer.Connect("BENCHDB", "", "") || !layer.Execute(kCreate)) {
        std::fprintf(stderr, "set-up failed\n");
        return 1;
    }
    auto rawInsert = [raw](int rid) {
        return sqlite3_exec(raw, InsertText("\"12_AIN0\"", rid).c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    };
    auto layerInsert = [&layer](int rid) {
        const std::string text = InsertText("12_AIN0", rid);
        std::lock_guard lock(DatabaseMutex);
        try {
            return layer.Execute(text);
        } catch (const CSQLException& error) {
            std::fprintf(stderr, "%s %s\n", error.sqlState.c_str(), error.message.c_str());
            return false;
        }
    };
    TimeBlock(-kBlockRows, kBlockRows, rawInsert);
    TimeBlock(-kBlockRows, kBlockRows, layerInsert);
    double rawSeconds = 0;
    double layerSeconds = 0;
    for (int first = 0, round = 0; first < options.rows; first += kBlockRows, ++round) {
        if (round % 2 == 0) rawSeconds += TimeBlock(first, kBlockRows, rawInsert);
        layerSeconds += TimeBlock(first, kBlockRows, layerInsert);
        if (round % 2 == 1) rawSeconds += TimeBlock(first, kBlockRows, rawInsert);
    }
    const int rows = (options.rows + kBlockRows - 1) / kBlockRows * kBlockRows;
    std::printf("directory:                     %s\n", scratch.c_str());
    std::printf("rows per side:                 %d (single-row INSERT, each committed)\n", rows);
    std::printf("raw SQLite (WAL, sync=FULL):   %.0f inserts/s\n", rows / rawSeconds);
    std::printf("CSQLDatabase::Execute (ODBC):  %.0f inserts/s\n", rows / layerSeconds);
    std::printf("layer cost:                    %+.1f%% time per insert (target < 20%%)\n",
                (layerSeconds / rawSeconds - 1.0) * 100.0);
    layer.Close();
    sqlite3_close(raw);
    std::filesystem::remove_all(scratch);
    return 0;
}

// How long the user-interface thread is busy when the operator loads a history of 20,000 rows: the
// channel table is read through the ODBC layer and the RTUDB driver, the list is filled and laid out,
// and (on the RTU state page) the chart is redrawn, until the window has painted again. The window
// answers nothing else meanwhile, so this is the time it appears frozen.
//
//   telvorn-bench-history-list [Google Benchmark options]
//
// Runs on the offscreen platform; the ODBC files and the database live in a scratch directory of
// their own (ODBCSYSINI, ODBCINI, HOME); /etc is never touched.

#include <benchmark/benchmark.h>
#include <odbcinst.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <QAbstractButton>
#include <QApplication>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/RtuTable.h"
#include "storage/HistoryBrowser.h"
#include "storage/OdbcInstaller.h"
#include "storage/sql/SQLDatabase.h"
#include "tools/bench/DurableSqlite.h"
#include "tools/bench/ScratchDataSource.h"
#include "ui/CurrentRtu.h"
#include "ui/HistoryList.h"
#include "ui/PageRtuState.h"
#include "ui/Resources.h"

namespace {

constexpr int kRows = 20000;

class NoMessageBox final : public IMessageBox {
public:
    MessageAnswer Show(const std::string&, const std::string&, MessageIcon, MessageButtons) override {
        return MessageAnswer::Ok;
    }
};

class NoSaveFileDialog final : public ISaveFileDialog {
public:
    std::string AskSaveFileName(const std::string&, const std::string&) override { return {}; }
};

// 12_AIN0 with kRows readings, written straight into the file in one transaction.
bool SeedChannelTable(const std::filesystem::path& file) {
    sqlite3* raw = OpenDurableSqlite(file);
    if (raw == nullptr) return false;
    bool ok = sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    for (int rid = 1; ok && rid <= kRows; ++rid) {
        char insert[256];
        std::snprintf(insert, sizeof insert,
                      "INSERT INTO \"12_AIN0\" VALUES(%d, %.1f, '2026-12-01 10:%02d:%02d', "
                      "'2026-12-01 10:%02d:%02d', %d)",
                      rid, 12 + (rid % 97) * 0.1, rid / 60 % 60, rid % 60, rid / 60 % 60, rid % 60, rid % 7 == 0);
        ok = sqlite3_exec(raw, insert, nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ok = ok && sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(raw);
    return ok;
}

CSQLDatabase* database = nullptr;

// Lets the view lay out the new rows and paint, as the window does before it answers again.
void Settle(QWidget& window) {
    QCoreApplication::processEvents();
    window.repaint();
    QCoreApplication::processEvents();
}

// The history list alone: LoadHistory into a shown list of a page.
void BM_LoadHistoryList(benchmark::State& state) {
    NoSaveFileDialog saveFile;
    NoMessageBox box;
    QWidget page;
    page.resize(900, 600);
    CHistoryList history(&page, saveFile);
    history.List().setGeometry(10, 30, 500, 400);
    CHistoryBrowser browser(*database, history, box);
    page.show();
    for (auto _ : state) {
        const std::string title = browser.LoadHistory("AIN", 0, "AD0");
        Settle(page);
        if (history.RowCount() != kRows) state.SkipWithError(("rows: " + title).c_str());
    }
    state.counters["rows"] = history.RowCount();
}

// What the operator waits for after clicking an analogue input on the RTU state page: list and chart.
void BM_LoadChannelOnStatePage(benchmark::State& state) {
    NoSaveFileDialog saveFile;
    NoMessageBox box;
    CPageRtuState page(nullptr, *database, box, saveFile);
    page.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        static_cast<QAbstractButton*>(page.Control(IDC_AIN_FIRST))->click();
        Settle(page);
        if (page.History().RowCount() != kRows) state.SkipWithError("the list was not filled");
    }
    state.counters["rows"] = page.History().RowCount();
}

BENCHMARK(BM_LoadHistoryList)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LoadChannelOnStatePage)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    InitTelvornResources();
    std::string pattern = (std::filesystem::temp_directory_path() / "telvorn-bench-history-list-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path scratch = pattern;
    // Before the first ODBC handle exists: the driver manager caches where its files are.
    if (!SeedChannelTable(scratch / "history.db") ||
        !RegisterScratchSource(scratch, "DSN=HISTORYLISTBENCH;DBQ=" + (scratch / "history.db").string())) {
        std::fprintf(stderr, "set-up failed\n");
        return 1;
    }
    CSQLDatabase connection;
    if (!connection.Connect("HISTORYLISTBENCH", "", "")) {
        std::fprintf(stderr, "set-up failed\n");
        return 1;
    }
    database = &connection;
    RtuTable table;
    table.Slot(0).SetUidText("12");
    currentRtu = &table.Slot(0);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    currentRtu = nullptr;
    connection.Close();
    std::filesystem::remove_all(scratch);
    return 0;
}

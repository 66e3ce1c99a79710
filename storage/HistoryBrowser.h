#pragma once

#include <optional>
#include <string>

#include "platform/profile/MessageBox.h"
#include "storage/HistoryReadConnection.h"
#include "storage/HistoryView.h"

class CSQLDatabase;

// The history of one channel of the current RTU on a page: load, filter, delete and CSV export.
// One browser per page; it keeps the page's `currentTable`.
//
// Threads: the user-interface thread only. Loads read through a connection of the browser's own,
// beside the history writers, which go on adding rows meanwhile (a loaded list is a snapshot);
// deletions go through the program's connection under DatabaseMutex, as the writers' statements do.
class CHistoryBrowser {
public:
    // None of the three is owned; all outlive the browser.
    CHistoryBrowser(CSQLDatabase& database, IHistoryView& view, IMessageBox& box)
        : database_(database), view_(view), box_(box), reader_(database) {}

    // Fills the list from channel `name` `number` (-1: none) of the current RTU, or from `statement`
    // when one is given; `displayKey` names the channel in [DEVNAMES] of "./name_rtu.ini". Nothing for
    // no current RTU or a number of 32 or more. Returns the final title line ("count title"), empty
    // when nothing was read; the state page redraws its chart from it. A load that runs past its time
    // budget keeps the rows read until then, counted, and says so in QUERY_TIMEOUT of [ERRORS].
    std::string LoadHistory(const std::string& name, int number, const std::string& displayKey,
                            const std::optional<std::string>& statement = std::nullopt);
    // Command 1054: reloads the current table narrowed by the page's filter controls. Returns the final
    // title line as LoadHistory does (empty after a refused or failed query), or none when nothing ran:
    // no condition, or no table loaded yet.
    std::optional<std::string> QueryHistory();
    // Command 1042: deletes the selected rows one by one, or with no selection the whole table, each
    // after a question (Yes and No). The list then shows what is left of its rows and the title line
    // their count; returns that title line, or none when nothing was deleted.
    std::optional<std::string> DeleteHistoryRows();
    // Empties the list and the title line and forgets the current table: the page shows another RTU.
    void Clear();
    // Command 1058: writes the title line, the column captions and the rows to a chosen .csv file.
    void ExportHistoryCsv();

    const std::string& CurrentTable() const { return currentTable_; }

private:
    std::string ReadRows(const std::string& statement, bool& timedOut);
    bool DeleteAll();
    bool DeleteSelected();
    std::string Recount();

    CSQLDatabase& database_;
    IHistoryView& view_;
    IMessageBox& box_;
    HistoryReadConnection reader_;
    std::string currentTable_;
    // The title of the last load, without its record count.
    std::string titleBase_;
};

// The query statement for `table` and `filter`: none when the filter gives no condition. The value
// counts only with a comparison selected; blanks around it are dropped, and a value that is not then a
// decimal number gives an empty statement (refused, never run).
std::optional<std::string> ComposeHistoryQuery(const std::string& table, const HistoryFilter& filter);

// The path an export writes: ".CSV" appended unless the upper-cased path holds ".CSV", then the
// file name (not its directories) lower-cased.
std::string CsvExportPath(const std::string& chosen);

// True for an optional sign, digits and optionally a point with more digits ("5", "-2.5", "+.75").
bool IsDecimalNumber(const std::string& text);

#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

// One row of a history list: columns 0 RID, 1 RVALUE, 2 RTIME, 3 LTIME; `flagged` (RTYPE 1) shows
// image 1 in the value column.
struct HistoryRow {
    std::string rid;
    std::string value;
    std::string rtuTime;
    std::string localTime;
    bool flagged = false;
};

// The filter controls of the RTU state page, as taken when a query starts.
struct HistoryFilter {
    bool useTimeRange = false;
    std::time_t fromDate = 0;  // any time on the first day
    std::time_t toDate = 0;    // any time on the last day
    std::string valueText;     // as typed
    int valueCompare = 0;      // 0 >=, 1 =, 2 <=
};

// What the history operations need of a page: its list, its title line, its filter controls and a
// save-file choice. The RTU state page and the Modbus registers page implement it; a page without
// filter controls returns an empty filter. Called on the user-interface thread only.
class IHistoryView {
public:
    // The unit-id text of the RTU shown (currentRtu), or none.
    virtual std::optional<std::string> CurrentUidText() const = 0;

    virtual void ClearRows() = 0;
    // Appends the rows at the end in one batch: a list of many thousand rows is filled at once.
    virtual void AppendRows(const std::vector<HistoryRow>& rows) = 0;
    virtual int RowCount() const = 0;
    virtual HistoryRow Row(int index) const = 0;
    virtual void RemoveRow(int index) = 0;
    // The first selected row, or -1.
    virtual int FirstSelectedRow() const = 0;

    virtual std::string TitleLine() const = 0;
    virtual void SetTitleLine(const std::string& text) = 0;

    virtual HistoryFilter TakeFilter() = 0;
    // The path chosen in a save-file dialog (filter "Excel file (*.csv)|*.csv|", no default name, no
    // overwrite prompt); none when cancelled.
    virtual std::optional<std::string> ChooseSaveFile() = 0;

protected:
    ~IHistoryView() = default;
};

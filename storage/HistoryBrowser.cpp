#include "storage/HistoryBrowser.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

#include "platform/profile/IniFiles.h"
#include "storage/HistoryReader.h"
#include "storage/MessageText.h"
#include "storage/StatementTexts.h"
#include "storage/TimeStamp.h"
#include "storage/sql/ComposeStatement.h"
#include "storage/sql/DatabaseMutex.h"
#include "storage/sql/SQLDatabase.h"
#include "storage/sql/SQLException.h"
#include "storage/sql/SQLRecordset.h"

namespace {

// Statements, conditions and titles are composed in areas of this size; longer ones are refused.
constexpr std::size_t kArea = 256;
// Channel numbers of a page never reach this.
constexpr int kMaxChannelNumber = 32;

bool IsInteger(const std::string& text) {
    const std::size_t start = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (start == text.size()) return false;
    for (std::size_t i = start; i < text.size(); ++i)
        if (std::isdigit(static_cast<unsigned char>(text[i])) == 0) return false;
    return true;
}

std::string DayBound(std::time_t time, int mode) {
    char bound[kTimeStampSize];
    FormatDayBound(bound, time, mode);
    return bound;
}

// The same day's bound in the form of a frame's own time text, 14 digits YYYYMMDDHHMMSS: "-" sorts
// before every digit, so the dashed bounds never take in a frame's time, nor these a dashed one.
std::string CompactDayBound(const std::string& dashedBound, const char* timeOfDay) {
    return dashedBound.substr(0, 4) + dashedBound.substr(5, 2) + dashedBound.substr(8, 2) + timeOfDay;
}

std::string TrimBlanks(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool IsComparison(int valueCompare) { return valueCompare >= 0 && valueCompare <= 2; }

// None without a comparison or a value; the value is a checked decimal number.
std::optional<std::string> ValueCondition(int valueCompare, const std::string& value) {
    static const char* const kConditions[] = {"RVALUE >= %s", "RVALUE = %s", "RVALUE <= %s"};
    if (value.empty() || !IsComparison(valueCompare)) return std::nullopt;
    return ComposeStatement(kArea, kConditions[valueCompare], value.c_str());
}

}  // namespace

bool IsDecimalNumber(const std::string& text) {
    const std::size_t point = text.find('.');
    if (point == std::string::npos) return IsInteger(text);
    const std::string whole = text.substr(0, point);
    const std::string fraction = text.substr(point + 1);
    const bool wholeOk = whole.empty() || whole == "-" || whole == "+" || IsInteger(whole);
    const bool fractionDigits =
        !fraction.empty() && IsInteger(fraction) && std::isdigit(static_cast<unsigned char>(fraction[0]));
    return wholeOk && fractionDigits;
}

std::optional<std::string> ComposeHistoryQuery(const std::string& table, const HistoryFilter& filter) {
    // The selector first: without a comparison the value field is not read at all.
    const std::string value = IsComparison(filter.valueCompare) ? TrimBlanks(filter.valueText) : std::string();
    if (!value.empty() && !IsDecimalNumber(value)) return std::string();
    const std::optional<std::string> condition = ValueCondition(filter.valueCompare, value);
    std::string where;
    if (filter.useTimeRange) {
        // RTIME holds the RTU's own time text: 14 digits from a frame, the dashed stamp from elsewhere.
        const std::string from = DayBound(filter.fromDate, 0);
        const std::string to = DayBound(filter.toDate, 1);
        const std::string range = ComposeStatement(
            kArea, "(RTIME >= '%s' AND RTIME <= '%s') OR (RTIME >= '%s' AND RTIME <= '%s')", from.c_str(), to.c_str(),
            CompactDayBound(from, "000000").c_str(), CompactDayBound(to, "235959").c_str());
        where = condition ? ComposeStatement(kArea, "WHERE (%s) AND %s", range.c_str(), condition->c_str())
                          : ComposeStatement(kArea, "WHERE (%s)", range.c_str());
    } else if (condition) {
        where = ComposeStatement(kArea, "WHERE %s", condition->c_str());
    } else {
        return std::nullopt;
    }
    return ComposeStatement(kArea, "SELECT * FROM %s %s", table.c_str(), where.c_str());
}

std::string CsvExportPath(const std::string& chosen) {
    std::string upper = chosen;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string withExtension = upper.find(".CSV") == std::string::npos ? chosen + ".CSV" : chosen;
    std::filesystem::path path(withExtension);
    std::string name = path.filename().string();
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return path.replace_filename(name).string();
}

std::string CHistoryBrowser::LoadHistory(const std::string& name, int number, const std::string& displayKey,
                                         const std::optional<std::string>& statement) {
    const std::optional<std::string> uidText = view_.CurrentUidText();
    if (!uidText || number >= kMaxChannelNumber) return {};
    std::string table;
    try {
        table = HistoryTableName(*uidText, name, number);
    } catch (const CSQLException&) {
        return {};
    }
    view_.ClearRows();
    if (!database_.connected) return {};
    // Errors end the load silently; the rows read so far stay in the list.
    try {
        titleBase_ = HistoryTitle(*uidText, number, displayKey);
        view_.SetTitleLine(titleBase_);
        bool timedOut = false;
        const std::string title = ReadRows(statement ? *statement : "SELECT * FROM " + table, timedOut);
        if (!statement && !title.empty()) currentTable_ = table;
        // Shown once the list shows what was read; a table too long to load whole can be narrowed.
        if (timedOut) ShowMessageText(box_, kErrorsSection, "QUERY_TIMEOUT", MessageIcon::Warning);
        return title;
    } catch (const CSQLException&) {
        return {};
    }
}

// An empty statement is one refused before reaching the engine: the list stays empty, as after a
// statement the engine rejects. A failed read leaves its rows in the list uncounted; one cut short
// by the time budget counts them, as a load that ended.
std::string CHistoryBrowser::ReadRows(const std::string& statement, bool& timedOut) {
    if (statement.empty() || reader_.StartQuery() != HistoryReadEnd::kDone) return {};
    std::vector<HistoryRow> rows;
    const HistoryReadEnd end = reader_.Read(statement, rows);
    view_.AppendRows(rows);
    timedOut = end == HistoryReadEnd::kTimedOut;
    if (end != HistoryReadEnd::kDone && !timedOut) return {};
    const int count = static_cast<int>(rows.size());
    const std::string title = ComposeStatement(kArea, "%d %s", count, view_.TitleLine().c_str());
    view_.SetTitleLine(title);
    return title;
}

std::optional<std::string> CHistoryBrowser::QueryHistory() {
    const HistoryFilter filter = view_.TakeFilter();
    if (currentTable_.empty()) return std::nullopt;
    std::optional<std::string> query;
    try {
        query = ComposeHistoryQuery(currentTable_, filter);
    } catch (const CSQLException&) {
        query = std::string();  // too long for its area: refused like a malformed one
    }
    if (!query) return std::nullopt;
    return LoadHistory("", -1, "", *query);
}

std::optional<std::string> CHistoryBrowser::DeleteHistoryRows() {
    if (view_.FirstSelectedRow() < 0) {
        if (currentTable_.empty() || !database_.connected || !DeleteAll()) return std::nullopt;
        view_.ClearRows();
        return Recount();
    }
    if (!DeleteSelected()) return std::nullopt;
    return Recount();
}

void CHistoryBrowser::Clear() {
    view_.ClearRows();
    view_.SetTitleLine("");
    titleBase_.clear();
    currentTable_.clear();
}

std::string CHistoryBrowser::Recount() {
    const std::string title = std::to_string(view_.RowCount()) + " " + titleBase_;
    view_.SetTitleLine(title);
    return title;
}

bool CHistoryBrowser::DeleteAll() {
    if (ShowMessageText(box_, kQuestionSection, "DELETE_ALL", MessageIcon::Question, MessageButtons::YesNo) !=
        MessageAnswer::Yes)
        return false;
    std::lock_guard<std::recursive_mutex> lock(DatabaseMutex);
    // Refused, the table keeps its rows and the list stays as it is; a table that was empty already
    // is empty now all the same.
    try {
        database_.Execute(ComposeStatement(kArea, kHistoryDeleteAllFormat, currentTable_.c_str()));
        return true;
    } catch (const CSQLException&) {
        return false;
    }
}

bool CHistoryBrowser::DeleteSelected() {
    if (ShowMessageText(box_, kQuestionSection, "DELETE_RID", MessageIcon::Question, MessageButtons::YesNo) !=
        MessageAnswer::Yes)
        return false;
    if (currentTable_.empty() || !database_.connected) return false;
    bool removed = false;
    for (int index = view_.FirstSelectedRow(); index >= 0; index = view_.FirstSelectedRow()) {
        const std::string rid = view_.Row(index).rid;
        if (!IsInteger(rid)) break;
        std::lock_guard<std::recursive_mutex> lock(DatabaseMutex);
        try {
            if (!database_.Execute(
                    ComposeStatement(kArea, kHistoryDeleteRowFormat, currentTable_.c_str(), rid.c_str())))
                break;
        } catch (const CSQLException&) {
            break;
        }
        view_.RemoveRow(index);
        removed = true;
    }
    return removed;
}

void CHistoryBrowser::ExportHistoryCsv() {
    if (view_.RowCount() == 0) return;
    const std::optional<std::string> chosen = view_.ChooseSaveFile();
    if (!chosen) return;
    std::ofstream file(CsvExportPath(*chosen), std::ios::out | std::ios::trunc);
    if (!file.is_open()) return;
    std::vector<HistoryRow> rows;
    for (int index = 0; index < view_.RowCount(); ++index) rows.push_back(view_.Row(index));
    WriteHistoryCsv(file, view_.TitleLine(), rows);
    file.flush();
    ShowMessageText(box_, kSuccessSection, "EXPORT_CSV_OK", MessageIcon::Information);
}

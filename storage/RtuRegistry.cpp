#include "storage/RtuRegistry.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "core/RtuTable.h"
#include "platform/profile/IniFileReader.h"
#include "platform/profile/IniFiles.h"
#include "storage/MessageText.h"
#include "storage/RegistryNames.h"
#include "storage/Schema.h"
#include "storage/StatementTexts.h"
#include "storage/sql/ComposeStatement.h"
#include "storage/sql/DatabaseMutex.h"
#include "storage/sql/SQLDatabase.h"
#include "storage/sql/SQLException.h"
#include "storage/sql/SQLInsert.h"
#include "storage/sql/SQLRecordset.h"
#include "storage/sql/SQLUpdate.h"
#include "storage/sql/SqlQuote.h"

namespace {

constexpr std::size_t kEditArea = 512;
constexpr std::size_t kDeleteArea = 256;
constexpr std::size_t kReadArea = 256;
// A frame carries its unit id as eight decimal digits: no other unit id can ever report.
constexpr std::size_t kMaxUnitIdDigits = 8;
constexpr char kUnitIdRule[] = "Unit Id must be 1 to 8 decimal digits!";

// A box to show once DatabaseMutex is released: a box waits for the operator, and while the lock is
// held every history writer of the fleet waits too.
struct Notice {
    std::string text;
    MessageIcon icon;
};

std::string FieldName(int row) { return "RDATA" + std::to_string(row); }

bool IsDigits(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

std::string TrimBlanks(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool InsertRow(CSQLDatabase& database, const IRtuInputRows& rows, const std::string& uid) {
    CSQLInsert insert(kRtuTable);
    insert.AddField("UID", uid, kValueText);
    for (int i = 1; i < rows.RowCount(); ++i) insert.AddField(FieldName(i), rows.RowText(i), kValueText);
    return database.Execute(insert.BuildSQL());
}

// The 158 tables in order; the first that fails (one that exists already, when an RTU is added again
// after its deletion) ends the creation with its error.
void CreateRtuTables(CSQLDatabase& database, const std::string& uid) {
    for (const ChannelTableSpec& table : ChannelTableSet())
        CreateChannelTable(database, uid, table.name, table.number, table.valueType);
}

// The add under DatabaseMutex; its boxes are collected in `notices`.
bool AddUnderLock(CSQLDatabase& database, const IRtuInputRows& rows, std::vector<Notice>& notices) {
    std::lock_guard<std::recursive_mutex> lock(DatabaseMutex);
    if (rows.RowCount() <= 0 || !database.connected) {
        notices.push_back({"database is closed when write", MessageIcon::None});
        return false;
    }
    const std::string uidText = TrimBlanks(rows.RowText(0));
    if (uidText.empty()) {
        notices.push_back({"Unit Id can't be null!", MessageIcon::Stop});
        return false;
    }
    if (uidText.size() > kMaxUnitIdDigits || !IsDigits(uidText)) {
        notices.push_back({kUnitIdRule, MessageIcon::Stop});
        return false;
    }
    const std::string uid = NormaliseUnitId(uidText);
    bool stored = false;
    try {
        stored = InsertRow(database, rows, uid);
        CreateRtuTables(database, uid);
    } catch (const CSQLException& error) {
        // A row stored before a table failed stays stored, and the add still counts as done.
        notices.push_back({error.message, MessageIcon::None});
        notices.push_back({"CSQLException exception when write database!", MessageIcon::None});
    }
    return stored;
}

}  // namespace

std::string NormaliseUnitId(const std::string& uidText) {
    if (uidText.empty() || !IsDigits(uidText)) return uidText;
    const std::size_t first = uidText.find_first_not_of('0');
    return first == std::string::npos ? "0" : uidText.substr(first);
}

bool AddRtu(CSQLDatabase& database, const IRtuInputRows& rows, IMessageBox& box) {
    std::vector<Notice> notices;
    const bool stored = AddUnderLock(database, rows, notices);
    for (const Notice& notice : notices) ShowFixedText(box, notice.text, notice.icon);
    return stored;
}

bool EditRtu(CSQLDatabase& database, const IRtuInputRows& rows) {
    std::lock_guard<std::recursive_mutex> lock(DatabaseMutex);
    if (rows.RowCount() <= 0 || !database.connected) return false;
    try {
        CSQLUpdate update(kRtuTable);
        for (int i = 1; i < rows.RowCount(); ++i) update.AddField(FieldName(i), rows.RowText(i), kValueText);
        const std::string uidText = rows.RowText(0);
        const std::string edit =
            ComposeStatement(kEditArea, kRtuEditFormat, update.BuildSQL().c_str(), DoubleQuotes(uidText).c_str());
        // False when no row has that unit id (deleted meanwhile): nothing was updated.
        return !uidText.empty() && database.Execute(edit);
    } catch (const CSQLException&) {
        return false;
    }
}

bool DeleteRtu(CSQLDatabase& database, const IRtuInputRows& rows, IMessageBox& box) {
    if (rows.RowCount() <= 0) return false;
    const std::string uidText = rows.RowText(0);
    if (uidText.empty()) return false;
    if (ShowMessageText(box, kQuestionSection, "DELETE_RTU", MessageIcon::Question, MessageButtons::YesNo) !=
        MessageAnswer::Yes)
        return false;
    std::lock_guard<std::recursive_mutex> lock(DatabaseMutex);
    if (!database.connected) return false;
    // A refused delete only means the list is not reloaded.
    try {
        return database.Execute(
            ComposeStatement(kDeleteArea, kRtuDeleteFormat, kRtuTable, DoubleQuotes(uidText).c_str()));
    } catch (const CSQLException&) {
        return false;
    }
}

std::vector<RegistryRow> ReadRegistry(const CSQLDatabase& database, bool* complete) {
    std::vector<RegistryRow> rows;
    if (complete) *complete = false;
    if (!database.connected) return rows;
    try {
        CSQLRecordset recordset(database);
        recordset.SetSQL(ComposeStatement(kReadArea, kRtuListFormat, kRtuTable));
        if (!recordset.Open()) return rows;
        while (recordset.MoveNext()) {
            RegistryRow row;
            for (std::size_t column = 0; column < row.size(); ++column)
                row[column] = recordset.GetField(static_cast<int>(column) + 1, kValueText);
            rows.push_back(std::move(row));
        }
        if (complete) *complete = true;
        ProcessRegistryNames().Note(rows);
    } catch (const CSQLException&) {
    }
    return rows;
}

std::vector<RegisteredRtu> RegisteredRtus(const std::vector<RegistryRow>& rows) {
    std::vector<RegisteredRtu> rtus;
    rtus.reserve(rows.size());
    for (const RegistryRow& row : rows) rtus.push_back({row[0], ParseIniNumber(row[7])});
    return rtus;
}

std::vector<RegistryRow> LoadRegistry(const CSQLDatabase& database, RtuTable& table) {
    bool complete = false;
    std::vector<RegistryRow> rows = ReadRegistry(database, &complete);
    // A registry read only in part would free the slots of every RTU it missed.
    if (complete) RefillRtuTable(table, RegisteredRtus(rows));
    return rows;
}

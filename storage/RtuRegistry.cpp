#include "storage/RtuRegistry.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "core/RtuTable.h"
#include "platform/profile/IniFileReader.h"
#include "platform/profile/IniFiles.h"
#include "storage/MessageText.h"
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

std::string FieldName(int row) { return "RDATA" + std::to_string(row); }

// Steps that may raise: the row, then the channel tables. The result is the row's.
bool InsertRtu(CSQLDatabase& database, const IRtuInputRows& rows, const std::string& uid) {
    CSQLInsert insert(kRtuTable);
    insert.AddField("UID", uid, kValueText);
    for (int i = 1; i < rows.RowCount(); ++i) insert.AddField(FieldName(i), rows.RowText(i), kValueText);
    const bool stored = database.Execute(insert.BuildSQL());
    CreateChannelTables(database, uid);
    return stored;
}

}  // namespace

std::string NormaliseUnitId(const std::string& uidText) {
    const bool digitsOnly =
        std::all_of(uidText.begin(), uidText.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
    if (uidText.empty() || !digitsOnly) return uidText;
    const std::size_t first = uidText.find_first_not_of('0');
    return first == std::string::npos ? "0" : uidText.substr(first);
}

bool AddRtu(CSQLDatabase& database, const IRtuInputRows& rows, IMessageBox& box) {
    std::lock_guard<std::recursive_mutex> lock(DatabaseMutex);
    if (rows.RowCount() <= 0 || !database.connected) {
        ShowFixedText(box, "database is closed when write", MessageIcon::None);
        return false;
    }
    const std::string uidText = rows.RowText(0);
    if (uidText.empty()) {
        ShowFixedText(box, "Unit Id can't be null!", MessageIcon::Stop);
        return false;
    }
    bool stored = false;
    try {
        stored = InsertRtu(database, rows, NormaliseUnitId(uidText));
    } catch (const CSQLException& error) {
        ShowFixedText(box, error.message, MessageIcon::None);
        ShowFixedText(box, "CSQLException exception when write database!", MessageIcon::None);
    }
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
        if (!uidText.empty()) database.Execute(edit);
        return true;
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

std::vector<RegistryRow> LoadRegistry(const CSQLDatabase& database, RtuTable& table) {
    std::vector<RegistryRow> rows;
    if (!database.connected) return rows;
    try {
        CSQLRecordset recordset(database);
        recordset.SetSQL(ComposeStatement(kReadArea, kRtuListFormat, kRtuTable));
        if (!recordset.Open()) return rows;
        while (recordset.MoveNext()) {
            RegistryRow row;
            for (std::size_t column = 0; column < row.size(); ++column)
                row[column] = recordset.GetField(static_cast<int>(column) + 1, kValueText);
            if (rows.size() < RtuTable::kSlots) {
                RtuSlot& slot = table.Slot(rows.size());
                slot.SetUidText(row[0]);
                slot.SetModel(ParseIniNumber(row[7]));
            }
            rows.push_back(std::move(row));
        }
    } catch (const CSQLException&) {
    }
    return rows;
}

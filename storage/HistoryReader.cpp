#include "storage/HistoryReader.h"

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/profile/IniFileReader.h"
#include "platform/profile/IniFiles.h"
#include "storage/CsvField.h"
#include "storage/sql/ComposeStatement.h"
#include "storage/sql/DatabaseMutex.h"
#include "storage/sql/SQLDatabase.h"
#include "storage/sql/SQLException.h"
#include "storage/sql/SQLRecordset.h"

namespace {

// Names, titles and statements are composed in areas of this size; longer ones are refused.
constexpr std::size_t kArea = 256;

std::string Cut(const std::string& text) { return text.substr(0, kHistoryFieldLength); }

}  // namespace

std::string HistoryTableName(const std::string& uidText, const std::string& name, int number) {
    if (number >= 0) return ComposeStatement(kArea, "%s_%s%d", uidText.c_str(), name.c_str(), number);
    return ComposeStatement(kArea, "%s_%s", uidText.c_str(), name.c_str());
}

std::string HistoryTitle(const std::string& uidText, int number, const std::string& displayKey) {
    const std::string records = IniFileReader(kUiIniPath).readValue(kRtuStateTextSection, "RECORDS");
    const std::string caption = IniFileReader(kDataIniPath).readValue(kRtuColumnsSection, "RDATA1");
    const std::string display = IniFileReader(kNamesIniPath).readValue(kDeviceNamesSection, displayKey);
    if (number >= 0)
        return ComposeStatement(kArea, "%s %s:%s %s:%d", records.c_str(), caption.c_str(), uidText.c_str(),
                                display.c_str(), number);
    return ComposeStatement(kArea, "%s %s:%s %s", records.c_str(), caption.c_str(), uidText.c_str(), display.c_str());
}

HistoryRow ReadHistoryRow(CSQLRecordset& recordset) {
    HistoryRow row;
    row.rid = Cut(recordset.GetField(1, kValueText));
    row.value = Cut(recordset.GetField(2, kValueText));
    row.rtuTime = Cut(recordset.GetField(3, kValueText));
    row.localTime = Cut(recordset.GetField(4, kValueText));
    row.flagged = std::atoi(Cut(recordset.GetField(5, kValueText)).c_str()) == 1;
    return row;
}

void WriteHistoryCsv(std::ostream& out, const std::string& titleLine, const std::vector<HistoryRow>& rows) {
    const IniFileReader captions(kUiIniPath);
    out << CsvField(titleLine) << "\n";
    out << CsvField(captions.readValue(kRtuStateTextSection, "DATALISTC0")) << ','
        << CsvField(captions.readValue(kRtuStateTextSection, "DATALISTC1")) << ','
        << CsvField(captions.readValue(kRtuStateTextSection, "DATALISTC2")) << ','
        << CsvField(captions.readValue(kRtuStateTextSection, "DATALISTC3")) << "\n";
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const HistoryRow& row = rows[index];
        out << index << ',' << CsvField(row.value) << ',' << CsvField(row.rtuTime) << ',' << CsvField(row.localTime)
            << "\n";
    }
}

std::optional<long long> CountHistoryRows(const CSQLDatabase& database, const std::string& select) {
    static const std::string kSelectAll = "SELECT * FROM ";
    if (select.rfind(kSelectAll, 0) != 0) return std::nullopt;
    std::lock_guard<std::recursive_mutex> lock(DatabaseMutex);
    if (!database.connected) return std::nullopt;
    try {
        CSQLRecordset recordset(database);
        recordset.SetSQL("SELECT COUNT(*) FROM " + select.substr(kSelectAll.size()));
        if (!recordset.Open() || !recordset.MoveNext()) return std::nullopt;
        return std::atoll(recordset.GetField(1, kValueText).c_str());
    } catch (const CSQLException&) {
        return std::nullopt;  // a table that does not exist, a malformed condition: nothing to read
    }
}

bool ReadHistoryInBatches(const CSQLDatabase& database, const std::string& select, std::vector<HistoryRow>& rows) {
    std::unique_lock<std::recursive_mutex> lock(DatabaseMutex);
    if (!database.connected) return false;
    try {
        CSQLRecordset recordset(database);
        recordset.SetSQL(select);
        if (!recordset.Open()) return false;
        for (std::size_t inBatch = 0; recordset.MoveNext(); ++inBatch) {
            rows.push_back(ReadHistoryRow(recordset));
            if (inBatch + 1 == kHistoryReadBatch) {
                // The writers get their turn between batches (a bare unlock and lock would take the
                // mutex straight back); the cursor stays open.
                lock.unlock();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                lock.lock();
                if (!database.connected) return false;  // closed meanwhile: the cursor went with it
                inBatch = static_cast<std::size_t>(-1);
            }
        }
        return true;
    } catch (const CSQLException&) {
        return false;
    }
}

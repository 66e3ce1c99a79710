#include "storage/HistoryReader.h"

#include <cstdlib>

#include "platform/profile/IniFileReader.h"
#include "platform/profile/IniFiles.h"
#include "storage/CsvField.h"
#include "storage/sql/ComposeStatement.h"
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

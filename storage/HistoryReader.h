#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "storage/HistoryView.h"

class CSQLRecordset;

// The pieces of a history load shared by the history browser and the web console: table names,
// titles, rows and the CSV text. Both read through a HistoryReadConnection of their own.

// Each field read from a history row is cut to this many characters.
constexpr std::size_t kHistoryFieldLength = 31;

// "12_AIN3" for ("12", "AIN", 3), "12_SIGNAL" for number -1. Throws CSQLException when too long.
std::string HistoryTableName(const std::string& uidText, const std::string& name, int number);
// "RECORDS RDATA1:uid display:number" from the INI texts; the display name is `displayKey` of
// [DEVNAMES]. Throws CSQLException when too long.
std::string HistoryTitle(const std::string& uidText, int number, const std::string& displayKey);
// The current row of a history table: RID, RVALUE, RTIME, LTIME, RTYPE, each cut.
HistoryRow ReadHistoryRow(CSQLRecordset& recordset);
// The CSV export: the title line, the column captions of "./rtu_ui.ini", then one line per row
// numbered from 0; every text written as CsvField makes it.
void WriteHistoryCsv(std::ostream& out, const std::string& titleLine, const std::vector<HistoryRow>& rows);

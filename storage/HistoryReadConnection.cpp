#include "storage/HistoryReadConnection.h"

#include <cstdlib>

#include "platform/profile/ProfileSettings.h"
#include "storage/HistoryReader.h"
#include "storage/OdbcInstaller.h"
#include "storage/sql/SQLDatabase.h"
#include "storage/sql/SQLException.h"
#include "storage/sql/SQLRecordset.h"

namespace {

using Clock = std::chrono::steady_clock;

// Reading a row costs microseconds: a clock read every this many is free, and the budget is
// overrun by one batch at most.
constexpr std::size_t kRowsBetweenClockReads = 256;

HistoryReadEnd EndOf(const CSQLException& error) {
    return error.sqlState == kQueryTimeoutState ? HistoryReadEnd::kTimedOut : HistoryReadEnd::kFailed;
}

}  // namespace

HistoryReadConnection::HistoryReadConnection(const CSQLDatabase& writers) : writers(writers) {}

HistoryReadConnection::~HistoryReadConnection() = default;

HistoryReadEnd HistoryReadConnection::StartQuery() {
    budgetSeconds = static_cast<unsigned>(ReadHistoryQuerySeconds());
    deadline = Clock::now() + std::chrono::seconds(budgetSeconds);
    if (!writers.connected) {
        reader.reset();
        return HistoryReadEnd::kNoDatabase;
    }
    if (reader != nullptr && reader->connected) return HistoryReadEnd::kDone;
    reader = std::make_unique<CSQLDatabase>();
    const DatabaseLogin login = ReadDatabaseLogin();
    if (reader->Connect(kDataSourceName, login.user, login.password)) return HistoryReadEnd::kDone;
    reader.reset();
    return HistoryReadEnd::kNoDatabase;
}

bool HistoryReadConnection::TimeNextStatement() {
    const auto left = std::chrono::ceil<std::chrono::seconds>(deadline - Clock::now()).count();
    return left > 0 && reader->SetQueryTimeout(static_cast<unsigned>(left));
}

HistoryReadEnd HistoryReadConnection::Count(const std::string& select, long long& count) {
    static const std::string kSelectAll = "SELECT * FROM ";
    if (reader == nullptr) return HistoryReadEnd::kNoDatabase;
    if (select.rfind(kSelectAll, 0) != 0) return HistoryReadEnd::kFailed;
    if (!TimeNextStatement()) return HistoryReadEnd::kTimedOut;
    try {
        CSQLRecordset recordset(*reader);
        recordset.SetSQL("SELECT COUNT(*) FROM " + select.substr(kSelectAll.size()));
        if (!recordset.Open() || !recordset.MoveNext()) return HistoryReadEnd::kFailed;
        count = std::atoll(recordset.GetField(1, kValueText).c_str());
        return HistoryReadEnd::kDone;
    } catch (const CSQLException& error) {
        return EndOf(error);
    }
}

HistoryReadEnd HistoryReadConnection::Read(const std::string& select, std::vector<HistoryRow>& rows) {
    if (reader == nullptr) return HistoryReadEnd::kNoDatabase;
    if (!TimeNextStatement()) return HistoryReadEnd::kTimedOut;
    try {
        CSQLRecordset recordset(*reader);
        recordset.SetSQL(select);
        if (!recordset.Open()) return HistoryReadEnd::kFailed;
        for (std::size_t read = 1; recordset.MoveNext(); ++read) {
            rows.push_back(ReadHistoryRow(recordset));
            if (read % kRowsBetweenClockReads == 0 && Clock::now() >= deadline) return HistoryReadEnd::kTimedOut;
        }
        return HistoryReadEnd::kDone;
    } catch (const CSQLException& error) {
        return EndOf(error);
    }
}

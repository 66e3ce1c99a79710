#include "storage/TransientFailure.h"

#include <array>
#include <string_view>

#include "storage/sql/SQLException.h"

namespace {

// SQLSTATE classes and codes of a database that cannot take the write now: 08 connection
// exception, 40 transaction rollback (serialisation, deadlock), 53 insufficient resources (disk
// full, out of memory, too many connections), and the PostgreSQL codes of a server shutting down,
// a cancelled statement and a lock not granted in time; HYT00 and HYT01 are ODBC's time-outs.
constexpr std::array<std::string_view, 3> kTransientClasses = {"08", "40", "53"};
constexpr std::array<std::string_view, 7> kTransientStates = {"HYT00", "HYT01", "57P01", "57P02",
                                                              "57P03", "57014", "55P03"};

// SQLite's primary result codes (the low byte of its extended codes) for a file that is locked,
// busy, full or failing to read or write.
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteNoMemory = 7;
constexpr int kSqliteIoError = 10;
constexpr int kSqliteFull = 13;
constexpr int kSqliteProtocol = 15;

bool TransientSqliteCode(int nativeError) {
    switch (nativeError & 0xff) {
        case kSqliteBusy:
        case kSqliteLocked:
        case kSqliteNoMemory:
        case kSqliteIoError:
        case kSqliteFull:
        case kSqliteProtocol:
            return true;
        default:
            return false;
    }
}

// A PostgreSQL server out of disk names the C library's text in its message; the driver reports
// such server errors as HY000 without the server's own code.
bool DiskFullMessage(std::string_view message) { return message.find("No space left on device") != message.npos; }

bool TransientState(std::string_view state) {
    for (const std::string_view prefix : kTransientClasses)
        if (state.substr(0, 2) == prefix) return true;
    for (const std::string_view code : kTransientStates)
        if (state == code) return true;
    return false;
}

// The driver reports a server error it has no code of its own for as HY000, with the server's code
// at the end of the message: "... (SQLSTATE 53100)".
std::string_view ServerState(std::string_view message) {
    constexpr std::string_view kMark = "(SQLSTATE ";
    const std::size_t at = message.rfind(kMark);
    if (at == message.npos || message.size() < at + kMark.size() + 6) return {};
    return message.substr(at + kMark.size(), 5);
}

}  // namespace

bool IsTransientFailure(const CSQLException& error) {
    const std::string_view state = error.sqlState;
    if (TransientState(state)) return true;
    return state == "HY000" && (TransientSqliteCode(error.nativeError) || DiskFullMessage(error.message) ||
                                TransientState(ServerState(error.message)));
}

#include "storage/TransientFailure.h"

#include <array>
#include <string_view>

#include "storage/sql/SQLException.h"

namespace {

// SQLSTATE classes and codes of a database that cannot take the write now: 08 connection
// exception, 40 transaction rollback (serialisation, deadlock, a file busy or locked), 53
// insufficient resources (disk full, out of memory, too many connections), and the codes of a
// server shutting down, a cancelled statement, a lock not granted in time and a failing read or
// write (58030); HYT00 and HYT01 are ODBC's time-outs.
constexpr std::array<std::string_view, 3> kTransientClasses = {"08", "40", "53"};
constexpr std::array<std::string_view, 8> kTransientStates = {"HYT00", "HYT01", "57P01", "57P02",
                                                              "57P03", "57014", "55P03", "58030"};

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
    return state == "HY000" && TransientState(ServerState(error.message));
}

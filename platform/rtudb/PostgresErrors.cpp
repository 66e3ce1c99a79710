#include "platform/rtudb/PostgresErrors.h"

namespace {

bool ConnectionState(const std::string& state) {
    return state.rfind("08", 0) == 0 || state == "57P01" || state == "57P02" || state == "57P03";
}

// libpq's messages end with a line end and may carry DETAIL or HINT lines after the first.
std::string FirstLine(const std::string& message) {
    std::string line = message.substr(0, message.find('\n'));
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    return line;
}

MappedError MapState(const std::string& serverState, const std::string& text, bool connectionLost) {
    if (connectionLost || ConnectionState(serverState))
        return {"08S01", "connection to the PostgreSQL server lost: " + text +
                             "; the statement did not complete, and the next statement reconnects"};
    if (serverState.rfind("23", 0) == 0) return {"23000", text};
    if (serverState == "57014") return {"HYT00", "statement cancelled by the server: " + text};
    if (serverState == "42P07") return {"42S01", text};
    if (serverState == "42P01") return {"42S02", text};
    if (serverState == "42601") return {"42000", text};
    if (serverState == "42883")
        return {"42000", text +
                             " (a comparison of a text column with a bare number is refused: quote the "
                             "number to compare as text, or compare a numeric column)"};
    return {"HY000", text};
}

}  // namespace

MappedError MapPostgresError(const std::string& serverState, const std::string& message, bool connectionLost) {
    // A server out of disk names the C library's text; the code it belongs to is kept for a message
    // that comes without one.
    const std::string state =
        serverState.empty() && message.find("No space left on device") != std::string::npos ? "53100" : serverState;
    MappedError mapped = MapState(state, FirstLine(message), connectionLost);
    // Whoever logs the failure sees the server's own code beside the one the program acts on.
    if (!state.empty() && state != mapped.sqlState) mapped.message += " (SQLSTATE " + state + ")";
    return mapped;
}

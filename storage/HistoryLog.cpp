#include "storage/HistoryLog.h"

#include <cstdio>

#include "storage/EventLog.h"
#include "storage/sql/SQLException.h"

namespace {

// Every line fits the event log's line area; a long message is cut there.
constexpr std::size_t kLineArea = kLogLineSize;

// The driver's message on one line: a line end inside it would start a line of its own.
std::string OneLine(const std::string& message) {
    std::string line = message;
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    return line;
}

std::string Reason(const CSQLException& error) { return "SQLSTATE " + error.sqlState + ", " + OneLine(error.message); }

}  // namespace

void LogRowFailure(const HistoryReading& reading, HistoryRowKind kind, const CSQLException* error) {
    char line[kLineArea];
    const std::string reason = error != nullptr ? ": " + Reason(*error) : std::string();
    if (kind == HistoryRowKind::Channel)
        std::snprintf(line, sizeof line, "Write Data To %d_%s Channel %d fail%s\n", reading.unitId,
                      reading.channelName.c_str(), reading.channelNumber, reason.c_str());
    else
        std::snprintf(line, sizeof line, "Write Data To FullRcds Table fail%s\n", reason.c_str());
    WriteEventLog(line);
}

void LogDatabaseAway(const CSQLException& cause) {
    WriteEventLog(("Database not answering; readings go to the spool until it does: " + Reason(cause) + "\n").c_str());
}

void LogForwarding(std::int64_t held) {
    char line[kLineArea];
    std::snprintf(line, sizeof line, "Database answering; forwarding %lld spooled readings\n",
                  static_cast<long long>(held));
    WriteEventLog(line);
}

void LogForwardingDone(std::int64_t forwarded) {
    char line[kLineArea];
    std::snprintf(line, sizeof line, "Forwarding done: %lld readings forwarded\n", static_cast<long long>(forwarded));
    WriteEventLog(line);
}

void LogSpoolFull(std::int64_t limitBytes) {
    char line[kLineArea];
    std::snprintf(line, sizeof line, "Spool full (%lld KiB): new readings are refused until forwarding makes room\n",
                  static_cast<long long>(limitBytes / 1024));
    WriteEventLog(line);
}

void LogSpoolTakesAgain(std::int64_t refused) {
    char line[kLineArea];
    std::snprintf(line, sizeof line, "Spool takes readings again; %lld refused while it was full\n",
                  static_cast<long long>(refused));
    WriteEventLog(line);
}

void LogSpoolLeftOver(const std::filesystem::path& path, std::int64_t held) {
    char line[kLineArea];
    std::snprintf(line, sizeof line, "Spool %s holds %lld readings of an earlier run; they are forwarded first\n",
                  path.c_str(), static_cast<long long>(held));
    WriteEventLog(line);
}

void LogSpoolUnavailable(const std::filesystem::path& path, const std::string& error) {
    WriteEventLog(("Spool " + path.string() + " cannot be used (" + OneLine(error) +
                   "); readings the database cannot take are lost\n")
                      .c_str());
}

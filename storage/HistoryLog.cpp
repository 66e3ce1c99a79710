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

std::string KiB(std::int64_t bytes) { return std::to_string(bytes / 1024) + " KiB"; }

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

void LogSpoolFull(const std::string& why) {
    WriteEventLog(
        ("Spool cannot take readings: " + OneLine(why) + "; new readings are refused until forwarding makes room\n")
            .c_str());
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

void LogSpoolUnavailable(const std::filesystem::path& path, const std::string& error, std::int64_t memoryLimitBytes) {
    WriteEventLog(("Spool " + path.string() + " cannot be used (" + OneLine(error) +
                   "); readings the database cannot take are held in memory only, up to " + KiB(memoryLimitBytes) +
                   "\n")
                      .c_str());
}

void LogSpoolHeldInMemory(const std::filesystem::path& path, const std::string& why, std::int64_t memoryLimitBytes) {
    WriteEventLog(("Spool " + path.string() + ": " + OneLine(why) + "; readings are held in memory, up to " +
                   KiB(memoryLimitBytes) + ", until the file takes them\n")
                      .c_str());
}

void LogSpoolFileTakesAgain(const std::filesystem::path& path, std::int64_t heldInMemory) {
    WriteEventLog(("Spool " + path.string() + " takes readings again; " + std::to_string(heldInMemory) +
                   " were held in memory meanwhile\n")
                      .c_str());
}

void LogSpoolLostAtStop(const std::filesystem::path& path, std::int64_t lost, const std::string& why) {
    WriteEventLog(("Spool " + path.string() + ": " + std::to_string(lost) +
                   " readings held in memory are lost at the stop (" + OneLine(why) + ")\n")
                      .c_str());
}

void LogSpoolKeptAside(const std::filesystem::path& path, const std::filesystem::path& aside, bool damaged,
                       const std::string& why, std::int64_t taken) {
    const std::string what =
        damaged ? "Spool " + path.string() + " is damaged (" + OneLine(why) + "); kept aside as " + aside.string()
                : "Spool " + path.string() + " had lost its file; its log kept aside as " + aside.string() + "-wal";
    WriteEventLog((what + ", " + std::to_string(taken) + " readings read from it are forwarded\n").c_str());
}

void LogSpoolRequeued(const std::filesystem::path& path, std::int64_t rows) {
    WriteEventLog(
        ("Spool " + path.string() + ": " + std::to_string(rows) + " rows set aside by an earlier run are tried again\n")
            .c_str());
}

void LogTableSetAside(const std::string& table, const CSQLException& failure, const std::filesystem::path& path) {
    WriteEventLog(("Table " + table + " keeps refusing rows (" + Reason(failure) + "); they are set aside in spool " +
                   path.string() + " and the rest is forwarded\n")
                      .c_str());
}

void LogTableTakesAgain(const std::string& table, std::int64_t setAside, const std::filesystem::path& path) {
    WriteEventLog(("Table " + table + " takes rows again; the " + std::to_string(setAside) + " set aside in spool " +
                   path.string() + " meanwhile are tried again at the next start\n")
                      .c_str());
}

void LogForwardingStalled(const std::string& why) {
    WriteEventLog(("Forwarding stalled: " + OneLine(why) + "\n").c_str());
}

void LogForwardingResumed() { WriteEventLog("Forwarding resumed\n"); }

void LogStopped(bool finished, int limitSeconds, std::int64_t spooled, std::int64_t held) {
    char line[kLineArea];
    const std::string received =
        finished ? "every reading received was stored or spooled"
                 : "receives not decoded after " + std::to_string(limitSeconds) + " s are lost with their readings";
    std::snprintf(line, sizeof line,
                  "Stopped: %s; %lld readings spooled during the stop, %lld held for the next start\n",
                  received.c_str(), static_cast<long long>(spooled), static_cast<long long>(held));
    WriteEventLog(line);
}

#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "storage/HistoryReading.h"

class CSQLException;

// The event-log lines of history recording. A row that is not stored leaves its line, with the
// SQLSTATE and the driver's message beside it when there is one (none when the database is not
// open). An outage leaves three lines rather than one per reading: the database away, forwarding
// begun, forwarding done.

void LogRowFailure(const HistoryReading& reading, HistoryRowKind kind, const CSQLException* error);
void LogDatabaseAway(const CSQLException& cause);
void LogForwarding(std::int64_t held);
void LogForwardingDone(std::int64_t forwarded);
// Refusals: one line when they begin ("why" names the file's trouble and the memory's bound), one
// when the spool takes readings again.
void LogSpoolFull(const std::string& why);
void LogSpoolTakesAgain(std::int64_t refused);
void LogSpoolLeftOver(const std::filesystem::path& path, std::int64_t held);
void LogSpoolUnavailable(const std::filesystem::path& path, const std::string& error, std::int64_t memoryLimitBytes);
// The file cannot take readings (`why`): they are held in memory; then the file has them all again.
void LogSpoolHeldInMemory(const std::filesystem::path& path, const std::string& why, std::int64_t memoryLimitBytes);
void LogSpoolFileTakesAgain(const std::filesystem::path& path, std::int64_t heldInMemory);
void LogSpoolLostAtStop(const std::filesystem::path& path, std::int64_t lost, const std::string& why);
// A damaged file, or a log without its file, kept aside under `aside`, `taken` readings read from it.
void LogSpoolKeptAside(const std::filesystem::path& path, const std::filesystem::path& aside, bool damaged,
                       const std::string& why, std::int64_t taken);
void LogSpoolRequeued(const std::filesystem::path& path, std::int64_t rows);
// A table whose rows keep failing while others are stored: its rows are set aside from now on;
// then it takes rows again.
void LogTableSetAside(const std::string& table, const CSQLException& failure, const std::filesystem::path& path);
void LogTableTakesAgain(const std::string& table, std::int64_t setAside, const std::filesystem::path& path);
// The program's stop: whether every byte received was decoded within `limitSeconds` (each reading
// then stored or spooled), the readings spooled meanwhile and those the spool keeps for the next
// start.
void LogStopped(bool finished, int limitSeconds, std::int64_t spooled, std::int64_t held);
// The forwarder cannot go on for a reason of its own (not the database's), and then can.
void LogForwardingStalled(const std::string& why);
void LogForwardingResumed();

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
void LogSpoolFull(std::int64_t limitBytes);
void LogSpoolTakesAgain(std::int64_t refused);
void LogSpoolLeftOver(const std::filesystem::path& path, std::int64_t held);
void LogSpoolUnavailable(const std::filesystem::path& path, const std::string& error);

#pragma once

#include "web/EventHub.h"
#include "web/MonitorSources.h"

// The console's event topics, each rendered as one line of JSON:
//   "fleet"    every RTU of the live table as /api/rtus gives it, and STALE;
//   "status"   /api/status with the last lines of "Log.txt";
//   "rtu:UID"  one RTU with its channels as /api/rtus/UID gives it (none when not in the table);
//   "raw"      the raw-data lines: in full the newest kRawLinesShown, as a delta those added since.
// `sources` must outlive the renderer. Called on the endpoint's thread and on the hub's ticker.
TopicRenderer ConsoleTopics(const MonitorSources& sources);

// The raw-data lines a newcomer to "raw" is shown.
constexpr std::size_t kRawLinesShown = 200;
// The last lines of the event log on the status page, read from at most the last kLogTailBytes.
constexpr std::size_t kLogTailLines = 20;
constexpr std::size_t kLogTailBytes = 8 * 1024;

// The last `lines` lines of the text file at `path`, oldest first; empty when it cannot be read.
std::vector<std::string> FileTail(const char* path, std::size_t lines, std::size_t maxBytes);

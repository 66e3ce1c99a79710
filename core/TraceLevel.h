#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>

// Which lines the program writes while it serves: the raw-data lines and the server's trace.
// kAll: every line (the window always). kFrames: the raw-data and decoded-reading lines of RTU
// frames only; none of the per-request Modbus/TCP lines, nor the connection server's trace of
// every connection. kNone: none of them; what remains are the status lines. A line not written is
// never formatted.
enum class TraceLevel : std::uint8_t { kAll, kFrames, kNone };

// Set once at start-up, before the server runs.
extern std::atomic<TraceLevel> traceLevel;

// "all", "frames" or "none"; nothing for any other text.
std::optional<TraceLevel> TraceLevelFromText(std::string_view text);

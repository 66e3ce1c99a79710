#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/rtusim/LatencyHistogram.h"
#include "tools/rtusim/ReplyCheck.h"

namespace rtusim {

// Everything one run counts. Owned and updated by the run's one thread.
struct SimStats {
    std::uint64_t sent = 0;          // messages written: frames + modbus_reads + modbus_writes
    std::uint64_t frames = 0;        // RTU frames, time requests included
    std::uint64_t timeRequests = 0;  // FN 0x83 frames
    std::uint64_t modbusReads = 0;
    std::uint64_t modbusWrites = 0;
    std::uint64_t readings = 0;  // history rows the frames and writes sent make the server record
    std::uint64_t bytesSent = 0;
    std::uint64_t bytesReceived = 0;
    std::uint64_t expectedReplies = 0;
    std::uint64_t replies = 0;       // expected replies that arrived, right or wrong
    std::uint64_t wrongReplies = 0;  // the sum of wrong[]
    std::uint64_t missingReplies = 0;
    std::uint64_t valuesChecked = 0;  // values read back and compared with a known value
    std::array<std::uint64_t, static_cast<std::size_t>(ReplyFault::Count)> wrong{};
    std::uint64_t connects = 0;  // connections opened
    std::uint64_t refused = 0;   // connection attempts that failed
    std::uint64_t dropped = 0;   // connections the server closed or reset
    std::uint64_t reopened = 0;  // connections closed and reopened at random (--reconnect-rate)
    std::uint64_t resets = 0;    // connections rtusim closed after a wrong or missing reply
    std::uint64_t skipped = 0;   // send slots passed while a connection was busy or closed
    LatencyHistogram latency;
    std::FILE* sentRecord = nullptr;  // --record: readings are written here once sent; not owned

    void countWrong(ReplyFault fault);
    bool passed() const { return wrongReplies == 0 && missingReplies == 0 && connects > 0; }
};

// The one-line JSON summary printed at the end of a run.
std::string summaryJson(const SimStats& stats, unsigned connections, double elapsedSeconds);

// A shorter JSON line for --progress.
std::string progressJson(const SimStats& stats, unsigned openConnections, double elapsedSeconds);

}  // namespace rtusim

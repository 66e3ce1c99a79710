#pragma once

#include <atomic>
#include <iosfwd>
#include <optional>

#include "tools/rtusim/SimConnection.h"
#include "tools/rtusim/SimOptions.h"
#include "tools/rtusim/SimStats.h"

namespace rtusim {

struct RunResult {
    SimStats stats;
    double elapsedSeconds = 0.0;
};

// Resolves host and port; empty when the host is unknown.
std::optional<PeerAddress> resolvePeer(const SimOptions& options);

// The units each connection may write: all of them, or with value checks a share of its own
// (Modbus-capable units dealt out first, so each connection gets one when there are enough).
std::vector<std::vector<std::uint32_t>> shareUnits(const SimOptions& options);

// Runs the connections on the calling thread until the duration or the count is reached (or stop
// is set, e.g. from a signal handler), then waits up to the reply time-out for replies still due.
// Progress lines go to progress when --progress is given.
RunResult runSimulation(const SimOptions& options, const PeerAddress& peer, const std::atomic<bool>& stop,
                        std::ostream& progress);

}  // namespace rtusim

#pragma once

#include <atomic>
#include <cstdint>

// What the connection server has done since the process started, for monitoring. Every count only
// grows; written with relaxed increments by the service threads, the workers and the timeout
// checker, read from any thread.
struct ServerCounts {
    std::atomic<std::uint64_t> accepted{0};
    std::atomic<std::uint64_t> refused{0};  // the table was full
    // Every connection closed, whatever the reason; those the peer ended and those the timeout
    // checker ended are also counted on their own. The rest ended on an error of ours or the
    // peer's (a reset, a failed send or receive) or at shutdown.
    std::atomic<std::uint64_t> closed{0};
    std::atomic<std::uint64_t> closedByPeer{0};
    std::atomic<std::uint64_t> closedByTimeout{0};
};

extern ServerCounts serverCounts;

#pragma once

#include <cstdint>

// Which rule makes an RTU silent: STALE seconds without a report, or three of its own usual
// intervals between reports.
enum class SilentBy { kStale, kUsualInterval };

struct Silence {
    std::int64_t afterMs = 0;  // without a report for longer, the RTU is silent
    SilentBy by = SilentBy::kStale;
};

// Three usual intervals are never less than this: a mobile network holds a report back for tens of
// seconds now and then, and an alert on every such delay would teach operators to ignore them.
inline constexpr std::int64_t kShortestSilenceMs = 60000;

// The silence of an RTU whose usual interval is `usualIntervalMs` (0: not known yet): the sooner
// of STALE and three usual intervals, the latter never under kShortestSilenceMs.
Silence SilenceOf(std::int64_t usualIntervalMs, int staleSeconds);

const char* SilentByName(SilentBy by);

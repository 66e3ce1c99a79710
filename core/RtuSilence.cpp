#include "core/RtuSilence.h"

#include <algorithm>

Silence SilenceOf(std::int64_t usualIntervalMs, int staleSeconds) {
    const std::int64_t staleMs = std::int64_t{staleSeconds} * 1000;
    if (usualIntervalMs <= 0) return {staleMs, SilentBy::kStale};
    const std::int64_t byInterval = std::max(3 * usualIntervalMs, kShortestSilenceMs);
    if (byInterval < staleMs) return {byInterval, SilentBy::kUsualInterval};
    return {staleMs, SilentBy::kStale};
}

const char* SilentByName(SilentBy by) { return by == SilentBy::kUsualInterval ? "usual_interval" : "stale"; }

#include "core/TraceLevel.h"

std::atomic<TraceLevel> traceLevel{TraceLevel::kAll};

std::optional<TraceLevel> TraceLevelFromText(std::string_view text) {
    if (text == "all") return TraceLevel::kAll;
    if (text == "frames") return TraceLevel::kFrames;
    if (text == "none") return TraceLevel::kNone;
    return std::nullopt;
}

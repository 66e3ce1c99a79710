#include "storage/ZoneSpans.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr std::time_t kDay = 24 * 60 * 60;

long OffsetAt(std::time_t instant) {
    std::tm local{};
    localtime_r(&instant, &local);
    return local.tm_gmtoff;
}

// The first second of (after, before] whose offset differs from the one at `after`.
std::time_t FirstChange(std::time_t after, std::time_t before) {
    const long offset = OffsetAt(after);
    while (before - after > 1) {
        const std::time_t middle = after + (before - after) / 2;
        (OffsetAt(middle) == offset ? after : before) = middle;
    }
    return before;
}

}  // namespace

std::string LtimeText(std::time_t instant, long offsetSeconds) {
    const std::time_t shifted = instant + offsetSeconds;
    std::tm fields{};
    gmtime_r(&shifted, &fields);
    char text[80];  // room for any int the compiler can imagine; the text is 19 characters
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", fields.tm_year + 1900, fields.tm_mon + 1,
                  fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec);
    return text;
}

std::string OffsetText(long offsetSeconds) {
    const long magnitude = std::labs(offsetSeconds);
    char text[64];
    if (magnitude % 60 == 0)
        std::snprintf(text, sizeof text, "%c%02ld:%02ld", offsetSeconds < 0 ? '-' : '+', magnitude / 3600,
                      magnitude / 60 % 60);
    else
        std::snprintf(text, sizeof text, "%c%02ld:%02ld:%02ld", offsetSeconds < 0 ? '-' : '+', magnitude / 3600,
                      magnitude / 60 % 60, magnitude % 60);
    return text;
}

std::vector<ZoneSpan> LocalZoneSpans(std::time_t from, std::time_t to) {
    long offset = OffsetAt(from);
    std::vector<ZoneSpan> spans{{kFirstLtime, OffsetText(offset)}};
    for (std::time_t at = from; at < to;) {
        const std::time_t next = std::min(at + kDay, to);
        if (OffsetAt(next) == offset) {
            at = next;
            continue;
        }
        const std::time_t change = FirstChange(at, next);
        const long newOffset = OffsetAt(change);
        // Moving forward the new offset's texts start later; moving back, the repeated texts stay
        // with the old offset: either way the span starts at the larger of the two.
        spans.push_back({LtimeText(change, std::max(offset, newOffset)), OffsetText(newOffset)});
        offset = newOffset;
        at = change;
    }
    return spans;
}

std::vector<ZoneSpan> SpansFrom(const std::vector<ZoneSpan>& spans, const std::string& at) {
    std::vector<ZoneSpan> from;
    for (const ZoneSpan& span : spans) {
        if (span.fromLtime > at)
            from.push_back(span);
        else if (from.empty())
            from.push_back({at, span.utcOffset});
        else
            from.front().utcOffset = span.utcOffset;
    }
    return from;
}

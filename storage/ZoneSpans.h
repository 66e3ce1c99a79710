#pragma once

#include <ctime>
#include <string>
#include <vector>

// The local time zone as LTIME is written in it: stretches of local time text, each with the UTC
// offset in force there. A span runs from its `fromLtime` (a "YYYY-MM-DD HH:MM:SS" text, compared
// as text as LTIME is) up to the next span's. The texts a clock moved forward over never occur in
// LTIME; those it moved back over occur twice and are given the offset of their first pass, since
// the text alone cannot tell the passes apart.
struct ZoneSpan {
    std::string fromLtime;
    std::string utcOffset;  // "+05:30", "-04:00"; with seconds ("-00:44:30") only where the zone has them

    bool operator==(const ZoneSpan&) const = default;
};

// A text before every time stamp, where the first span starts.
inline constexpr const char* kFirstLtime = "0000-01-01 00:00:00";

// The spans of the process's local zone (TZ, else /etc/localtime) between two instants: the first
// from kFirstLtime with the offset at `from`, then one for each change of offset up to `to`.
// A change of offset found by stepping a day at a time: two changes within one day that cancel
// out are not seen (no zone has had one).
std::vector<ZoneSpan> LocalZoneSpans(std::time_t from, std::time_t to);

// The instant as a local time text at the given offset.
std::string LtimeText(std::time_t instant, long offsetSeconds);
std::string OffsetText(long offsetSeconds);

// The spans in force from the local time text `at` on: the one holding `at`, starting at `at`,
// then every later one. `spans` are in order of fromLtime.
std::vector<ZoneSpan> SpansFrom(const std::vector<ZoneSpan>& spans, const std::string& at);

#pragma once

#include <stdlib.h>

#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

// Runs the scope in another local time zone: TZ set and read again, then put back. Only while
// no other thread of the process reads the local time.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const std::string& zone) {
        if (const char* old = std::getenv("TZ")) previous = old;
        setenv("TZ", zone.c_str(), 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (previous)
            setenv("TZ", previous->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> previous;
};

// Seconds since 1970 of a time with its offset, as ISO 8601 ("2026-07-15T08:00:00-04:00") or as
// PostgreSQL prints a timestamptz ("2026-07-15 12:00:00+00", "2026-07-16 00:00:00+12"); -1 when it
// is neither.
inline long long EpochOfTimestamp(const std::string& text) {
    int year, month, day, hour, minute, second, offsetHours, offsetMinutes = 0, consumed = 0;
    char sign;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%*1[ T]%2d:%2d:%2d%c%2d%n:%2d%n", &year, &month, &day, &hour, &minute,
                    &second, &sign, &offsetHours, &consumed, &offsetMinutes, &consumed) < 8 ||
        (sign != '+' && sign != '-') || static_cast<std::size_t>(consumed) != text.size())
        return -1;
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    const long long offset = (offsetHours * 3600LL + offsetMinutes * 60LL) * (sign == '-' ? -1 : 1);
    return static_cast<long long>(timegm(&fields)) - offset;
}

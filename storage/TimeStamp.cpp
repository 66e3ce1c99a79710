#include "storage/TimeStamp.h"

#include <algorithm>
#include <cstdio>

namespace {

// The fields of a broken-down time are always in range; saying so lets the compiler see that the
// formatted stamp fits its buffer.
struct StampFields {
    int year, month, day, hour, minute, second;
};

StampFields Fields(const std::tm& local) {
    return {std::clamp(local.tm_year + 1900, 0, 9999), std::clamp(local.tm_mon + 1, 0, 99),
            std::clamp(local.tm_mday, 0, 99),          std::clamp(local.tm_hour, 0, 99),
            std::clamp(local.tm_min, 0, 99),           std::clamp(local.tm_sec, 0, 99)};
}

std::tm LocalTime(std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    return local;
}

}  // namespace

void FormatTimeStamp(char* buffer, const std::tm& local) {
    const StampFields f = Fields(local);
    std::snprintf(buffer, kTimeStampSize, "%4.4d-%2.2d-%2.2d %2.2d:%2.2d:%2.2d", f.year, f.month, f.day, f.hour,
                  f.minute, f.second);
}

void FormatNow(char* buffer) { FormatTimeStamp(buffer, LocalTime(std::time(nullptr))); }

void FormatDayBound(char* buffer, std::time_t time, int mode) {
    const std::tm local = LocalTime(time);
    const StampFields f = Fields(local);
    if (mode == 0)
        std::snprintf(buffer, kTimeStampSize, "%4.4d-%2.2d-%2.2d 00:00:00", f.year, f.month, f.day);
    else if (mode == 1)
        std::snprintf(buffer, kTimeStampSize, "%4.4d-%2.2d-%2.2d 24:60:60", f.year, f.month, f.day);
    else
        FormatTimeStamp(buffer, local);
}

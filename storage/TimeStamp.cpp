#include "storage/TimeStamp.h"

#include <cstdio>

namespace {

std::tm LocalTime(std::time_t time)
{
    std::tm local{};
    localtime_r(&time, &local);
    return local;
}

}  // namespace

void FormatTimeStamp(char* buffer, const std::tm& local)
{
    std::snprintf(buffer, kTimeStampSize, "%4.4d-%2.2d-%2.2d %2.2d:%2.2d:%2.2d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

void FormatNow(char* buffer)
{
    FormatTimeStamp(buffer, LocalTime(std::time(nullptr)));
}

void FormatDayBound(char* buffer, std::time_t time, int mode)
{
    const std::tm local = LocalTime(time);
    if (mode == 0)
        std::snprintf(buffer, kTimeStampSize, "%4.4d-%2.2d-%2.2d 00:00:00", local.tm_year + 1900, local.tm_mon + 1,
                      local.tm_mday);
    else if (mode == 1)
        std::snprintf(buffer, kTimeStampSize, "%4.4d-%2.2d-%2.2d 24:60:60", local.tm_year + 1900, local.tm_mon + 1,
                      local.tm_mday);
    else
        FormatTimeStamp(buffer, local);
}

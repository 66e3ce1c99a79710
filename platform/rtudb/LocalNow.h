#pragma once

#include <cstdio>
#include <ctime>
#include <string>

// now() as Access offers it: the local date and time as text that sorts like the time stamps,
// "YYYY-MM-DD HH:MM:SS". Both engines give this same text.
inline std::string LocalNowText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

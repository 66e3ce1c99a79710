#pragma once

#include <cstddef>
#include <ctime>

// Text time stamps in local time. Every buffer holds at least kTimeStampSize bytes.
constexpr std::size_t kTimeStampSize = 32;

// "YYYY-MM-DD HH:MM:SS" of now, 19 characters and a NUL.
void FormatNow(char* buffer);

// Mode 0: the day start "YYYY-MM-DD 00:00:00" of `time`; mode 1: the day end
// "YYYY-MM-DD 24:60:60", not a valid time but a text that sorts after every stamp of that day;
// any other mode: the full stamp of `time`.
void FormatDayBound(char* buffer, std::time_t time, int mode);

// The full stamp of given calendar fields.
void FormatTimeStamp(char* buffer, const std::tm& local);

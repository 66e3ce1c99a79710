#pragma once

#include <string>
#include <vector>

#include "platform/profile/ProfileSettings.h"

// The RTU form holds 32 rows, so more columns than that are not shown.
inline constexpr int kMaxRtuColumns = 32;

// Captions "RDATA1" ... "RDATA<n>" of section RTU of "./data_rtu.ini", n being RDATACOUNTS held to
// 0 ... 32. Each is the heading of an RTU list column and the label of an RTU form row.
std::vector<std::string> ReadRtuColumnCaptions();

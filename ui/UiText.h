#pragma once

#include <QString>

#include <string>
#include <string_view>

#include "platform/profile/IniFileReader.h"
#include "platform/profile/IniFiles.h"

// INI values are bytes in the system's 8-bit encoding; the window shows them through this conversion.
inline QString UiText(const std::string& bytes) {
    return QString::fromLocal8Bit(bytes.data(), qsizetype(bytes.size()));
}

inline QString IniText(const IniFileReader& reader, std::string_view section, std::string_view key) {
    return UiText(reader.readValue(section, key));
}

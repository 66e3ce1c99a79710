#pragma once

#include <QString>

#include <string>
#include <string_view>

#include "platform/profile/IniFileReader.h"

// INI values are bytes in the system's 8-bit encoding; the window shows them through this conversion.
inline QString UiText(const std::string& bytes) { return QString::fromLocal8Bit(bytes.data(), qsizetype(bytes.size())); }

inline QString IniText(const IniFileReader& reader, std::string_view section, std::string_view key) {
    return UiText(reader.readValue(section, key));
}

// The four INI files, opened relative to the current directory at each read.
inline constexpr const char* kDataIniPath = "./data_rtu.ini";
inline constexpr const char* kUiIniPath = "./rtu_ui.ini";
inline constexpr const char* kMessagesIniPath = "./Messages.ini";
inline constexpr const char* kNamesIniPath = "./name_rtu.ini";

#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Longest value a read returns: the 255-byte buffer of a private-profile read, less its terminator.
inline constexpr std::size_t kMaxIniValueBytes = 254;

// Reads single values from one INI file by the private-profile rules: "[section]" lines open a
// section, "key = value" lines give values; names match without regard to ASCII letter case; blanks
// around keys and values are dropped; a value wrapped in double quotes loses them; only the first
// section of a name is searched and its first matching key wins. The file is read anew at every call
// and nothing is cached; a missing file, section or key reads as empty. Values are bytes, passed on
// unchanged. Not shared between threads: each user keeps its own reader.
class IniFileReader {
public:
    IniFileReader() = default;
    explicit IniFileReader(std::string path) : path(std::move(path)) {}

    // Remembers the path; a relative one resolves against the current directory at each read.
    void setFile(std::string newPath) { path = std::move(newPath); }
    const std::string& file() const { return path; }

    // The value, cut to kMaxIniValueBytes; empty when absent.
    std::string readValue(std::string_view section, std::string_view key) const;
    // The same, but absent (rather than empty) when the file, section or key is missing.
    std::optional<std::string> readValueIfPresent(std::string_view section, std::string_view key) const;
    // The value by the decimal rule (ParseIniNumber); 0 when absent.
    int readNumber(std::string_view section, std::string_view key) const;

private:
    std::string path;
};

// The decimal rule for numbers in INI files: leading blanks skipped, an optional sign, then decimal
// digits up to the first other character; 0 when there are none. Values beyond the range of int
// are held at its limits.
int ParseIniNumber(std::string_view text);

#include "platform/profile/IniFileReader.h"

#include <climits>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
    std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// Walks the lines of the file's text; Visit returns false to stop.
template <class Visit>
void ForEachLine(std::string_view text, Visit visit) {
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (!visit(Trim(line)) || end == std::string_view::npos) {
            return;
        }
        text.remove_prefix(end + 1);
    }
}

std::optional<std::string> FindValue(std::string_view text, std::string_view section, std::string_view key) {
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        text.remove_prefix(kUtf8Bom.size());
    }
    enum { kBefore, kInside, kAfter } state = kBefore;
    std::optional<std::string> value;
    ForEachLine(text, [&](std::string_view line) {
        if (!line.empty() && line.front() == '[') {
            std::string_view name = line.substr(1);
            name = name.substr(0, name.find(']'));
            if (state == kInside) {
                state = kAfter;
            } else if (state == kBefore && SameName(Trim(name), section)) {
                state = kInside;
            }
            return state != kAfter;
        }
        std::size_t equals = line.find('=');
        if (state != kInside || equals == std::string_view::npos || !SameName(Trim(line.substr(0, equals)), key)) {
            return true;
        }
        value = std::string(Unquote(Trim(line.substr(equals + 1))));
        return false;
    });
    if (value && value->size() > kMaxIniValueBytes) {
        value->resize(kMaxIniValueBytes);
    }
    return value;
}

}  // namespace

std::string IniFileReader::readValue(std::string_view section, std::string_view key) const {
    return readValueIfPresent(section, key).value_or(std::string());
}

std::optional<std::string> IniFileReader::readValueIfPresent(std::string_view section, std::string_view key) const {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return FindValue(text, section, key);
}

int IniFileReader::readNumber(std::string_view section, std::string_view key) const {
    return ParseIniNumber(readValue(section, key));
}

int ParseIniNumber(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    std::int64_t magnitude = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        if (magnitude <= INT_MAX) {
            magnitude = magnitude * 10 + (text[at] - '0');
        }
    }
    std::int64_t value = negative ? -magnitude : magnitude;
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

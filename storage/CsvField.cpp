#include "storage/CsvField.h"

#include <cctype>

namespace {

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Digits from `at` on; returns how many.
std::size_t SkipDigits(const std::string& text, std::size_t& at) {
    const std::size_t start = at;
    while (at < text.size() && IsDigit(text[at])) ++at;
    return at - start;
}

// A sign, digits with an optional point and fraction, and an optional exponent: what a
// spreadsheet reads as a number, and all the history columns hold for a value.
bool IsNumber(const std::string& text) {
    std::size_t at = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    std::size_t digits = SkipDigits(text, at);
    if (at < text.size() && text[at] == '.') {
        ++at;
        digits += SkipDigits(text, at);
    }
    if (digits == 0) return false;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
        if (SkipDigits(text, at) == 0) return false;
    }
    return at == text.size();
}

bool StartsFormula(const std::string& text) {
    if (text.empty()) return false;
    const char first = text.front();
    return (first == '=' || first == '+' || first == '-' || first == '@') && !IsNumber(text);
}

}  // namespace

std::string CsvField(const std::string& text) {
    const std::string field = StartsFormula(text) ? "'" + text : text;
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string quoted = "\"";
    for (const char c : field) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

#include "core/ParseDecimal.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Skips white space and a sign; returns true for a minus sign.
bool SkipSpaceAndSign(std::string_view text, std::size_t& i) {
    while (i < text.size() && IsSpace(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) return text[i++] == '-';
    return false;
}

std::size_t SkipDigits(std::string_view text, std::size_t i) {
    while (i < text.size() && IsDigit(text[i])) ++i;
    return i;
}

}  // namespace

DecimalNumber ParseDecimal(const ChunkView& text, std::size_t pos) {
    char number[kMaxCharsBeforePoint + 3];
    for (std::size_t i = 0; i < kMaxCharsBeforePoint; ++i) {
        const char c = static_cast<char>(text.At(pos + i));
        number[i] = c;
        if (c == '.') {
            number[i + 1] = static_cast<char>(text.At(pos + i + 1));
            number[i + 2] = static_cast<char>(text.At(pos + i + 2));
            return {ReadDecimalText(std::string_view(number, i + 3)), i + 3};
        }
    }
    return {};
}

double ReadDecimalText(std::string_view text) {
    std::size_t i = 0;
    const bool negative = SkipSpaceAndSign(text, i);
    const std::size_t intStart = i;
    const std::size_t intEnd = SkipDigits(text, i);
    std::size_t fracEnd = intEnd;
    if (intEnd < text.size() && text[intEnd] == '.') fracEnd = SkipDigits(text, intEnd + 1);
    const bool hasFraction = fracEnd > intEnd + 1;
    if (intEnd == intStart && !hasFraction) return 0.0;

    // from_chars wants digits on both sides of a point, so give it "0" for a missing integer part
    // and drop a point without decimals.
    std::string digits(intEnd == intStart ? "0" : "");
    digits.append(text.substr(intStart, (hasFraction ? fracEnd : intEnd) - intStart));
    double value = 0.0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value, std::chars_format::fixed);
    return negative ? -value : value;
}

std::int32_t ReadLeadingInt(std::string_view text) {
    std::size_t i = 0;
    const bool negative = SkipSpaceAndSign(text, i);
    std::uint32_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
    return static_cast<std::int32_t>(negative ? 0u - value : value);
}

std::int32_t TruncToInt32(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (x <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(x);
}

std::int32_t TruncScaledDecimal(double x, double relativeError) {
    const double nearest = std::nearbyint(x);
    if (std::fabs(x - nearest) <= relativeError * std::fabs(x)) return TruncToInt32(nearest);
    return TruncToInt32(x);
}

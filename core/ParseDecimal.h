#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/ChunkView.h"

// RTUs send numbers as up to 20 characters, a "." and exactly two decimals.
inline constexpr std::size_t kMaxCharsBeforePoint = 20;

struct DecimalNumber {
    double value = 0.0;
    std::size_t length = 0;  // characters consumed, up to and including the second decimal
};

// The number at pos: the text up to the first "." within 20 characters, the "." and the next two
// characters, read by ReadDecimalText. Without such a "." the number is 0 and consumes nothing.
DecimalNumber ParseDecimal(const ChunkView& text, std::size_t pos);

// Leading white space, an optional sign, digits, a decimal point and digits; reading stops at the
// first character that does not belong to the number. Text without a number gives 0.
// Independent of the process locale.
double ReadDecimalText(std::string_view text);

// Leading white space, an optional sign and the leading digits, in 32-bit arithmetic;
// 0 for text without digits.
std::int32_t ReadLeadingInt(std::string_view text);

// Truncates toward zero; values beyond the 32-bit range saturate and NaN gives 0.
std::int32_t TruncToInt32(double x);

// How far a binary number may lie from the decimal it was made from, relative to its size: a
// decimal read into a double (and scaled once more), or one kept in a float.
inline constexpr double kDoubleDecimalError = 4 * 2.220446049250313e-16;  // 4 x DBL_EPSILON
inline constexpr double kFloatDecimalError = 1.1920928955078125e-07;      // FLT_EPSILON

// A scaled decimal as an integer: TruncToInt32(x), except that an x within relativeError x |x| of
// an integer is that integer. So 49.80 x 10 gives 498, although the binary 49.8 times 10 lies just
// below it; a real fraction is still cut off (0.15 x 10 gives 1).
std::int32_t TruncScaledDecimal(double x, double relativeError);

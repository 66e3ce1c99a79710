#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

#include "core/ParseDecimal.h"

namespace {

struct DecimalRow {
    const char* text;
    double value;
    std::size_t length;
};

class ParseDecimalRows : public ::testing::TestWithParam<DecimalRow> {};

TEST_P(ParseDecimalRows, ReadsNumberAndLength) {
    const std::string text = GetParam().text;
    const ChunkView view(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    const DecimalNumber number = ParseDecimal(view, 0);
    EXPECT_DOUBLE_EQ(number.value, GetParam().value) << text;
    EXPECT_EQ(number.length, GetParam().length) << text;
}

INSTANTIATE_TEST_SUITE_P(Numbers, ParseDecimalRows,
                         ::testing::Values(DecimalRow{"12.34$", 12.34, 5}, DecimalRow{"0.29,", 0.29, 4},
                                           DecimalRow{"-1.50", -1.5, 5}, DecimalRow{"+3.00", 3.0, 5},
                                           DecimalRow{" \t7.25", 7.25, 6},
                                           DecimalRow{"12.345", 12.34, 5},  // exactly two decimals
                                           DecimalRow{"1e5.00", 1.0, 6},    // no exponents
                                           DecimalRow{"x1.00", 0.0, 5},     // not a number: 0, still consumed
                                           DecimalRow{".50", 0.5, 3},
                                           DecimalRow{"7.", 7.0, 4},  // decimals cut by the end
                                           DecimalRow{"1234567890123456789.12", 1234567890123456789.12, 22},
                                           DecimalRow{"12345678901234567890.12", 0.0, 0},  // "." beyond 20 characters
                                           DecimalRow{"1234", 0.0, 0}, DecimalRow{"", 0.0, 0}));

TEST(ReadLeadingInt, ReadsLikeAtoi) {
    EXPECT_EQ(ReadLeadingInt("00065537"), 65537);
    EXPECT_EQ(ReadLeadingInt(" -12x"), -12);
    EXPECT_EQ(ReadLeadingInt("12ab"), 12);
    EXPECT_EQ(ReadLeadingInt("abc"), 0);
    EXPECT_EQ(ReadLeadingInt(""), 0);
    EXPECT_EQ(ReadLeadingInt("- 5"), 0);
}

TEST(TruncToInt32, TruncatesTowardZeroAndSaturates) {
    EXPECT_EQ(TruncToInt32(0.29 * 100), 28);
    EXPECT_EQ(TruncToInt32(1.15 * 100), 114);
    EXPECT_EQ(TruncToInt32(-2.7), -2);
    EXPECT_EQ(TruncToInt32(1e12), INT_MAX);
    EXPECT_EQ(TruncToInt32(-1e12), INT_MIN);
    EXPECT_EQ(TruncToInt32(std::nan("")), 0);
}

// Exact where the binary number only misses the decimal it stands for; real fractions cut off.
TEST(TruncScaledDecimal, KeepsDecimalsTheBinaryNumberMisses) {
    EXPECT_EQ(TruncScaledDecimal(0.29 * 100, kDoubleDecimalError), 29);
    EXPECT_EQ(TruncScaledDecimal(10.0 * 49.8f, kFloatDecimalError), 498);
    EXPECT_EQ(TruncScaledDecimal(10.0 * 0.7f, kFloatDecimalError), 7);
    EXPECT_EQ(TruncScaledDecimal(10.0 * -0.7f, kFloatDecimalError), -7);
    EXPECT_EQ(TruncScaledDecimal(10.0 * 0.15f, kFloatDecimalError), 1);
    EXPECT_EQ(TruncScaledDecimal(10.0 * 49.89f, kFloatDecimalError), 498);
}

}  // namespace

#include "platform/rtudb/PostgresRows.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

// Type OIDs of the built-in types (pg_type.dat); stable across server versions.
constexpr Oid kInt8 = 20;
constexpr Oid kInt2 = 21;
constexpr Oid kInt4 = 23;
constexpr Oid kText = 25;
constexpr Oid kFloat4 = 700;
constexpr Oid kFloat8 = 701;
constexpr Oid kVarchar = 1043;
constexpr int kVarcharHeader = 4;  // a varchar's type modifier is its length plus this

constexpr std::size_t kUnsizedTextLength = 255;
constexpr std::size_t kOtherColumnLength = 32;

double ParseDouble(const char* text) {
    if (text[0] == 'N') return std::nan("");
    if (text[0] == 'I') return HUGE_VAL;
    if (text[0] == '-' && text[1] == 'I') return -HUGE_VAL;
    double value = 0;
    std::from_chars(text, text + std::strlen(text), value);
    return value;
}

}  // namespace

std::string FormatLikeSqlite(double value) {
    if (!std::isfinite(value)) return std::isnan(value) ? "NaN" : (value > 0 ? "Inf" : "-Inf");
    // to_chars, unlike printf, ignores the process locale (Qt sets it from the environment).
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15).ptr;
    std::string result(text, end);
    if (result.find('.') != std::string::npos) return result;
    const std::size_t exponent = result.find('e');
    result.insert(exponent == std::string::npos ? result.size() : exponent, ".0");
    return result;
}

std::string PostgresRows::ColumnName(int index) const {
    const char* name = PQfname(result_, index);
    return name != nullptr ? name : "";
}

std::string PostgresRows::ColumnTypeName(int index) const {
    switch (PQftype(result_, index)) {
        case kInt2:
            return "smallint";
        case kInt4:
            return "integer";
        case kInt8:
            return "bigint";
        case kFloat4:
            return "real";
        case kFloat8:
            return "double precision";
        case kText:
            return "text";
        case kVarchar:
            return "varchar";
        default:
            return "";
    }
}

std::size_t PostgresRows::ColumnLength(int index) const {
    const Oid type = PQftype(result_, index);
    const int modifier = PQfmod(result_, index);
    if (type == kVarchar && modifier > kVarcharHeader) return static_cast<std::size_t>(modifier - kVarcharHeader);
    return type == kVarchar || type == kText ? kUnsizedTextLength : kOtherColumnLength;
}

bool PostgresRows::Next(EngineError&) {
    if (row_ >= PQntuples(result_)) return false;
    return ++row_ < PQntuples(result_);
}

bool PostgresRows::Text(int index, std::string& text) {
    if (row_ < 0 || row_ >= PQntuples(result_) || PQgetisnull(result_, row_, index)) return false;
    const char* value = PQgetvalue(result_, row_, index);
    const Oid type = PQftype(result_, index);
    if (type == kFloat8 || type == kFloat4)
        text = FormatLikeSqlite(ParseDouble(value));
    else
        text.assign(value, static_cast<std::size_t>(PQgetlength(result_, row_, index)));
    return true;
}

#include "storage/sql/SQLBase.h"

#include <strings.h>

#include "storage/sql/SqlQuote.h"

namespace {

bool IsNumberType(std::uint8_t valueType) {
    return valueType == kValueFloat || valueType == kValueInteger || valueType == kValueNumber;
}

}  // namespace

std::string CSQLBase::ValueLiteral(const std::string& value, std::uint8_t valueType) const {
    if (value.empty() || strcasecmp(value.c_str(), "NULL") == 0) return "NULL";
    if (value.rfind("{d'", 0) == 0 || strcasecmp(value.c_str(), "now()") == 0) return value;
    if (IsNumberType(valueType)) return value;
    return "'" + (escapeQuotes ? DoubleQuotes(value) : value) + "'";
}

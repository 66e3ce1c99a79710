#pragma once

#include <cstdint>
#include <string>

// Value type codes of AddField and GetField. The system passes kValueText everywhere; the three
// number codes are written bare, and kValueFloat is read back with two decimals.
enum : std::uint8_t {
    kValueText = 1,
    kValueFloat = 7,
    kValueInteger = 8,
    kValueNumber = 9,
};

// The parts every statement builder shares.
class CSQLBase {
public:
    bool escapeQuotes = true;  // text values get every single quote doubled
    std::string table;
    std::string sql;

protected:
    // The literal for one value: NULL for an empty text or any-case "null"; a date escape
    // ({d'...) or any-case "now()" unchanged; numbers bare; text quoted.
    std::string ValueLiteral(const std::string& value, std::uint8_t valueType) const;
};

class CSQLBaseWhere : public CSQLBase {
public:
    virtual ~CSQLBaseWhere() = default;

    std::string where;  // optional where-clause text; empty in this system
};

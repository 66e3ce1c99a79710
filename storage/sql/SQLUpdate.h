#pragma once

#include "storage/sql/SQLBase.h"

// Composes "update table set column=value, ..."; callers append their own WHERE text.
class CSQLUpdate : public CSQLBaseWhere {
public:
    explicit CSQLUpdate(const std::string& tableName);

    // A column text that already holds '=' is taken as the whole left side ("RDATA1=").
    void AddField(const std::string& column, const std::string& value, std::uint8_t valueType);
    const std::string& BuildSQL();

    std::string setList;
};

#pragma once

#include "storage/sql/SQLBase.h"

// Composes INSERT INTO table( columns ) VALUES( values ) from column/value pairs.
class CSQLInsert : public CSQLBase {
public:
    explicit CSQLInsert(const std::string& tableName);

    void AddField(const std::string& column, const std::string& value, std::uint8_t valueType);
    const std::string& BuildSQL();

    std::string columns;
    std::string values;
};

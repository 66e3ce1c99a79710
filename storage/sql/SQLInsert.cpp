#include "storage/sql/SQLInsert.h"

CSQLInsert::CSQLInsert(const std::string& tableName) { table = tableName; }

void CSQLInsert::AddField(const std::string& column, const std::string& value, std::uint8_t valueType) {
    if (!columns.empty()) columns += ", ";
    columns += column;
    if (!values.empty()) values += ", ";
    values += ValueLiteral(value, valueType);
}

const std::string& CSQLInsert::BuildSQL() {
    sql = "INSERT INTO " + table + "( " + columns + " ) VALUES( " + values + " )";
    return sql;
}

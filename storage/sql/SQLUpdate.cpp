#include "storage/sql/SQLUpdate.h"

CSQLUpdate::CSQLUpdate(const std::string& tableName) { table = tableName; }

void CSQLUpdate::AddField(const std::string& column, const std::string& value, std::uint8_t valueType) {
    if (!setList.empty()) setList += ", ";
    setList += column;
    if (column.find('=') == std::string::npos) setList += "=";
    setList += ValueLiteral(value, valueType);
}

const std::string& CSQLUpdate::BuildSQL() {
    sql = "update " + table + " set " + setList;
    if (!where.empty()) sql += " where " + where;
    return sql;
}

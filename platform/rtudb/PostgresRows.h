#pragma once

#include "platform/rtudb/Engine.h"

#include <libpq-fe.h>

// The rows of one PostgreSQL query, held whole on the client (libpq's default): the connection
// is free for the next statement at once, whoever reads these rows and however slowly.
class PostgresRows final : public IEngineRows {
public:
    explicit PostgresRows(PGresult* result) : result_(result) {}  // takes ownership
    ~PostgresRows() override { PQclear(result_); }
    PostgresRows(const PostgresRows&) = delete;
    PostgresRows& operator=(const PostgresRows&) = delete;

    int ColumnCount() const override { return PQnfields(result_); }
    std::string ColumnName(int index) const override;
    std::string ColumnTypeName(int index) const override;
    std::size_t ColumnLength(int index) const override;
    bool Next(EngineError& error) override;
    bool Text(int index, std::string& text) override;

private:
    PGresult* result_;
    int row_ = -1;
};

// A double as SQLite prints it (15 significant digits, always a decimal point: 1.0, 12.3,
// 1.0e+20), so a FLOAT column reads back the same text from either engine.
std::string FormatLikeSqlite(double value);

#pragma once

#include <string>
#include <string_view>

// The SQL an engine speaks.
enum class SqlDialect { Sqlite, Postgres };

// Turns one statement of the Access dialect the program speaks into text the engine accepts.
// The rewriting works on tokens, so string literals and quoted names are never changed:
// - a name that begins with a digit is quoted (12_DIN0 -> "12_DIN0");
// - DELETE * FROM loses its asterisk;
// - the ODBC escapes {d'...'}, {t'...'} and {ts'...'} become the plain string literal.
// For PostgreSQL, besides (see PostgresRewrite.h): every name is lower case, column types are
// PostgreSQL's, text columns compare byte-wise, and now() is the client's local time.
// Exactly one statement is accepted; text after a ';' other than blanks and comments is refused.
struct RewrittenStatement {
    bool ok = false;
    std::string sql;    // the text for SQLite when ok
    std::string verb;   // the first keyword in upper case (SELECT, UPDATE, ...)
    std::string error;  // why the text was refused when not ok
};

RewrittenStatement RewriteStatement(std::string_view text, SqlDialect dialect = SqlDialect::Sqlite);

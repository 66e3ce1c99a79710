#pragma once

#include "platform/rtudb/SqlTokenizer.h"

#include <string>
#include <string_view>
#include <vector>

// The token rules that make the program's Access-style SQL PostgreSQL's:
// - Names: PostgreSQL folds unquoted names to lower case and keeps quoted ones as written, so
//   one rule holds for every name the program sends: it is lower case. Bare names are written
//   lower case, names that begin with a digit are quoted in lower case (12_DIN0 -> "12_din0"),
//   and [name] or `name` become "name" as written. FULLRCDS and fullrcds are then one table,
//   and so are 12_DIN0 and 12_din0, as they are in SQLite.
// - Column types in CREATE and ALTER: TEXT(n) -> varchar(n), TEXT -> text, INT -> integer,
//   BYTE -> smallint, FLOAT -> double precision; every text column gets COLLATE "C", so text
//   compares and sorts byte by byte as in SQLite, whatever the database's locale.
// - now() becomes the client's local time as a 'YYYY-MM-DD HH:MM:SS' literal, the text SQLite's
//   now() gives and the program's own time stamps have.

// The name as PostgreSQL stores an unquoted one.
std::string FoldedName(std::string_view name);

// Appends token i by the rules above (`definition`: the statement is CREATE or ALTER) and
// returns the index of the last token it consumed.
std::size_t AppendPostgresToken(const std::vector<Token>& tokens, std::size_t i, bool definition, std::string& out);

#pragma once

#include "platform/rtudb/Engine.h"

// A PostgreSQL server through libpq. The connection is opened with the data source's SERVER,
// PORT, DATABASE and the user and password of SQLConnect, and works in its SCHEMA. Each
// statement runs alone in autocommit, so it is committed (durably, with the server's default
// synchronous_commit) before Run returns. The session reads statement text as UTF-8 with
// standard_conforming_strings on, whatever the server's defaults; bytes that are not UTF-8 are
// sent as the Latin-1 characters of their numbers (PostgresText.h), so every text is stored.
//
// A lost connection fails the statement that meets it with 08S01 and is opened again by the next
// statement. With a login time-out set, no call waits longer than it: it bounds the connection
// (connect_timeout), unacknowledged sends (tcp_user_timeout) and the wait for an answer.
std::unique_ptr<IEngine> OpenPostgresEngine(const DataSourceSettings& settings, EngineError& error);

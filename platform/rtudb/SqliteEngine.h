#pragma once

#include "platform/rtudb/Engine.h"

// The embedded engine: one SQLite file, opened full-mutex so that one connection serves several
// threads, WAL with synchronous=FULL so that a completed statement is on disk.
std::unique_ptr<IEngine> OpenSqliteEngine(const DataSourceSettings& settings, EngineError& error);

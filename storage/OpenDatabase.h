#pragma once

#include "platform/profile/MessageBox.h"

class CSQLDatabase;
class OdbcInstaller;

// The open-database command (CMD_OPEN_DATABASE, 4097), run once at start-up before the registry is
// first read. Makes sure ~/rtu exists and holds RTU.db (copied from the seed "./RTU.db" when
// missing, never overwriting), connects to "RTUDB" with USER and PWD of [RTU_DB] in
// "./data_rtu.ini", registers the data source and retries once when that fails, then creates
// RTU_TAB and FULLRCDS when they are missing, and the READINGS view with what it needs (ReadingsView.h). Its results
// are `database.connected` and the boxes: on a new database "opened", "created", "created"; later just "opened";
// OPEN_DB_ERR on failure.
//
// Threads: the user-interface thread. The table creations hold DatabaseMutex, since history
// writers on worker threads may already use the connection.
void OpenDatabase(CSQLDatabase& database, IMessageBox& box);
// The same with a given installer (tests: a missing installer library).
void OpenDatabase(CSQLDatabase& database, IMessageBox& box, OdbcInstaller& installer);

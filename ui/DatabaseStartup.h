#pragma once

#include "core/HistoryWriter.h"
#include "platform/profile/MessageBox.h"
#include "storage/sql/SQLDatabase.h"

class CPageRtuList;

// The storage operations the main window runs at start-up, in one place so the window does not
// depend on how storage builds them. All on the user-interface thread.

// The open-database command: brings up the history database and shows the outcome.
void OpenTelvornDatabase(CSQLDatabase& database, IMessageBox& messageBox);

// Reading the registry into the RTU list page and the live RTU table (the page's reload).
void LoadRtuRegistry(CSQLDatabase& database, CPageRtuList& page);

// The writer the server hands to the core for every accepted reading; it records through the
// database once that is open. Null while the program records no history.
IHistoryWriter* StartupHistoryWriter(CSQLDatabase& database);

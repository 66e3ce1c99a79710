#pragma once

#include <vector>

#include "platform/profile/MessageBox.h"
#include "storage/RtuRegistry.h"
#include "storage/sql/SQLDatabase.h"

// The storage operations the main window runs at start-up, in one place so the window does not
// depend on how storage builds them. All on the user-interface thread.

// The open-database command: brings up the history database and shows the outcome.
void OpenTelvornDatabase(CSQLDatabase& database, IMessageBox& messageBox);

// The RTU list page's reload: reads the registry, giving the live RTU table the unit ids and models,
// and returns the rows for the list.
std::vector<RegistryRow> LoadRtuRegistry(CSQLDatabase& database);

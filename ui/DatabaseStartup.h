#pragma once

#include <vector>

#include "storage/RtuRegistry.h"
#include "storage/sql/SQLDatabase.h"

// The RTU list page's reload for a page built without the window, whose runtime otherwise runs it:
// reads the registry, giving the live RTU table the unit ids and models, and returns the rows for the
// list. On the user-interface thread.
std::vector<RegistryRow> LoadRtuRegistry(CSQLDatabase& database);

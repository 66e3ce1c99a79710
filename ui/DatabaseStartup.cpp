#include "ui/DatabaseStartup.h"

#include "core/RtuTable.h"

std::vector<RegistryRow> LoadRtuRegistry(CSQLDatabase& database) { return LoadRegistry(database, LiveRtuTable()); }

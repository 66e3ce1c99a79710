#include "ui/DatabaseStartup.h"

#include "core/RtuTable.h"
#include "storage/OpenDatabase.h"

void OpenTelvornDatabase(CSQLDatabase& database, IMessageBox& messageBox) { OpenDatabase(database, messageBox); }

std::vector<RegistryRow> LoadRtuRegistry(CSQLDatabase& database) { return LoadRegistry(database, LiveRtuTable()); }

#include "ui/PageRtuList.h"

#include "ui/StartupSettings.h"
#include "ui/WindowCommands.h"

// The template gives no size of its own; the page fills the tab control's display area.
CPageRtuList::CPageRtuList(QWidget* parent, CSQLDatabase& database, RegistryLoader loader)
    : CPageDialog(parent, kTemplateId, 650, 300),
      database(database),
      loadRegistry(std::move(loader)),
      columnCaptions(ReadRtuColumnCaptions()) {}

void CPageRtuList::OnCommand(int commandId) {
    if (commandId == CMD_RELOAD_RTU_LIST) {
        Reload();
    }
}

void CPageRtuList::Reload() {
    if (!database.connected.load() || !loadRegistry) {
        return;
    }
    rows = loadRegistry(database);
}

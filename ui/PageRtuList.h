#pragma once

#include <functional>
#include <string>
#include <vector>

#include "storage/sql/SQLDatabase.h"
#include "ui/PageDialog.h"

// Page 0, the RTU registry. Reloading it (command 1032) reads the registry from the open database and
// fills the live RTU table. User-interface thread only.
class CPageRtuList final : public CPageDialog {
public:
    static constexpr int kTemplateId = 141;
    // Reads the registry from the open database into the page and the live RTU table.
    using RegistryLoader = std::function<void(CSQLDatabase&, CPageRtuList&)>;

    CPageRtuList(QWidget* parent, CSQLDatabase& database, RegistryLoader loader);

    void OnCommand(int commandId) override;
    const std::vector<std::string>& ColumnCaptions() const { return columnCaptions; }

private:
    void Reload();

    CSQLDatabase& database;
    RegistryLoader loadRegistry;
    std::vector<std::string> columnCaptions;
};

#pragma once

#include <functional>
#include <string>
#include <vector>

#include "storage/RtuRegistry.h"
#include "storage/sql/SQLDatabase.h"
#include "ui/PageDialog.h"

// Page 0, the RTU registry. Reloading it (command 1032) reads the registry from the open database and
// fills the live RTU table. User-interface thread only.
class CPageRtuList final : public CPageDialog {
public:
    static constexpr int kTemplateId = 141;
    // Reads the registry from the open database, filling the live RTU table; returns its rows.
    using RegistryLoader = std::function<std::vector<RegistryRow>(CSQLDatabase&)>;

    CPageRtuList(QWidget* parent, CSQLDatabase& database, RegistryLoader loader);

    void OnCommand(int commandId) override;
    const std::vector<std::string>& ColumnCaptions() const { return columnCaptions; }
    // The registry rows of the last reload.
    const std::vector<RegistryRow>& Rows() const { return rows; }

private:
    void Reload();

    CSQLDatabase& database;
    RegistryLoader loadRegistry;
    std::vector<std::string> columnCaptions;
    std::vector<RegistryRow> rows;
};

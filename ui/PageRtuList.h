#pragma once

#include <QTreeWidget>

#include <functional>
#include <string>
#include <vector>

#include "platform/profile/MessageBox.h"
#include "storage/RtuRegistry.h"
#include "storage/sql/SQLDatabase.h"
#include "ui/PageDialog.h"
#include "widgets/CButtonST.h"
#include "widgets/CXColorStatic.h"

class CDyInputView;
class CPageRtuState;

// Page 0, the RTU registry: the list of registered RTUs, the RTU form for adding and editing, and the
// way to the RTU state page. Reloading it (CMD_RELOAD_RTU_LIST) reads the registry from the open database
// into the list and the live RTU table. User-interface thread only.
class CPageRtuList final : public CPageDialog {
public:
    static constexpr int kTemplateId = 141;
    // Every row carries the unit id and RDATA1 ... RDATA12.
    static constexpr int kCellsPerRow = 13;
    // Reads the registry from the open database, filling the live RTU table; returns its rows.
    using RegistryLoader = std::function<std::vector<RegistryRow>(CSQLDatabase&)>;
    using PageSelector = std::function<void(int index)>;

    CPageRtuList(QWidget* parent, CSQLDatabase& database, RegistryLoader loader, IMessageBox& box);

    // The RTU state page that "view" opens, and how to bring a page of the tab control to the front.
    void LinkStatePage(CPageRtuState* page, PageSelector selector);

    // The posted commands (reload, edit and show the selected RTU) and the context menu's (add, view,
    // reload); the buttons call their methods directly.
    void OnCommand(int commandId) override;
    // The buttons, the heading icon, a list of a few rows and the whole RTU form.
    QSize MinimumSize() const override;
    // Replaces the list's rows by these registry rows.
    void ShowRegistryRows(const std::vector<RegistryRow>& rows);

    const std::vector<std::string>& ColumnCaptions() const { return columnCaptions; }
    // The registry rows of the last reload.
    const std::vector<RegistryRow>& Rows() const { return rows; }
    QTreeWidget& List() const { return *list; }
    CDyInputView& InputPanel() const { return *inputPanel; }
    bool Expanded() const { return expanded; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void SetUpList();
    CButtonST* MakeButton(int id, int icon, int x, void (CPageRtuList::*handler)());
    void LayOut();
    void PlaceInputPanel();
    void Reload();
    void Add();
    void EditSelected();
    void View();
    void ShowSelected();
    void ToggleExpanded();
    void ShowContextMenu(const QPoint& globalPosition);
    std::vector<std::string> SelectedTexts() const;

    CSQLDatabase& database;
    RegistryLoader loadRegistry;
    IMessageBox& box;
    std::vector<std::string> columnCaptions;
    std::vector<RegistryRow> rows;
    CXColorStatic* headingIcon;
    CXColorStatic* headingText;
    QTreeWidget* list;
    CButtonST* addButton;
    CButtonST* viewButton;
    CButtonST* editButton;
    CButtonST* reloadButton;
    CButtonST* expandButton;
    CDyInputView* inputPanel;
    CPageRtuState* statePage = nullptr;
    PageSelector selectPage;
    bool expanded = false;
};

#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include <string>
#include <vector>

#include "platform/profile/MessageBox.h"
#include "storage/RtuRegistry.h"
#include "storage/sql/SQLDatabase.h"
#include "widgets/CButtonST.h"

class CPageDialog;

// The RTU form: a hidden child panel of the RTU list page, shown for adding or editing one RTU of the
// registry. Row k holds the unit id (k = 0) or RDATAk; the last row is an editable combo of model
// codes. Its buttons run the registry operations and post a reload to the page that opened it.
// User-interface thread only.
class CDyInputView final : public QWidget, public IRtuInputRows {
public:
    static constexpr int kTemplateId = 143;
    static constexpr int kMaxRows = 32;
    enum Mode { kAddMode = 0, kEditMode = 1 };

    CDyInputView(QWidget* parent, CSQLDatabase& database, IMessageBox& box);

    void buildRows(const std::vector<std::string>& captions);
    void setHeading(int newMode, const QString& heading);
    void prepareAdd(CPageDialog& owner);
    void prepareEdit(CPageDialog& owner);
    void fillRows(const std::vector<std::string>& texts);

    int RowCount() const override { return static_cast<int>(fields.size()); }
    std::string RowText(int row) const override;
    void SetRowText(int row, const QString& text);
    QWidget& Field(int row) const { return *fields.at(static_cast<std::size_t>(row)); }
    QLabel& Label(int row) const { return *labels.at(static_cast<std::size_t>(row)); }
    QGroupBox& Heading() const { return *heading; }
    CButtonST& DeleteButton() const { return *deleteButton; }
    int CurrentMode() const { return mode; }
    // Where the panel's controls lie, hidden ones included, in the panel's coordinates.
    QRect ContentsExtent() const;

protected:
    // Enter in a row saves, as the default button of a dialog would.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Confirm();
    void Delete();
    void ClearRows();
    void Notify(const char* section, const char* key, MessageIcon icon);
    void ReloadOwner();
    CButtonST* MakeButton(int id, const char* captionKey, int icon, int x);

    CSQLDatabase& database;
    IMessageBox& box;
    QGroupBox* heading;
    CButtonST* confirmButton;
    CButtonST* cancelButton;
    CButtonST* deleteButton;
    std::vector<QLabel*> labels;
    std::vector<QWidget*> fields;
    QFont rowFont;
    int mode = -1;
    CPageDialog* owner = nullptr;
};

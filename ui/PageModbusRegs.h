#pragma once

#include <QTreeWidget>

#include "platform/profile/MessageBox.h"
#include "storage/HistoryBrowser.h"
#include "storage/sql/SQLDatabase.h"
#include "ui/HistoryList.h"
#include "ui/PageDialog.h"
#include "ui/SaveFileDialog.h"

// Page 3, the first 32 Modbus registers of the current RTU and the history of the register selected.
// The RTU state page writes the values into the register list. User-interface thread only.
class CPageModbusRegs final : public CPageDialog {
public:
    static constexpr int kTemplateId = 138;
    static constexpr int kRegisterRows = 32;

    CPageModbusRegs(QWidget* parent, CSQLDatabase& database, IMessageBox& box, ISaveFileDialog& saveFile);

    // The posted load of the selected register's history; the export button calls the browser.
    void OnCommand(int commandId) override;

    QTreeWidget& RegisterList() const { return *registers; }
    CHistoryList& History() { return history; }
    CHistoryBrowser& Browser() { return browser; }

private:
    void FillRegisterNames();
    void LoadSelectedRegister();

    QTreeWidget* registers;
    CHistoryList history;
    CHistoryBrowser browser;
};

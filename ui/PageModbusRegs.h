#pragma once

#include <QTreeWidget>

#include "ui/PageDialog.h"

// Page 3, the first 32 Modbus registers of the current RTU. The RTU state page writes the values into
// the register list. User-interface thread only.
class CPageModbusRegs final : public CPageDialog {
public:
    static constexpr int kTemplateId = 138;
    static constexpr int kRegisterRows = 32;

    explicit CPageModbusRegs(QWidget* parent);

    QTreeWidget& RegisterList() const { return *registers; }

private:
    void FillRegisterNames();

    QTreeWidget* registers;
};

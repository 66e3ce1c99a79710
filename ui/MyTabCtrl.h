#pragma once

#include "platform/profile/IniFileReader.h"
#include "platform/profile/MessageBox.h"
#include "ui/PageRtuList.h"
#include "ui/SaveFileDialog.h"
#include "widgets/CEnTabCtrl.h"

class CPageTcpRowData;
class CPageRtuState;
class CPageModbusRegs;

// The main window's tab control with its four pages, in tab order: RTU list, raw data, RTU state,
// Modbus registers. The pages are created with it and deleted with it. User-interface thread only.
class CMyTabCtrl final : public CEnTabCtrl {
public:
    // Message boxes of the pages go to `box`.
    CMyTabCtrl(QWidget* parent, CSQLDatabase& database, CPageRtuList::RegistryLoader registryLoader, IMessageBox& box);

    // Gives every page its minimum size (CPageDialog::MinimumSize), shows page 0 and places every page
    // in the display area below the strip.
    void LayoutPages();

    CPageRtuList& RtuListPage() const { return *rtuList; }
    CPageTcpRowData& RawDataPage() const { return *rawData; }
    CPageRtuState& RtuStatePage() const { return *rtuState; }
    CPageModbusRegs& ModbusRegsPage() const { return *modbusRegs; }

private:
    IniFileReader uiIni;
    QtSaveFileDialog saveFileDialog;
    CPageRtuList* rtuList;
    CPageTcpRowData* rawData;
    CPageRtuState* rtuState;
    CPageModbusRegs* modbusRegs;
};

#include "ui/MyTabCtrl.h"

#include "ui/PageModbusRegs.h"
#include "ui/PageRtuState.h"
#include "ui/PageTcpRowData.h"
#include "ui/UiText.h"

CMyTabCtrl::CMyTabCtrl(QWidget* parent, CSQLDatabase& database, CPageRtuList::RegistryLoader registryLoader,
                       IMessageBox& box)
    : CEnTabCtrl(parent), uiIni(kUiIniPath), saveFileDialog(this) {
    rtuList = new CPageRtuList(this, database, std::move(registryLoader), box);
    rawData = new CPageTcpRowData(this);
    rtuState = new CPageRtuState(this, database, box, saveFileDialog);
    modbusRegs = new CPageModbusRegs(this, database, box, saveFileDialog);
    auto selector = [this](int index) { selectPage(index); };
    rtuList->LinkStatePage(rtuState, selector);
    rtuState->LinkPageSelector(selector);
    rtuState->LinkRegisterList(&modbusRegs->RegisterList());
    // A register history belongs to the RTU the state page shows, as the register values do.
    rtuState->LinkRtuChanged([this] { modbusRegs->Browser().Clear(); });
    CPageDialog* inTabOrder[] = {rtuList, rawData, rtuState, modbusRegs};
    for (int i = 0; i < 4; ++i) {
        AddPage(inTabOrder[i], inTabOrder[i]->TemplateId(), IniText(uiIni, kTitlesSection, "Page" + std::to_string(i)));
    }
}

void CMyTabCtrl::LayoutPages() {
    // A page keeps every control in reach: below this size its frame scrolls.
    for (CPageDialog* page : std::initializer_list<CPageDialog*>{rtuList, rawData, rtuState, modbusRegs}) {
        page->setMinimumSize(page->MinimumSize());
    }
    selectPage(0);
    PlacePages(DisplayArea());
}

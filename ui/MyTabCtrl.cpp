#include "ui/MyTabCtrl.h"

#include "ui/PageModbusRegs.h"
#include "ui/PageRtuState.h"
#include "ui/PageTcpRowData.h"
#include "ui/UiText.h"

CMyTabCtrl::CMyTabCtrl(QWidget* parent, CSQLDatabase& database, CPageRtuList::RegistryLoader registryLoader)
    : CEnTabCtrl(parent), uiIni(kUiIniPath) {
    rtuList = new CPageRtuList(this, database, std::move(registryLoader));
    rawData = new CPageTcpRowData(this);
    rtuState = new CPageRtuState(this);
    modbusRegs = new CPageModbusRegs(this);
    CPageDialog* inTabOrder[] = {rtuList, rawData, rtuState, modbusRegs};
    for (int i = 0; i < 4; ++i) {
        AddPage(inTabOrder[i], inTabOrder[i]->TemplateId(), IniText(uiIni, "Titles", "Page" + std::to_string(i)));
    }
}

void CMyTabCtrl::LayoutPages() {
    selectPage(0);
    PlacePages(DisplayArea());
}

#include "ui/PageModbusRegs.h"

#include <QHeaderView>

#include "platform/profile/IniFileReader.h"
#include "ui/PageFonts.h"
#include "ui/ResourceIds.h"
#include "ui/UiText.h"
#include "widgets/CButtonST.h"
#include "widgets/CDataTipDelegate.h"
#include "widgets/ResourceIcon.h"

CPageModbusRegs::CPageModbusRegs(QWidget* parent, CSQLDatabase& database, IMessageBox& box, ISaveFileDialog& saveFile)
    : CPageDialog(parent, kTemplateId, 547, 239),
      registers(new QTreeWidget(this)),
      history(this, saveFile),
      browser(database, history, box) {
    PlaceControl(*registers, IDC_REGISTER_LIST, 7, 7, 297, 225);
    registers->setRootIsDecorated(false);
    registers->setAllColumnsShowFocus(true);
    registers->setUniformRowHeights(true);
    registers->setFont(PageListFont());
    // Names longer than the 80-pixel name column show whole in a tooltip.
    registers->setItemDelegate(new CDataTipDelegate(registers));

    IniFileReader ui(kUiIniPath);
    QStringList captions;
    for (int i = 0; i < 5; ++i) {
        captions << IniText(ui, kModbusTextSection, "List" + std::to_string(i));
    }
    registers->setHeaderLabels(captions);
    registers->header()->resizeSection(0, 80);
    for (int i = 1; i < 5; ++i) {
        registers->header()->resizeSection(i, 120);
    }
    FillRegisterNames();

    PlaceControl(history.List(), IDC_REGISTER_HISTORY, 319, 25, 221, 207);
    history.List().setSelectionMode(QAbstractItemView::SingleSelection);
    history.SetFont(PageListFont());
    PlaceControl(history.Title(), IDC_REGISTER_TITLE, 318, 13, 176, 8);
    auto* exportButton = new CButtonST(this, IniText(ui, kRtuStateTextSection, "EXPORT"));
    PlaceControl(*exportButton, IDC_REGISTER_EXPORT, 502, 7, 38, 14);
    exportButton->SetIconNumber(IDI_EXPORT);
    exportButton->setAutoDefault(false);

    connect(exportButton, &QPushButton::clicked, this, [this] { browser.ExportHistoryCsv(); });
    connect(registers, &QTreeWidget::itemSelectionChanged, this,
            [this] { PostCommand(*this, CMD_LOAD_REGISTER_HISTORY); });
}

void CPageModbusRegs::FillRegisterNames() {
    IniFileReader names(kNamesIniPath);
    // Every register row shows the record card.
    QIcon rowIcon = ResourceIcon(IDI_RECORD);
    for (int k = 0; k < kRegisterRows; ++k) {
        QString name = IniText(names, kDeviceNamesSection, "MBUSREG" + std::to_string(k));
        if (name.isEmpty()) {
            name = QStringLiteral("R%1").arg(k, 2, 10, QChar('0'));
        }
        auto* row = new QTreeWidgetItem(registers, QStringList{name});
        row->setIcon(0, rowIcon);
    }
}

void CPageModbusRegs::OnCommand(int commandId) {
    if (commandId == CMD_LOAD_REGISTER_HISTORY) {
        LoadSelectedRegister();
    }
}

void CPageModbusRegs::LoadSelectedRegister() {
    int selected = -1;
    for (int k = 0; k < registers->topLevelItemCount(); ++k) {
        if (registers->topLevelItem(k)->isSelected()) {
            selected = k;
            break;
        }
    }
    // The title names the register by its own key, as the register list does: MBUSREG5 for row 5.
    browser.LoadHistory("MBUSREG", selected, "MBUSREG" + std::to_string(selected));
}

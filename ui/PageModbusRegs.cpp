#include "ui/PageModbusRegs.h"

#include <QHeaderView>

#include "platform/profile/IniFileReader.h"
#include "ui/UiText.h"
#include "ui/WindowCommands.h"
#include "widgets/ResourceIcon.h"

namespace {
// Image of every register row: the record card.
constexpr int kRegisterRowIcon = 139;
}  // namespace

CPageModbusRegs::CPageModbusRegs(QWidget* parent)
    : CPageDialog(parent, kTemplateId, 547, 239), registers(new QTreeWidget(this)) {
    PlaceControl(*registers, IDC_REGISTER_LIST, 7, 7, 297, 225);
    registers->setRootIsDecorated(false);
    registers->setAllColumnsShowFocus(true);

    IniFileReader ui(kUiIniPath);
    QStringList captions;
    for (int i = 0; i < 5; ++i) {
        captions << IniText(ui, "Page3Text", "List" + std::to_string(i));
    }
    registers->setHeaderLabels(captions);
    registers->header()->resizeSection(0, 80);
    for (int i = 1; i < 5; ++i) {
        registers->header()->resizeSection(i, 120);
    }
    FillRegisterNames();
}

void CPageModbusRegs::FillRegisterNames() {
    IniFileReader names(kNamesIniPath);
    QIcon rowIcon = ResourceIcon(kRegisterRowIcon);
    for (int k = 0; k < kRegisterRows; ++k) {
        QString name = IniText(names, "DEVNAMES", "MBUSREG" + std::to_string(k));
        if (name.isEmpty()) {
            name = QStringLiteral("R%1").arg(k, 2, 10, QChar('0'));
        }
        auto* row = new QTreeWidgetItem(registers, QStringList{name});
        row->setIcon(0, rowIcon);
    }
}

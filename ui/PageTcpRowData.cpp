#include "ui/PageTcpRowData.h"

#include <QResizeEvent>

#include "ui/WindowCommands.h"

namespace {
// Icon of the Reset button: the waste bin.
constexpr int kResetIcon = 148;
}  // namespace

CPageTcpRowData::CPageTcpRowData(QWidget* parent)
    : CPageDialog(parent, kTemplateId, 562, 283), list(new RawDataListBox(this)), reset(new CButtonST(this, "Reset")) {
    PlaceControl(*list, IDC_RAW_DATA_LIST, 7, 21, 487, 255);
    PlaceControl(*reset, IDC_RESET, 7, 0, 40, 14);
    // Lines arrive one by one; without uniform sizes every append re-measures the whole list.
    list->setUniformItemSizes(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    connect(reset, &QPushButton::clicked, this, [this] { OnCommand(IDC_RESET); });

    reset->SetIconNumber(kResetIcon);
}

void CPageTcpRowData::AddLine(const char* text) {
    // The core's lines end in "\r\n" as they would in a Windows list box; a list item shows none.
    QString line = QString::fromLocal8Bit(text);
    while (line.endsWith('\n') || line.endsWith('\r')) {
        line.chop(1);
    }
    gate.CallAndWait(this, [this, &line] { list->addItem(line); });
}

int CPageTcpRowData::Count() {
    int count = 0;
    gate.CallAndWait(this, [this, &count] { count = list->count(); });
    return count;
}

void CPageTcpRowData::Clear() {
    gate.CallAndWait(this, [this] { list->clear(); });
}

void CPageTcpRowData::OnCommand(int commandId) {
    if (commandId == IDC_RESET) {
        list->clear();
    }
}

void CPageTcpRowData::resizeEvent(QResizeEvent* event) {
    CPageDialog::resizeEvent(event);
    list->setGeometry(8, 28, width() - 16, height() - 44);
}

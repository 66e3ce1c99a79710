#include "ui/PageDialog.h"

#include <QMetaObject>
#include <QPointer>

#include "widgets/ControlId.h"

CPageDialog::CPageDialog(QWidget* parent, int templateId, int widthUnits, int heightUnits)
    : QWidget(parent), templateId(templateId), units(DialogFont()) {
    setFont(DialogFont());
    resize(units.Size(widthUnits, heightUnits));
}

void CPageDialog::PlaceControl(QWidget& control, int id, int x, int y, int width, int height) {
    SetControlId(control, id);
    control.setGeometry(units.Rect(x, y, width, height));
}

void CPageDialog::OnCommand(int) {}

void PostCommand(CPageDialog& page, int commandId) {
    QPointer<CPageDialog> target(&page);
    QMetaObject::invokeMethod(
        &page,
        [target, commandId] {
            if (target) {
                target->OnCommand(commandId);
            }
        },
        Qt::QueuedConnection);
}

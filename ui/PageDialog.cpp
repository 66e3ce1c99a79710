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

QSize CPageDialog::MinimumSize() const {
    QRect extent;
    for (const QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        extent |= control->geometry();
    }
    return QSize(extent.right() + 1, extent.bottom() + 1);
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

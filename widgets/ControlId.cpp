#include "widgets/ControlId.h"

namespace {
const char* const kControlIdProperty = "controlId";
}

void SetControlId(QWidget& control, int id) { control.setProperty(kControlIdProperty, id); }

QWidget* FindControl(const QWidget& parent, int id) {
    for (QWidget* child : parent.findChildren<QWidget*>()) {
        QVariant value = child->property(kControlIdProperty);
        if (value.isValid() && value.toInt() == id) {
            return child;
        }
    }
    return nullptr;
}

#include "widgets/BCMenu.h"

BCMenu::BCMenu(const QString& title, QWidget* parent) : QMenu(title, parent) {
    connect(this, &QMenu::triggered, this, [this](QAction* action) {
        if (onCommand) {
            onCommand(action->data().toInt());
        }
    });
}

QAction* BCMenu::AppendItem(int commandId, const QString& caption, const QIcon& icon) {
    QAction* action = addAction(icon, caption);
    action->setData(commandId);
    action->setIconVisibleInMenu(true);
    return action;
}

QAction* BCMenu::Item(int commandId) const {
    for (QAction* action : actions()) {
        if (action->data().toInt() == commandId) {
            return action;
        }
    }
    return nullptr;
}

#include "ui/SaveFileDialog.h"

#include <QFileDialog>

#include "ui/UiText.h"

std::string QtSaveFileDialog::AskSaveFileName(const std::string& suggestedName, const std::string& filter) {
    QString name = QFileDialog::getSaveFileName(parent, QString(), UiText(suggestedName), UiText(filter));
    return name.toLocal8Bit().toStdString();
}

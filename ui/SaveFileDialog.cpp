#include "ui/SaveFileDialog.h"

#include <QFileDialog>
#include <QStringList>

#include "ui/UiText.h"

QString ToolkitFileFilter(const std::string& filter) {
    const QStringList parts = UiText(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        // Patterns are separated by ";" in the pair form and by blanks in the toolkit's.
        const QString patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
        if (description.isEmpty() && patterns.isEmpty()) {
            continue;
        }
        const QString shown = QStringLiteral("(%1)").arg(patterns);
        filters << (description.endsWith(shown) ? description : (description + QLatin1Char(' ') + shown).trimmed());
    }
    return filters.join(QStringLiteral(";;"));
}

std::string QtSaveFileDialog::AskSaveFileName(const std::string& suggestedName, const std::string& filter) {
    QString name = QFileDialog::getSaveFileName(parent, QString(), UiText(suggestedName), ToolkitFileFilter(filter));
    return name.toLocal8Bit().toStdString();
}

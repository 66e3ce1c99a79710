#include "widgets/ResourceIcon.h"

#include <QFile>
#include <QString>

namespace {
QString ResourcePath(int number) { return QStringLiteral(":/icons/%1.svg").arg(number); }
}  // namespace

QIcon ResourceIcon(int number) {
    QString path = ResourcePath(number);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

QPixmap ResourcePixmap(int number, QSize size) { return ResourceIcon(number).pixmap(size); }

#pragma once

#include <QFont>

// The pages' list and button font: Arial, 14 pixels high, normal weight.
inline QFont PageListFont() {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(14);
    font.setWeight(QFont::Normal);
    return font;
}

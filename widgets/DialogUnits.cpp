#include "widgets/DialogUnits.h"

#include <QFontMetrics>

#include <algorithm>

DialogUnits::DialogUnits(const QFont& font) {
    QFontMetrics metrics(font);
    // The average width over the 52 Latin letters, halved with rounding, as the base unit is defined.
    int letters = metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    baseX = std::max(1, (letters / 26 + 1) / 2);
    baseY = std::max(1, metrics.height());
}

QFont DialogFont() {
    QFont font("Arial", 9);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QFont CellHeightFont(const QString& family, int cellHeight) {
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Normal);
    for (int pixels = std::max(1, cellHeight); pixels > 1; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).height() <= cellHeight) {
            return font;
        }
    }
    font.setPixelSize(1);
    return font;
}

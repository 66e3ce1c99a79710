#include "widgets/DialogUnits.h"

#include <QFontMetrics>

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

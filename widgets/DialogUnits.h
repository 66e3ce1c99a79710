#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

// Converts dialog-template geometry to pixels. A horizontal dialog unit is a quarter of the font's
// average character width and a vertical one an eighth of its height, so a layout written in dialog
// units scales with the dialog font. Any thread; holds only numbers.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int X(int units) const { return Scale(units, baseX, 4); }
    int Y(int units) const { return Scale(units, baseY, 8); }
    QRect Rect(int x, int y, int width, int height) const { return QRect(X(x), Y(y), X(width), Y(height)); }
    QSize Size(int width, int height) const { return QSize(X(width), Y(height)); }

    int BaseX() const { return baseX; }
    int BaseY() const { return baseY; }

private:
    // Rounded to the nearest pixel, as the template loader does.
    static int Scale(int units, int base, int divisor) { return (units * base + divisor / 2) / divisor; }

    int baseX = 1;
    int baseY = 1;
};

// The font of the dialog templates: Arial 9 pt (a metric-compatible substitute where Arial is missing).
QFont DialogFont();

// A font whose cell, ascent plus descent, is at most `cellHeight` pixels high. The dialog framework
// sizes a font given by a positive pixel height by its cell, not by its em square as Qt's pixel size
// does: Arial of height 14 has an em of 12 pixels, and taking 14 as the em makes every text about a
// sixth wider than the controls of the templates were drawn for.
QFont CellHeightFont(const QString& family, int cellHeight);

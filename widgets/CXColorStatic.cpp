#include "widgets/CXColorStatic.h"

CXColorStatic::CXColorStatic(QWidget* parent, const QString& text) : QLabel(text, parent) {
    setAutoFillBackground(true);
}

void CXColorStatic::SetBackgroundColor(const QColor& color) {
    QPalette colors = palette();
    colors.setColor(QPalette::Window, color);
    setPalette(colors);
}

void CXColorStatic::SetTextColor(const QColor& color) {
    QPalette colors = palette();
    colors.setColor(QPalette::WindowText, color);
    setPalette(colors);
}

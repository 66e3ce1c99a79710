#pragma once

#include <QColor>
#include <QLabel>

// A static text or image on a background colour of its own. User-interface thread only.
class CXColorStatic : public QLabel {
public:
    explicit CXColorStatic(QWidget* parent, const QString& text = QString());

    void SetBackgroundColor(const QColor& color);
    void SetTextColor(const QColor& color);
    QColor BackgroundColor() const { return palette().color(QPalette::Window); }
};

#pragma once

#include <QPushButton>

// A push button that shows an image beside its text: used as lamp, value display, status line and
// command button. User-interface thread only.
class CButtonST : public QPushButton {
public:
    explicit CButtonST(QWidget* parent, const QString& text = QString());

    // Shows resource image `number` at the given size beside the text; 0 removes the image.
    void SetIconNumber(int number, QSize size = QSize(16, 16));
    int IconNumber() const { return iconNumber; }
    // A flat button draws no frame until hovered: the look of a status display.
    void SetFlat(bool flat) { setFlat(flat); }

private:
    int iconNumber = 0;
};

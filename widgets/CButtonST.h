#pragma once

#include <QPushButton>

#include "widgets/ButtonCaption.h"

// A push button that shows an image beside its text: used as lamp, value display, status line and
// command button. Its caption wraps onto further lines where the button is tall enough (see
// ButtonCaption.h). User-interface thread only.
class CButtonST : public QPushButton {
public:
    explicit CButtonST(QWidget* parent, const QString& text = QString());

    // Shows resource image `number` at the given size beside the text; 0 removes the image.
    void SetIconNumber(int number, QSize size = QSize(16, 16));
    int IconNumber() const { return iconNumber; }
    // An image-first button keeps its image where the caption does not fit beside it, and shows the
    // caption as its tooltip then; by default the image gives way to the caption.
    void SetImageFirst(bool imageFirst);
    // A flat button draws no frame until hovered: the look of a status display.
    void SetFlat(bool flat) { setFlat(flat); }

    // Where the image and the caption go at the button's present size, font and style.
    CaptionLayout Layout() const;
    bool CaptionFits() const { return Layout().fits; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRect ContentsRect() const;

    void UpdateCaptionTip();

    int iconNumber = 0;
    CaptionPriority priority = CaptionPriority::kCaptionFirst;
};

#include "widgets/CButtonST.h"

#include <QStyleOptionButton>
#include <QStylePainter>

#include "widgets/ResourceIcon.h"

CButtonST::CButtonST(QWidget* parent, const QString& text) : QPushButton(text, parent) {}

void CButtonST::SetIconNumber(int number, QSize size) {
    iconNumber = number;
    setIcon(number == 0 ? QIcon() : ResourceIcon(number));
    setIconSize(size);
    UpdateCaptionTip();
}

void CButtonST::SetImageFirst(bool imageFirst) {
    priority = imageFirst ? CaptionPriority::kImageFirst : CaptionPriority::kCaptionFirst;
    UpdateCaptionTip();
}

void CButtonST::resizeEvent(QResizeEvent* event) {
    QPushButton::resizeEvent(event);
    UpdateCaptionTip();
}

// The caption an image-first button leaves out is shown as its tooltip.
void CButtonST::UpdateCaptionTip() {
    if (priority == CaptionPriority::kImageFirst) {
        setToolTip(Layout().text.isEmpty() ? text() : QString());
    }
}

QRect CButtonST::ContentsRect() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
}

CaptionLayout CButtonST::Layout() const {
    const QSize imageSize = icon().isNull() ? QSize() : iconSize();
    return LayOutCaption(ContentsRect(), imageSize, fontMetrics(), text(), priority);
}

void CButtonST::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    // The style draws the face and the focus frame; image and caption follow the caption layout.
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButton, option);

    CaptionLayout layout = Layout();
    if (isDown() || isChecked()) {
        const QPoint shift(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                           style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
        layout.image.translate(shift);
        layout.caption.translate(shift);
    }
    if (!layout.image.isEmpty()) {
        icon().paint(&painter, layout.image, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled,
                     isChecked() ? QIcon::On : QIcon::Off);
    }
    painter.save();
    painter.setClipRect(ContentsRect());
    style()->drawItemText(&painter, layout.caption, kCaptionFlags, palette(), isEnabled(), layout.text,
                          QPalette::ButtonText);
    painter.restore();
}

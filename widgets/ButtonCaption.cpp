#include "widgets/ButtonCaption.h"

namespace {
// The caption wrapped into `width` pixels: the size of its block of lines.
QSize CaptionBlock(const QFontMetrics& metrics, const QString& caption, int width) {
    if (caption.isEmpty() || width <= 0) {
        return caption.isEmpty() ? QSize() : QSize(metrics.horizontalAdvance(caption), metrics.height());
    }
    return metrics.boundingRect(QRect(0, 0, width, 1 << 20), kCaptionFlags, caption).size();
}

bool Inside(QSize block, int width, int height) { return block.width() <= width && block.height() <= height; }

// Centres the group of image and caption block in the contents.
CaptionLayout Centre(const QRect& contents, QSize imageSize, QSize block, bool fits) {
    const int spacing = imageSize.isEmpty() || block.isEmpty() ? 0 : kCaptionSpacing;
    const int groupWidth = imageSize.width() + spacing + block.width();
    const int left = contents.left() + (contents.width() - groupWidth) / 2;
    CaptionLayout layout;
    layout.fits = fits;
    if (imageSize.isEmpty()) {
        // Alone, the caption is centred on the button; an overlong one is cut evenly on both sides.
        layout.caption = contents;
        return layout;
    }
    layout.image = QRect(QPoint(left, contents.top() + (contents.height() - imageSize.height()) / 2), imageSize);
    layout.caption = QRect(layout.image.right() + 1 + spacing, contents.top(), block.width(), contents.height());
    return layout;
}
}  // namespace

CaptionLayout LayOutCaption(const QRect& contents, QSize imageSize, const QFontMetrics& metrics,
                            const QString& caption) {
    if (caption.isEmpty()) {
        return Centre(contents, imageSize, QSize(), Inside(imageSize, contents.width(), contents.height()));
    }
    if (!imageSize.isEmpty()) {
        const int besideImage = contents.width() - imageSize.width() - kCaptionSpacing;
        const QSize block = CaptionBlock(metrics, caption, besideImage);
        if (besideImage > 0 && Inside(block, besideImage, contents.height())) {
            return Centre(contents, imageSize, block, true);
        }
    }
    const QSize block = CaptionBlock(metrics, caption, contents.width());
    return Centre(contents, QSize(), block, Inside(block, contents.width(), contents.height()));
}

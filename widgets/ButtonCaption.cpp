#include "widgets/ButtonCaption.h"

#include <QStringList>

#include <optional>

namespace {
// The caption wrapped into `width` pixels: the size of its block of lines.
QSize CaptionBlock(const QFontMetrics& metrics, const QString& caption, int width) {
    return metrics.boundingRect(QRect(0, 0, width, 1 << 20), kCaptionFlags, caption).size();
}

// Centres the group of image and caption block in the contents.
CaptionLayout Centre(const QRect& contents, QSize imageSize, QSize block, const QString& text, bool fits) {
    const int spacing = imageSize.isEmpty() || block.isEmpty() ? 0 : kCaptionSpacing;
    const int groupWidth = imageSize.width() + spacing + block.width();
    const int left = contents.left() + (contents.width() - groupWidth) / 2;
    CaptionLayout layout;
    layout.text = text;
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

// The caption in `width` pixels beside an image of `imageSize` (none when empty), if it fits: on one
// line, else broken after its label ("Water meter: 12.50 m3" keeps value and unit together), else
// wrapped at any blank.
std::optional<CaptionLayout> Fit(const QRect& contents, QSize imageSize, const QFontMetrics& metrics,
                                 const QString& caption) {
    const int width = contents.width() - (imageSize.isEmpty() ? 0 : imageSize.width() + kCaptionSpacing);
    if (width <= 0) {
        return std::nullopt;
    }
    QStringList texts;
    if (metrics.horizontalAdvance(caption) <= width) {
        texts << caption;
    }
    const int label = caption.indexOf(QLatin1String(": "));
    if (label > 0) {
        texts << caption.left(label + 1) + QLatin1Char('\n') + caption.mid(label + 2);
    }
    texts << caption;
    for (const QString& text : texts) {
        const QSize block = CaptionBlock(metrics, text, width);
        if (block.width() <= width && block.height() <= contents.height()) {
            return Centre(contents, imageSize, block, text, true);
        }
    }
    return std::nullopt;
}
}  // namespace

CaptionLayout LayOutCaption(const QRect& contents, QSize imageSize, const QFontMetrics& metrics, const QString& caption,
                            CaptionPriority priority) {
    if (caption.isEmpty()) {
        const bool fits = imageSize.width() <= contents.width() && imageSize.height() <= contents.height();
        return Centre(contents, imageSize, QSize(), caption, fits);
    }
    if (!imageSize.isEmpty()) {
        if (auto beside = Fit(contents, imageSize, metrics, caption)) {
            return *beside;
        }
        if (priority == CaptionPriority::kImageFirst) {
            return Centre(contents, imageSize, QSize(), QString(), false);
        }
    }
    if (auto alone = Fit(contents, QSize(), metrics, caption)) {
        return *alone;
    }
    return Centre(contents, QSize(), CaptionBlock(metrics, caption, contents.width()), caption, false);
}

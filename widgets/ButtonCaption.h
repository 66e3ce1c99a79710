#pragma once

#include <QFontMetrics>
#include <QRect>
#include <QSize>
#include <QString>

// Where an image button draws its image and caption inside its contents rectangle. Image and caption
// sit side by side, centred as one group; a caption too long for one line goes onto as many lines as
// the height holds, as the captions of the dialog templates were drawn, broken after its label where
// it has one. When the caption fits only without the image, the image gives way: the value a button
// shows matters more than its decoration. A button whose image is its meaning (a small "back" arrow)
// keeps the image instead and leaves the caption out.
struct CaptionLayout {
    QRect image;  // empty when no image is drawn
    QRect caption;
    QString text;      // the caption with the line break chosen, if any
    bool fits = true;  // the whole caption lies inside the contents
};

// Pixels between the image and the caption, as a plain push button keeps them.
inline constexpr int kCaptionSpacing = 4;

// The drawing flags of the caption; measuring and drawing must use the same.
inline constexpr int kCaptionFlags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;

enum class CaptionPriority { kCaptionFirst, kImageFirst };

CaptionLayout LayOutCaption(const QRect& contents, QSize imageSize, const QFontMetrics& metrics, const QString& caption,
                            CaptionPriority priority = CaptionPriority::kCaptionFirst);

#pragma once

#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QPixmap>
#include <QRectF>
#include <QString>

// The look of the window, after macOS in its light appearance: the window keeps it whatever
// the desktop's theme, so every colour and size is fixed here. Sizes are in device-independent
// pixels, which stand for macOS points.
namespace corvane::ui {

namespace color {
inline const QColor red{0xFF, 0x3B, 0x30};
inline const QColor orange{0xFF, 0x95, 0x00};
inline const QColor green{0x28, 0xCD, 0x41};
inline const QColor mint{0x00, 0xC7, 0xBE};
inline const QColor blue{0x00, 0x7A, 0xFF};
inline const QColor gray{0x8E, 0x8E, 0x93};
inline const QColor black{0, 0, 0};
inline const QColor white{0xFF, 0xFF, 0xFF};
inline const QColor label{0, 0, 0, 217};
inline const QColor secondaryLabel{0, 0, 0, 128};
} // namespace color

enum class TextStyle { LargeTitle, Title2, Title3, Body, Caption };

QFont font(TextStyle style, QFont::Weight weight = QFont::Normal);
// The side of a symbol drawn beside or above text of `style`.
qreal symbolSize(TextStyle style);

// Symbol `name` drawn as a square `size` device-independent pixels wide, in `color`, sharp at
// `devicePixelRatio`. The symbols ship inside the application, so they look the same on every
// desktop: "wrench.and.screwdriver.fill", "questionmark.circle", "xmark.circle",
// "doc.on.clipboard" and "exclamationmark.triangle.fill". Null for any other name.
QPixmap symbolPixmap(const QString& name, qreal size, const QColor& color,
                     qreal devicePixelRatio = 1.0);

// A rounded rectangle whose corners blend into the sides with continuous curvature, as
// macOS draws them, instead of meeting them in a circular arc. The radius shrinks to fit
// small rectangles.
QPainterPath continuousRoundedRect(const QRectF& rect, qreal radius);

} // namespace corvane::ui

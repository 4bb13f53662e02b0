#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

namespace corvane {

// The symbols the application draws with, shipped inside it so they look the same on every
// desktop: "wrench.and.screwdriver.fill", "questionmark.circle", "xmark.circle" and
// "exclamationmark.triangle.fill".
//
// Renders symbol `name` as a square `size` device-independent pixels wide, in `color`, sharp
// at `devicePixelRatio`. Null when no symbol of that name ships.
QPixmap symbolPixmap(const QString& name, qreal size, const QColor& color,
                     qreal devicePixelRatio = 1.0);

} // namespace corvane

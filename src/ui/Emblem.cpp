#include "ui/Emblem.h"

#include "ui/Style.h"

#include <QPainter>

namespace corvane::ui {
namespace {

constexpr qreal tileWidth = 24;
constexpr qreal tileHeight = 18;
constexpr qreal tileRadius = 3;
constexpr qreal tileSpacing = 2;
constexpr qreal padding = 8;
constexpr qreal stripRadius = 12;
constexpr int tileCount = 4;

} // namespace

Emblem::Emblem(QWidget* parent)
    : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize Emblem::sizeHint() const {
    const qreal width = tileCount * tileWidth + (tileCount - 1) * tileSpacing + 2 * padding;
    return QSize(static_cast<int>(width), static_cast<int>(tileHeight + 2 * padding));
}

void Emblem::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.fillPath(continuousRoundedRect(rect(), stripRadius), color::black);

    const QColor tiles[tileCount] = {color::red, color::orange, color::green, color::mint};
    qreal x = padding;
    for (const QColor& tile : tiles) {
        painter.fillPath(continuousRoundedRect({x, padding, tileWidth, tileHeight}, tileRadius),
                         tile);
        x += tileWidth + tileSpacing;
    }
}

} // namespace corvane::ui

#include "ui/SymbolButton.h"

#include "ui/Style.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace corvane::ui {
namespace {

constexpr qreal labelSpacing = 4;
constexpr qreal pressedOpacity = 0.5;

} // namespace

SymbolButton::SymbolButton(const QString& symbol, const QString& text, const QColor& color,
                           QWidget* parent)
    : QAbstractButton(parent)
    , symbol(symbol)
    , color(color) {
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFont(ui::font(TextStyle::Caption));
    setText(text);
}

QSize SymbolButton::sizeHint() const {
    const QFontMetricsF metrics(font());
    const qreal side = symbolSize(TextStyle::Title3);
    const qreal width = std::max(side, metrics.horizontalAdvance(text()));
    const qreal height = side + labelSpacing + metrics.height();
    return QSize(static_cast<int>(std::ceil(width)) + 2 * focusMargin,
                 static_cast<int>(std::ceil(height)) + 2 * focusMargin);
}

void SymbolButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (isDown())
        painter.setOpacity(pressedOpacity);

    const QRectF label =
        QRectF(rect()).adjusted(focusMargin, focusMargin, -focusMargin, -focusMargin);
    const qreal side = symbolSize(TextStyle::Title3);
    painter.drawPixmap(QPointF(label.center().x() - side / 2, label.top()),
                       symbolPixmap(symbol, side, color, devicePixelRatioF()));
    painter.setPen(color);
    painter.drawText(label.adjusted(0, side + labelSpacing, 0, 0), Qt::AlignHCenter | Qt::AlignTop,
                     text());

    if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
        QColor ring = color::blue;
        ring.setAlphaF(0.5);
        painter.setOpacity(1.0);
        painter.setPen(QPen(ring, 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(continuousRoundedRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), 6));
    }
}

} // namespace corvane::ui

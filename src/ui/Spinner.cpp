#include "Spinner.h"

#include <QPainter>

#include <algorithm>

namespace corvane::ui {
namespace {

constexpr int spokeCount = 12;
constexpr int revolutionMilliseconds = 1000;

} // namespace

Spinner::Spinner(QObject* parent)
    : QObject(parent) {
    rotation.setStartValue(0);
    rotation.setEndValue(spokeCount);
    rotation.setDuration(revolutionMilliseconds);
    rotation.setLoopCount(-1);
    connect(&rotation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        // The spokes step rather than glide; repaint only when the lead moves on.
        const int spoke = value.toInt() % spokeCount;
        if (spoke == leadingSpoke)
            return;
        leadingSpoke = spoke;
        emit changed();
    });
}

void Spinner::setRunning(bool running) {
    if (running && rotation.state() != QAbstractAnimation::Running)
        rotation.start();
    else if (!running)
        rotation.stop();
}

void Spinner::paint(QPainter& painter, const QRectF& bounds, const QColor& color) const {
    const qreal radius = std::min(bounds.width(), bounds.height()) / 2;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(bounds.center());
    for (int spoke = 0; spoke < spokeCount; ++spoke) {
        // The leading spoke is brightest; those behind it fade to a quarter.
        const int behind = (leadingSpoke - spoke + spokeCount) % spokeCount;
        QColor tint = color;
        tint.setAlphaF(color.alphaF() * (1.0 - 0.75 * behind / (spokeCount - 1)));
        painter.setPen(QPen(tint, radius * 0.24, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.88));
        painter.rotate(360.0 / spokeCount);
    }
    painter.restore();
}

} // namespace corvane::ui

#pragma once

#include <QObject>
#include <QVariantAnimation>

class QPainter;

namespace corvane::ui {

// An indeterminate activity indicator in the macOS manner: twelve spokes whose brightness
// runs round once a second. It draws into whatever widget paints it and says when that
// widget must repaint.
class Spinner final : public QObject {
    Q_OBJECT

public:
    explicit Spinner(QObject* parent = nullptr);

    void setRunning(bool running);
    // Draws the indicator centred in `bounds`, as wide as their shorter side, in `color`.
    void paint(QPainter& painter, const QRectF& bounds, const QColor& color) const;

signals:
    void changed();

private:
    QVariantAnimation rotation;
    int leadingSpoke = 0;
};

} // namespace corvane::ui

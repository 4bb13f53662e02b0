#pragma once

#include <QAbstractButton>
#include <QVariantAnimation>

namespace corvane::ui {

// The one large button that restarts the Touch Bar. It has three looks: ready (a blue
// gradient), no Touch Bar (gray, disabled) and restarting (orange, a spinner, shrunk a
// little, disabled).
class FixButton final : public QAbstractButton {
    Q_OBJECT

public:
    explicit FixButton(QWidget* parent = nullptr);

    // Switches to the look of this state. Starting or ending a restart cross-fades over a
    // tenth of a second; a change of `hasTouchBar` alone shows at once.
    void showState(bool isRestarting, bool hasTouchBar);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Look {
        bool restarting = false;
        bool touchBar = false;

        bool operator==(const Look&) const = default;
    };

    static QString caption(bool restarting);
    void paintBackground(QPainter& painter, const Look& look, qreal opacity) const;
    void paintContent(QPainter& painter, const Look& look, qreal opacity) const;
    // An indeterminate activity indicator in the macOS manner: twelve spokes whose brightness
    // runs round once a second, centred in `bounds`.
    void paintSpinner(QPainter& painter, const QRectF& bounds) const;

    Look from;
    Look to;
    QVariantAnimation transition;
    QVariantAnimation spinnerRotation;
    int leadingSpoke = 0;
};

} // namespace corvane::ui

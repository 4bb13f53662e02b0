#include "ui/FixButton.h"

#include "ui/Style.h"

#include <QGraphicsDropShadowEffect>
#include <QPainter>

#include <algorithm>

namespace corvane::ui {
namespace {

constexpr int buttonHeight = 56;
constexpr qreal cornerRadius = 16;
constexpr qreal contentSpacing = 12;
constexpr qreal restartingScale = 0.98;
constexpr qreal spinnerScale = 0.9;
constexpr int transitionMilliseconds = 100;
// How strongly the caption and symbol show while the button is disabled.
constexpr qreal disabledContentOpacity = 0.75;
constexpr int spokeCount = 12;
constexpr int revolutionMilliseconds = 1000;

qreal scaleOf(bool restarting) {
    return restarting ? restartingScale : 1.0;
}

} // namespace

FixButton::FixButton(QWidget* parent)
    : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(buttonHeight);
    setFont(ui::font(TextStyle::Title2, QFont::DemiBold));

    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setColor(QColor(0, 0, 0, 26));
    shadow->setBlurRadius(4);
    shadow->setOffset(0, 2);
    setGraphicsEffect(shadow);

    // macOS's ease-in-out timing curve.
    QEasingCurve easeInOut(QEasingCurve::BezierSpline);
    easeInOut.addCubicBezierSegment({0.42, 0.0}, {0.58, 1.0}, {1.0, 1.0});
    transition.setEasingCurve(easeInOut);
    transition.setStartValue(0.0);
    transition.setEndValue(1.0);
    transition.setDuration(transitionMilliseconds);
    connect(&transition, &QVariantAnimation::valueChanged, this, [this] { update(); });
    connect(&transition, &QVariantAnimation::finished, this, [this] {
        from = to;
        update();
    });
    spinnerRotation.setStartValue(0);
    spinnerRotation.setEndValue(spokeCount);
    spinnerRotation.setDuration(revolutionMilliseconds);
    spinnerRotation.setLoopCount(-1);
    connect(&spinnerRotation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) {
                // The spokes step rather than glide; repaint only when the lead moves on.
                const int spoke = value.toInt() % spokeCount;
                if (spoke == leadingSpoke)
                    return;
                leadingSpoke = spoke;
                update();
            });
    showState(false, false);
}

void FixButton::showState(bool isRestarting, bool hasTouchBar) {
    const Look next{isRestarting, hasTouchBar};
    if (next.restarting != to.restarting && isVisible()) {
        from = to;
        transition.stop();
        transition.start();
    } else if (transition.state() != QAbstractAnimation::Running) {
        from = next;
    }
    to = next;

    setText(caption(isRestarting));
    setEnabled(!isRestarting && hasTouchBar);
    if (!isRestarting)
        spinnerRotation.stop();
    else if (spinnerRotation.state() != QAbstractAnimation::Running)
        spinnerRotation.start();
    update();
}

QString FixButton::caption(bool restarting) {
    return restarting ? tr("Fixing Touch Bar...") : tr("Fix Touch Bar");
}

QSize FixButton::sizeHint() const {
    const QFontMetrics metrics(font());
    const qreal content =
        symbolSize(TextStyle::Title2) + contentSpacing + metrics.horizontalAdvance(caption(true));
    return QSize(static_cast<int>(content) + 2 * static_cast<int>(cornerRadius), buttonHeight);
}

void FixButton::paintEvent(QPaintEvent*) {
    const qreal progress = transition.state() == QAbstractAnimation::Running
                               ? transition.currentValue().toReal()
                               : 1.0;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const qreal scale =
        scaleOf(from.restarting) + (scaleOf(to.restarting) - scaleOf(from.restarting)) * progress;
    const QPointF centre = QRectF(rect()).center();
    painter.translate(centre);
    painter.scale(scale, scale);
    painter.translate(-centre);

    if (progress < 1.0) {
        paintBackground(painter, from, 1.0);
        paintContent(painter, from, 1.0 - progress);
    }
    paintBackground(painter, to, progress);
    paintContent(painter, to, progress);

    if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
        // The button is only focusable while it is blue: a white ring inside its edge shows.
        painter.setPen(QPen(color::white, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(
            continuousRoundedRect(QRectF(rect()).adjusted(4, 4, -4, -4), cornerRadius - 4));
    }
}

void FixButton::paintBackground(QPainter& painter, const Look& look, qreal opacity) const {
    const QRectF bounds = rect();
    painter.setOpacity(opacity);
    if (look.restarting) {
        painter.fillPath(continuousRoundedRect(bounds, cornerRadius), color::orange);
    } else if (look.touchBar) {
        QLinearGradient gradient(bounds.topLeft(), bounds.bottomLeft());
        QColor bottom = color::blue;
        bottom.setAlphaF(0.8);
        gradient.setColorAt(0, color::blue);
        gradient.setColorAt(1, bottom);
        painter.fillPath(continuousRoundedRect(bounds, cornerRadius), gradient);
    } else {
        painter.fillPath(continuousRoundedRect(bounds, cornerRadius), color::gray);
    }
    painter.setOpacity(1.0);
}

void FixButton::paintContent(QPainter& painter, const Look& look, qreal opacity) const {
    const QString text = caption(look.restarting);
    const qreal indicator = symbolSize(TextStyle::Title2);
    const QFontMetricsF metrics(font());
    const qreal width = indicator + contentSpacing + metrics.horizontalAdvance(text);
    const QRectF bounds = rect();
    const qreal left = bounds.center().x() - width / 2;
    const QRectF indicatorRect(left, bounds.center().y() - indicator / 2, indicator, indicator);

    const bool enabled = !look.restarting && look.touchBar;
    const qreal contentOpacity = opacity * (enabled ? 1.0 : disabledContentOpacity);
    if (look.restarting) {
        // The spinner keeps its own white, undimmed.
        painter.setOpacity(opacity);
        const qreal side = indicator * spinnerScale;
        paintSpinner(
            painter,
            QRectF(0, 0, side, side).translated(indicatorRect.center() - QPointF(side, side) / 2));
    } else {
        painter.setOpacity(contentOpacity);
        painter.drawPixmap(indicatorRect.topLeft(),
                           symbolPixmap(QStringLiteral("wrench.and.screwdriver.fill"), indicator,
                                        color::white, devicePixelRatioF()));
    }
    painter.setOpacity(contentOpacity);
    painter.setFont(font());
    painter.setPen(color::white);
    painter.drawText(QRectF(indicatorRect.right() + contentSpacing, bounds.top(),
                            width - indicator - contentSpacing, bounds.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, text);
    painter.setOpacity(1.0);
}

void FixButton::paintSpinner(QPainter& painter, const QRectF& bounds) const {
    const qreal radius = std::min(bounds.width(), bounds.height()) / 2;
    painter.save();
    painter.translate(bounds.center());
    for (int spoke = 0; spoke < spokeCount; ++spoke) {
        // The leading spoke is brightest; those behind it fade to a quarter.
        const int behind = (leadingSpoke - spoke + spokeCount) % spokeCount;
        QColor tint = color::white;
        tint.setAlphaF(static_cast<float>(1.0 - 0.75 * behind / (spokeCount - 1)));
        painter.setPen(QPen(tint, radius * 0.24, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.88));
        painter.rotate(360.0 / spokeCount);
    }
    painter.restore();
}

} // namespace corvane::ui

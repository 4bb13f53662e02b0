#include "ui/Style.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <algorithm>
#include <array>
#include <cmath>

namespace corvane::ui {
namespace {

qreal pointSize(TextStyle style) {
    switch (style) {
    case TextStyle::LargeTitle:
        return 26;
    case TextStyle::Title2:
        return 17;
    case TextStyle::Title3:
        return 15;
    case TextStyle::Body:
        return 13;
    case TextStyle::Caption:
        return 10;
    }
    return 13;
}

// One continuous corner, in units of the radius, measured from the corner point along the
// two sides: it leaves the first side 1.528665 radii before the corner and joins the second
// as far after it. The figure is symmetric about the corner's diagonal.
constexpr qreal cornerExtent = 1.52866483;
struct Step {
    bool curve;
    QPointF control1, control2, end;
};
constexpr std::array<Step, 5> cornerSteps{{
    {true, {1.08849323, 0.0}, {0.86840689, 0.0}, {0.66993427, 0.06549600}},
    {false, {}, {}, {0.63149399, 0.07491100}},
    {true, {0.37282392, 0.16905899}, {0.16905899, 0.37282392}, {0.07491100, 0.63149399}},
    {false, {}, {}, {0.06549600, 0.66993427}},
    {true, {0.0, 0.86840689}, {0.0, 1.08849323}, {0.0, cornerExtent}},
}};

} // namespace

QFont font(TextStyle style, QFont::Weight weight) {
    QFont result = QApplication::font();
    result.setPixelSize(static_cast<int>(pointSize(style)));
    result.setWeight(weight);
    return result;
}

qreal symbolSize(TextStyle style) {
    // Symbols stand a little taller than the capitals of the text they go with.
    return std::round(pointSize(style) * 1.2);
}

QPixmap symbolPixmap(const QString& name, qreal size, const QColor& color, qreal devicePixelRatio) {
    const int pixels = static_cast<int>(std::ceil(size * devicePixelRatio));
    const QString key =
        QStringLiteral("corvane-symbol:%1:%2:%3").arg(name).arg(pixels).arg(color.rgba());
    QPixmap cached;
    if (QPixmapCache::find(key, &cached))
        return cached;

    const QString path = QStringLiteral(":/symbols/") + name + QStringLiteral(".svg");
    if (pixels <= 0 || !QFile::exists(path))
        return {};
    QSvgRenderer renderer(path);
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    // The drawings are plain shapes; only their coverage counts, and it takes the tint.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    painter.end();

    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QPainterPath continuousRoundedRect(const QRectF& rect, qreal radius) {
    const qreal r =
        std::clamp(radius, 0.0, std::min(rect.width(), rect.height()) / 2 / cornerExtent);
    QPainterPath path;
    if (r <= 0) {
        path.addRect(rect);
        return path;
    }
    // Each corner maps the unit figures through its own pair of axes: `along` points from the
    // corner back along the side the path arrives on, `across` along the side it leaves on.
    const struct {
        QPointF corner, along, across;
    } corners[] = {
        {rect.topRight(), {-1, 0}, {0, 1}},
        {rect.bottomRight(), {0, -1}, {-1, 0}},
        {rect.bottomLeft(), {1, 0}, {0, -1}},
        {rect.topLeft(), {0, 1}, {1, 0}},
    };
    const auto map = [r](const auto& c, QPointF unit) {
        return c.corner + (c.along * unit.x() + c.across * unit.y()) * r;
    };
    path.moveTo(map(corners[3], {0, cornerExtent}));
    for (const auto& c : corners) {
        path.lineTo(map(c, {cornerExtent, 0}));
        for (const Step& step : cornerSteps) {
            if (step.curve)
                path.cubicTo(map(c, step.control1), map(c, step.control2), map(c, step.end));
            else
                path.lineTo(map(c, step.end));
        }
    }
    path.closeSubpath();
    return path;
}

} // namespace corvane::ui

#include "Symbols.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <cmath>

namespace corvane {

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

} // namespace corvane

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <gtest/gtest.h>

#include <array>
#include <utility>
#include <vector>

namespace {

constexpr int iconSize = 256;

enum class Paint { Other, Strip, Red, Orange, Green, Mint };

QImage renderIcon() {
    QSvgRenderer renderer(QStringLiteral(CORVANE_ICON_PATH));
    QImage image(iconSize, iconSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

// Only the inside of a shape has its exact colour; edges, shadow and background are Other.
Paint classify(QRgb pixel) {
    static constexpr std::array<std::pair<QRgb, Paint>, 5> emblem{{
        {0xFF000000, Paint::Strip},
        {0xFFFF3B30, Paint::Red},
        {0xFFFF9500, Paint::Orange},
        {0xFF28CD41, Paint::Green},
        {0xFF00C7BE, Paint::Mint},
    }};
    for (const auto& [colour, paint] : emblem) {
        if (pixel == colour) {
            return paint;
        }
    }
    return Paint::Other;
}

struct Crossing {
    std::vector<Paint> paints; // consecutive repeats and Other left out
    int firstStrip = -1;
    int lastStrip = -1;
};

Crossing cross(const QImage& image, bool horizontal, int at) {
    Crossing crossing;
    for (int i = 0; i < iconSize; ++i) {
        const Paint paint = classify(horizontal ? image.pixel(i, at) : image.pixel(at, i));
        if (paint == Paint::Other) {
            continue;
        }
        if (paint == Paint::Strip) {
            crossing.lastStrip = i;
            if (crossing.firstStrip < 0) {
                crossing.firstStrip = i;
            }
        }
        if (crossing.paints.empty() || crossing.paints.back() != paint) {
            crossing.paints.push_back(paint);
        }
    }
    return crossing;
}

TEST(Icon, IsAValidSquareDrawing) {
    QSvgRenderer renderer(QStringLiteral(CORVANE_ICON_PATH));
    ASSERT_TRUE(renderer.isValid());
    EXPECT_EQ(renderer.viewBoxF().width(), renderer.viewBoxF().height());
}

TEST(Icon, ShowsRedOrangeGreenMintTilesOnABlackStrip) {
    const auto crossing = cross(renderIcon(), true, iconSize / 2);
    EXPECT_EQ(crossing.paints,
              (std::vector{Paint::Strip, Paint::Red, Paint::Strip, Paint::Orange, Paint::Strip,
                           Paint::Green, Paint::Strip, Paint::Mint, Paint::Strip}));
}

TEST(Icon, CentresTheStripWithItsProportions) {
    const QImage image = renderIcon();
    const auto across = cross(image, true, iconSize / 2);
    const auto down = cross(image, false, iconSize / 2);
    ASSERT_GE(across.firstStrip, 0);
    ASSERT_GE(down.firstStrip, 0);

    EXPECT_NEAR(across.firstStrip + across.lastStrip, iconSize - 1, 1);
    EXPECT_NEAR(down.firstStrip + down.lastStrip, iconSize - 1, 1);
    // 4 tiles of 24, 3 gaps of 2 and padding 8 on each side, by a tile of 18 and padding 8.
    const double width = across.lastStrip - across.firstStrip + 1;
    const double height = down.lastStrip - down.firstStrip + 1;
    EXPECT_NEAR(width / height, 118.0 / 34.0, 0.1);
    EXPECT_GT(width, iconSize / 2);
}

TEST(Icon, StandsOnAnOpaqueBackgroundWithRoundedCorners) {
    const QImage image = renderIcon();
    for (const QPoint corner :
         {QPoint(18, 18), QPoint(237, 18), QPoint(18, 237), QPoint(237, 237)}) {
        EXPECT_EQ(qAlpha(image.pixel(corner)), 0) << corner.x() << "," << corner.y();
    }
    for (const QPoint inside : {QPoint(128, 24), QPoint(24, 128), QPoint(128, 232)}) {
        EXPECT_EQ(qAlpha(image.pixel(inside)), 255) << inside.x() << "," << inside.y();
        EXPECT_EQ(classify(image.pixel(inside)), Paint::Other) << inside.x() << "," << inside.y();
    }
}

} // namespace

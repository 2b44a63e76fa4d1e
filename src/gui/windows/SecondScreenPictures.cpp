#include "gui/windows/SecondScreenPictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace tq3 {

namespace {

// Both pictures are drawn in the twips of the panel area they cover, so
// the shapes line up with the labels whatever the screen's resolution.
constexpr QSizeF kOutOfServiceTwips(13815, 9615);
constexpr QSizeF kCallTwips(13800, 9600);

QImage blank(QSize size)
{
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
}

void beginTwips(QPainter &painter, const QImage &image, QSizeF twips)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(image.width() / twips.width(), image.height() / twips.height());
}

void paintGround(QPainter &painter, QSizeF twips, const QColor &top, const QColor &bottom,
                 const QColor &edge)
{
    const QRectF area(QPointF(0, 0), twips);
    QLinearGradient ground(area.topLeft(), area.bottomLeft());
    ground.setColorAt(0.0, top);
    ground.setColorAt(1.0, bottom);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ground);
    painter.drawRoundedRect(area, 240, 240);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(edge, 40));
    painter.drawRoundedRect(area.adjusted(120, 120, -120, -120), 180, 180);
}

} // namespace

QImage outOfServicePicture(QSize size)
{
    QImage image = blank(size);
    QPainter painter(&image);
    beginTwips(painter, image, kOutOfServiceTwips);
    paintGround(painter, kOutOfServiceTwips, QColor(0x2a, 0x35, 0x42), QColor(0x1b, 0x23, 0x2d),
                QColor(0x4a, 0x5a, 0x6c));

    // Light plate for the dark notice under the desk name.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xf1, 0xec, 0xe2));
    painter.drawRoundedRect(QRectF(4560, 1590, 4720, 680), 120, 120);

    // No-entry sign: understood at a glance, from any distance.
    const QPointF centre(6907, 4780);
    constexpr qreal radius = 1900;
    painter.setBrush(QColor(0x1b, 0x23, 0x2d, 120));
    painter.drawEllipse(centre + QPointF(0, 70), radius + 60, radius + 60);
    QRadialGradient disc(centre - QPointF(500, 600), radius * 1.6);
    disc.setColorAt(0.0, QColor(0xc8, 0x4b, 0x3c));
    disc.setColorAt(1.0, QColor(0x9c, 0x2f, 0x25));
    painter.setBrush(disc);
    painter.setPen(QPen(QColor(0xf1, 0xec, 0xe2), 110));
    painter.drawEllipse(centre, radius, radius);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xf7, 0xf4, 0xee));
    painter.drawRoundedRect(QRectF(centre.x() - 1250, centre.y() - 300, 2500, 600), 90, 90);

    // Quiet rules above and below the large notice.
    painter.setBrush(QColor(0xd8, 0xa3, 0x3f));
    painter.drawRoundedRect(QRectF(3400, 7140, 7014, 50), 25, 25);
    painter.drawRoundedRect(QRectF(3400, 8200, 7014, 50), 25, 25);
    return image;
}

QImage callPicture(QSize size)
{
    QImage image = blank(size);
    QPainter painter(&image);
    beginTwips(painter, image, kCallTwips);
    paintGround(painter, kCallTwips, QColor(0x12, 0x2e, 0x4d), QColor(0x0b, 0x1d, 0x33),
                QColor(0x2f, 0x55, 0x80));

    // Accent under the white service strip.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xf2, 0xb7, 0x05));
    painter.drawRect(QRectF(240, 3560, 13455, 70));

    // Plate round the number: while the number blinks off, the plate shows,
    // so the blink is seen without a harsh flash.
    const QRectF plate(3240, 4320, 7335, 5055);
    painter.setBrush(QColor(0x2c, 0x5d, 0x8f));
    painter.setPen(QPen(QColor(0xe6, 0xee, 0xf6), 50));
    painter.drawRoundedRect(plate, 200, 200);

    // Pointers towards the number from both sides.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xf2, 0xb7, 0x05));
    const qreal middle = plate.center().y();
    for (const qreal x : {1500.0, 2250.0}) {
        QPainterPath left;
        left.moveTo(x, middle - 520);
        left.lineTo(x + 560, middle);
        left.lineTo(x, middle + 520);
        left.closeSubpath();
        painter.drawPath(left);
        const qreal mirrored = kCallTwips.width() - x;
        QPainterPath right;
        right.moveTo(mirrored, middle - 520);
        right.lineTo(mirrored - 560, middle);
        right.lineTo(mirrored, middle + 520);
        right.closeSubpath();
        painter.drawPath(right);
    }
    return image;
}

} // namespace tq3

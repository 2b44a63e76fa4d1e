#include "gui/consoles/ConsolePictures.h"

#include "gui/kit/Look.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace tq3::pictures {

namespace {

const QColor kWindow = look::fromBgr(0x00ECD6C6);
const QColor kDeep = look::fromBgr(0x00B48246);

} // namespace

QPixmap consoleBackground(QSize size)
{
    QPixmap picture(size);
    const qreal w = size.width();
    const qreal h = size.height();
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient light(0, 0, 0, h);
    light.setColorAt(0.0, kWindow.lighter(106));
    light.setColorAt(0.4, kWindow);
    light.setColorAt(1.0, kWindow.darker(103));
    p.fillRect(picture.rect(), light);

    // Kept faint: the labels stand on it without a box of their own.
    QPainterPath wave;
    wave.moveTo(w * 0.35, h);
    wave.cubicTo(w * 0.6, h * 0.82, w * 0.8, h * 0.96, w, h * 0.7);
    wave.lineTo(w, h);
    wave.closeSubpath();
    QColor tint = kDeep;
    tint.setAlpha(28);
    p.fillPath(wave, tint);
    return picture;
}

QPixmap automaticConsoleMark(QSize size)
{
    QPixmap picture(size);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(picture.rect()).adjusted(4, 4, -4, -4);
    QLinearGradient shade(frame.topLeft(), frame.bottomLeft());
    shade.setColorAt(0, kWindow);
    shade.setColorAt(1, kDeep);
    painter.setPen(Qt::NoPen);
    painter.setBrush(shade);
    painter.drawRoundedRect(frame, 10, 10);
    painter.setPen(Qt::white);
    painter.setFont(look::tahoma(22, true));
    painter.drawText(frame.adjusted(0, 0, 0, -frame.height() * 0.35), Qt::AlignCenter, QStringLiteral("TQ3 MAX"));
    painter.setFont(look::tahoma(9, true));
    painter.drawText(frame.adjusted(0, frame.height() * 0.5, 0, 0), Qt::AlignHCenter | Qt::AlignTop,
                     QStringLiteral("Modulo Client\nAutomatico"));
    return picture;
}

QIcon automaticConsoleIcon()
{
    QIcon icon;
    for (const int side : {16, 24, 32, 48}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(pixmap.rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        QLinearGradient shade(r.topLeft(), r.bottomLeft());
        shade.setColorAt(0, kWindow);
        shade.setColorAt(1, kDeep);
        p.setPen(Qt::NoPen);
        p.setBrush(shade);
        p.drawRoundedRect(r, side * 0.2, side * 0.2);
        QFont font = look::tahoma(8.25, true);
        font.setPixelSize(qMax(7, static_cast<int>(side * 0.62)));
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(r, Qt::AlignCenter, QStringLiteral("A"));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace tq3::pictures

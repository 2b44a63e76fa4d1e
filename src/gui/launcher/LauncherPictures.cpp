#include "gui/launcher/LauncherPictures.h"

#include "gui/kit/Look.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace tq3::pictures {

namespace {

const QColor kDeepBlue(0x1d, 0x46, 0x7a);
const QColor kBlue(0x2b, 0x6c, 0xb0);

QPainterPath ticketPath(const QRectF &r)
{
    QPainterPath shape;
    shape.addRoundedRect(r, r.width() * 0.08, r.width() * 0.08);
    const qreal notch = r.height() * 0.14;
    QPainterPath notches;
    notches.addEllipse(QPointF(r.left() + r.width() * 0.72, r.top()), notch, notch);
    notches.addEllipse(QPointF(r.left() + r.width() * 0.72, r.bottom()), notch, notch);
    return shape.subtracted(notches);
}

} // namespace

QPixmap launcherBackground(QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size.width();
    const qreal h = size.height();

    // The glow fades out inside the picture, so that no edge shows.
    QRadialGradient glow(QPointF(w * 0.5, h * 0.6), qMin(w * 0.5, h * 0.4));
    glow.setColorAt(0.0, QColor(0xe3, 0xee, 0xfa, 220));
    glow.setColorAt(1.0, QColor(0xe3, 0xee, 0xfa, 0));
    p.fillRect(QRectF(0, 0, w, h), glow);

    // Waves spreading from a point below the titles, as a call spreads
    // through the hall.
    const QPointF centre(w * 0.5, h * 0.66);
    for (int i = 1; i <= 6; ++i) {
        const qreal radius = w * 0.09 * i;
        QPen pen(QColor(0x7f, 0xa8, 0xd6, 110 - i * 14));
        pen.setWidthF(qMax(1.0, w * 0.006));
        p.setPen(pen);
        p.drawArc(QRectF(centre.x() - radius, centre.y() - radius, radius * 2, radius * 2), 20 * 16, 140 * 16);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x7f, 0xa8, 0xd6, 120));
    p.drawEllipse(centre, w * 0.018, w * 0.018);
    return pixmap;
}

QPixmap launcherLogo(QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const qreal w = size.width();
    const qreal h = size.height();

    const QRectF ticket(w * 0.04, h * 0.12, w * 0.58, h * 0.62);
    p.save();
    p.translate(ticket.center());
    p.rotate(-6);
    const QRectF local(-ticket.width() / 2, -ticket.height() / 2, ticket.width(), ticket.height());
    const QPainterPath shape = ticketPath(local);
    p.fillPath(shape.translated(2, 3), QColor(0, 0, 0, 45));
    QLinearGradient fill(local.topLeft(), local.bottomRight());
    fill.setColorAt(0.0, kBlue);
    fill.setColorAt(1.0, kDeepBlue);
    p.fillPath(shape, fill);
    QPen dashed(QColor(255, 255, 255, 150), qMax(1.0, w * 0.005), Qt::DashLine);
    p.setPen(dashed);
    const qreal tearX = local.left() + local.width() * 0.72;
    p.drawLine(QPointF(tearX, local.top() + local.height() * 0.16),
               QPointF(tearX, local.bottom() - local.height() * 0.16));
    QFont font = look::tahoma(8.25, true);
    font.setPixelSize(qMax(8, static_cast<int>(local.height() * 0.52)));
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(local.left(), local.top(), local.width() * 0.72, local.height()), Qt::AlignCenter,
               QStringLiteral("TQ3"));
    p.restore();
    return pixmap;
}

QIcon clientIcon()
{
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r(side * 0.06, side * 0.2, side * 0.88, side * 0.6);
        QLinearGradient fill(r.topLeft(), r.bottomRight());
        fill.setColorAt(0.0, kBlue);
        fill.setColorAt(1.0, kDeepBlue);
        p.fillPath(ticketPath(r), fill);
        QFont font = look::tahoma(8.25, true);
        font.setPixelSize(qMax(6, static_cast<int>(r.height() * 0.8)));
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(r.left(), r.top(), r.width() * 0.72, r.height()), Qt::AlignCenter, QStringLiteral("3"));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace tq3::pictures

#include "gui/windows/MsgForm.h"

#include "gui/kit/Controls.h"
#include "gui/kit/Look.h"
#include "gui/kit/MessageBox.h"
#include "gui/kit/WindowRegistry.h"

#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadialGradient>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>

namespace tq3 {

namespace {

constexpr int kClientWidth = 8370;
constexpr int kClientHeight = 5025;
const QString kDesignText = QStringLiteral("Label2");

// The window's own picture: a calm blue panel on the left with a queue
// ticket, white paper on the right where the text stands.
QPixmap paintBackground(QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    const qreal w = size.width();
    const qreal h = size.height();
    const qreal panelWidth = w * 3600.0 / kClientWidth;

    QLinearGradient paper(0, 0, 0, h);
    paper.setColorAt(0.0, QColor(0xff, 0xff, 0xff));
    paper.setColorAt(1.0, QColor(0xee, 0xf2, 0xf7));
    p.fillRect(QRectF(0, 0, w, h), paper);

    QLinearGradient panel(0, 0, panelWidth, h);
    panel.setColorAt(0.0, QColor(0x2b, 0x5f, 0x9e));
    panel.setColorAt(1.0, QColor(0x14, 0x33, 0x5c));
    QPainterPath panelShape;
    panelShape.moveTo(0, 0);
    panelShape.lineTo(panelWidth, 0);
    panelShape.cubicTo(panelWidth * 0.86, h * 0.35, panelWidth * 1.06, h * 0.7, panelWidth * 0.9, h);
    panelShape.lineTo(0, h);
    panelShape.closeSubpath();
    p.fillPath(panelShape, panel);

    QRadialGradient glow(QPointF(panelWidth * 0.45, h * 0.42), panelWidth * 0.6);
    glow.setColorAt(0.0, QColor(255, 255, 255, 60));
    glow.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.fillPath(panelShape, glow);

    // A ticket with a notched edge, slightly tilted.
    const QRectF ticket(-panelWidth * 0.27, -h * 0.22, panelWidth * 0.54, h * 0.44);
    p.save();
    p.translate(panelWidth * 0.45, h * 0.45);
    p.rotate(-8);
    QPainterPath ticketShape;
    ticketShape.addRoundedRect(ticket, 8, 8);
    const qreal notch = ticket.width() * 0.09;
    QPainterPath notches;
    notches.addEllipse(QPointF(ticket.left(), ticket.top() + ticket.height() * 0.68), notch, notch);
    notches.addEllipse(QPointF(ticket.right(), ticket.top() + ticket.height() * 0.68), notch, notch);
    ticketShape = ticketShape.subtracted(notches);
    p.fillPath(ticketShape.translated(4, 5), QColor(0, 0, 0, 60));
    p.fillPath(ticketShape, QColor(0xfb, 0xfb, 0xf8));
    QPen dashed(QColor(0x9a, 0xa8, 0xb8), 1.2, Qt::DashLine);
    p.setPen(dashed);
    const qreal tearY = ticket.top() + ticket.height() * 0.68;
    p.drawLine(QPointF(ticket.left() + notch * 1.3, tearY), QPointF(ticket.right() - notch * 1.3, tearY));
    p.setPen(QColor(0x1d, 0x46, 0x7a));
    QFont number = look::tahoma(8.25, true);
    number.setPixelSize(qMax(8, static_cast<int>(ticket.height() * 0.3)));
    p.setFont(number);
    p.drawText(QRectF(ticket.left(), ticket.top() + ticket.height() * 0.1, ticket.width(),
                      ticket.height() * 0.5),
               Qt::AlignCenter, QStringLiteral("001"));
    QFont small = look::tahoma(8.25);
    small.setPixelSize(qMax(6, static_cast<int>(ticket.height() * 0.1)));
    p.setFont(small);
    p.setPen(QColor(0x6a, 0x7a, 0x8c));
    p.drawText(QRectF(ticket.left(), tearY, ticket.width(), ticket.bottom() - tearY),
               Qt::AlignCenter, QStringLiteral("TQ3 MAX"));
    p.restore();
    return pixmap;
}

} // namespace

MsgForm::MsgForm(WindowRegistry &registry, State &state)
    : Form(registry)
    , m_state(state)
{
    // Each load starts from the design texts.
    m_state.lines = {kDesignText, kDesignText};
    setWindowTitle(QStringLiteral(" "));
    // A fixed dialog frame: title and close box only.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                   | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setClientSizeTwips(kClientWidth, kClientHeight);
    m_background = paintBackground(size());

    m_label1 = kit::control<QLabel>(this, QStringLiteral("Label1"), {3840, 360, 4215, 315},
                                    QStringLiteral("Messaggio x te  da TURNALIA 3 MAX (Client)"));
    m_label1->setFont(look::tahoma(8.25, true));
    kit::setColours(m_label1, QColor(0x80, 0x80, 0x80));

    // A rule one pixel high, from 3840 to 8100 twips.
    m_line1 = kit::control<QFrame>(this, QStringLiteral("Line1"), {3840, 660, 8100 - 3840, 0});
    m_line1->resize(m_line1->width(), 1);
    kit::setColours(m_line1, QColor(), QColor(0xc8, 0xc8, 0xc8));

    for (int i = 0; i < 2; ++i) {
        QLabel *line = kit::control<QLabel>(this, QStringLiteral("Label2_%1").arg(i), {3840, 2040 + 240 * i, 4320, 255},
                                            kDesignText);
        line->setFont(look::tahoma(9.75));
        kit::setColours(line, QColor(0x40, 0x40, 0x40));
        m_label2[static_cast<std::size_t>(i)] = line;
    }

    m_pb1 = kit::control<QPushButton>(this, QStringLiteral("PB1_0"), {6960, 4440, 975, 330}, QStringLiteral("C&hiudi"));
    m_pb1->setDefault(true);
    connect(m_pb1, &QPushButton::clicked, this, &MsgForm::close);
}

namespace {

// A line longer than its box (a host name, an error number) takes a smaller
// font instead of being cut off where the operator cannot read it.
void setFittingText(QLabel *line, const QString &text)
{
    line->setText(text);
    QFont font = look::tahoma(9.75);
    while (font.pointSizeF() > 6.0 && QFontMetrics(font).horizontalAdvance(text) > line->width())
        font.setPointSizeF(font.pointSizeF() - 0.25);
    line->setFont(font);
}

} // namespace

void MsgForm::MostraMessaggio(WindowRegistry &registry, const QString &line0, const QString &line1,
                              const std::optional<Error> &cause)
{
    logShown(QLatin1String(kName), line1.isNull() ? QStringList{line0} : QStringList{line0, line1}, cause);
    MsgForm &form = registry.window<MsgForm>();
    form.m_state.lines[0] = line0;
    setFittingText(form.m_label2[0], line0);
    if (!line1.isNull()) {
        form.m_state.lines[1] = line1;
        setFittingText(form.m_label2[1], line1);
    }

    // Owned by the window it speaks for, so it stays off the task bar.
    Form *caller = registry.activeForm();
    if (caller && caller != &form && caller->isVisible() && caller->windowHandle()) {
        form.winId();
        form.windowHandle()->setTransientParent(caller->windowHandle());
    }
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = form.frameGeometry();
        frame.moveCenter(screen->geometry().center());
        form.move(frame.topLeft());
    }
    registry.showModal(form);
}

void MsgForm::activated()
{
    hideLinesAtDesignText();
}

void MsgForm::showEvent(QShowEvent *event)
{
    hideLinesAtDesignText();
    Form::showEvent(event);
}

void MsgForm::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_background);
}

void MsgForm::hideLinesAtDesignText()
{
    for (std::size_t i = 0; i < m_label2.size(); ++i) {
        if (m_state.lines[i] == kDesignText)
            m_label2[i]->hide();
    }
}

} // namespace tq3

#include "gui/windows/LoSchermo2.h"

#include "gui/kit/Controls.h"
#include "gui/kit/Look.h"
#include "gui/kit/Twips.h"
#include "gui/kit/WindowRegistry.h"
#include "gui/windows/SecondScreenPictures.h"
#include "gui/windows/SecondScreenPlacement.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace tq3 {

namespace {

constexpr int kBlinkMilliseconds = 350;
constexpr kit::Twips kPanel{0, 0, 14055, 9975};  // placed at run time
constexpr kit::Twips kDeskNameBox{5520, 1200, 2895, 495};

QFont deskNameOutOfServiceFont() { return look::tahoma(15.75, true); }
QFont largeNoticeFont() { return look::tahoma(20.25, true); }
QFont deskNameFont() { return look::trebuchet(48, true); }
QFont serviceCaptionFont() { return look::trebuchet(14.25, true); }
QFont serviceFont() { return look::trebuchet(62.25, true); }
QFont numberFont() { return look::tahoma(171.75, true); }

// The design font, made smaller only when the text would not fit the
// label's width: a long desk or service name, or a number of four digits or
// more, is read whole rather than cut at both ends.
void setFittedText(QLabel *label, const QString &text, const QFont &design)
{
    QFont font = design;
    const qreal room = label->contentsRect().width();
    const qreal needed = QFontMetricsF(font).horizontalAdvance(text);
    if (needed > room && room > 0)
        font.setPointSizeF(std::max(6.0, design.pointSizeF() * room / needed * 0.97));
    label->setFont(font);
    label->setText(text);
}

// A picture stretched over its box.
void showPicture(QLabel *box, QImage (*paint)(QSize))
{
    box->setScaledContents(true);
    box->setPixmap(QPixmap::fromImage(paint(box->size())));
}

} // namespace

LoSchermo2::LoSchermo2(WindowRegistry &registry, State &state)
    : Form(registry)
    , m_state(state)
{
    setWindowTitle(QStringLiteral("Messaggio al Pubblico"));
    // A fixed dialog frame with a close box only, kept out of the task bar.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    kit::setColours(this, QColor(), Qt::white);

    buildOutOfServicePanel();
    buildCallPanel();

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(kBlinkMilliseconds);
    connect(m_timer1, &QTimer::timeout, this, &LoSchermo2::blinkTick);

    // A public monitor switched on after the program started, or unplugged,
    // moves the window without waiting for an activation that an off-screen
    // window could never get.
    connect(qGuiApp, &QGuiApplication::screenAdded, this, &LoSchermo2::placeOnPublicMonitor);
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &LoSchermo2::placeOnPublicMonitor);
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this,
            &LoSchermo2::placeOnPublicMonitor);
}

void LoSchermo2::buildOutOfServicePanel()
{
    m_fuoriServizio = kit::control<QFrame>(this, QStringLiteral("FuoriServizio"), kPanel);
    m_image1 = kit::control<QLabel>(m_fuoriServizio, QStringLiteral("Image1"), {120, 240, 13815, 9615});
    showPicture(m_image1, &outOfServicePicture);

    m_label4[1] = kit::control<QLabel>(m_fuoriServizio, QStringLiteral("Label4_1"), kDeskNameBox);
    m_label4[2] = kit::control<QLabel>(m_fuoriServizio, QStringLiteral("Label4_2"), {5640, 1920, 2895, 495});
    m_label4[0] = kit::control<QLabel>(m_fuoriServizio, QStringLiteral("Label4_0"), {5040, 7680, 3855, 495});
    for (QLabel *label : m_label4)
        label->setAlignment(Qt::AlignCenter);
    setFittedText(m_label4[1], QStringLiteral("Postazione"), deskNameOutOfServiceFont());
    kit::setColours(m_label4[1], Qt::white);
    setFittedText(m_label4[2], QStringLiteral("FUORI SERVIZIO"), deskNameOutOfServiceFont());
    kit::setColours(m_label4[2], Qt::black);
    setFittedText(m_label4[0], QStringLiteral("FUORI SERVIZIO"), largeNoticeFont());
    kit::setColours(m_label4[0], Qt::white);
}

void LoSchermo2::buildCallPanel()
{
    m_gruppo = kit::control<QFrame>(this, QStringLiteral("Gruppo"), kPanel);
    m_gruppo->hide();
    m_image2 = kit::control<QLabel>(m_gruppo, QStringLiteral("Image2"), {120, 240, 13800, 9600});
    showPicture(m_image2, &callPicture);

    m_label1 = kit::control<QLabel>(m_gruppo, QStringLiteral("Label1"), {1440, 480, 11175, 1215});
    m_label1->setAlignment(Qt::AlignCenter);
    setFittedText(m_label1, QStringLiteral("Postazione "), deskNameFont());
    kit::setColours(m_label1, QColor(255, 255, 0));

    m_label2 = kit::control<QLabel>(m_gruppo, QStringLiteral("Label2"), {360, 2040, 13455, 1695});
    m_label2->setAlignment(Qt::AlignCenter);
    // The service name keeps clear of the caption in its top left corner, on
    // both sides so that it stays centred under the desk name.
    const int captionZone = twips::toPixelsX(2055 + 60 - 360);
    m_label2->setContentsMargins(captionZone, 0, captionZone, 0);
    setFittedText(m_label2, QStringLiteral("Servizio"), serviceFont());
    kit::setColours(m_label2, QColor(), Qt::white);

    // Above the service name, whose white strip it sits in.
    m_label5 = kit::control<QLabel>(m_gruppo, QStringLiteral("Label5"), {480, 2080, 1575, 495});
    m_label5->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setFittedText(m_label5, QStringLiteral("Servizio :"), serviceCaptionFont());
    kit::setColours(m_label5, Qt::black, Qt::white);

    m_label3 = kit::control<QLabel>(m_gruppo, QStringLiteral("Label3"), {3600, 4800, 6855, 4575});
    m_label3->setAlignment(Qt::AlignCenter);
    setFittedText(m_label3, QStringLiteral("0"), numberFont());
    kit::setColours(m_label3, Qt::white, Qt::black);
}

void LoSchermo2::load()
{
    placeOnPublicMonitor();
    centrePanels();
}

void LoSchermo2::activated()
{
    placeOnPublicMonitor();
    centrePanels();
    m_gruppo->hide();
    m_fuoriServizio->show();
}

void LoSchermo2::placeOnPublicMonitor()
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    const QScreen *primary = QGuiApplication::primaryScreen();
    QList<QRect> monitors;
    qsizetype primaryIndex = 0;
    for (const QScreen *screen : screens) {
        if (screen == primary)
            primaryIndex = monitors.size();
        monitors.append(screen->geometry());
    }
    const QRect target = secondScreenPlacement(monitors, primaryIndex, twips::toPixelsX(5));
    if (target.isEmpty())
        return;
    // The frame counts in the window's size: the whole window, title bar
    // included, covers one screen.
    const QSize frame = isVisible() ? frameGeometry().size() - size() : QSize(0, 0);
    setFixedSize(target.size() - frame);
    move(target.topLeft());
}

void LoSchermo2::centrePanels()
{
    for (QFrame *panel : {m_fuoriServizio, m_gruppo})
        panel->move((width() - panel->width()) / 2, (height() - panel->height()) / 2);
}

void LoSchermo2::resizeEvent(QResizeEvent *event)
{
    Form::resizeEvent(event);
    centrePanels();
}

void LoSchermo2::ImpostaPostazione(const QString &nome)
{
    setFittedText(m_label1, nome, deskNameFont());
    setOutOfServiceDeskName(nome);
}

void LoSchermo2::setOutOfServiceDeskName(const QString &nome)
{
    // The desk name's box is narrow: a longer name widens it about the same
    // centre, up to the dark ground's width, before its font gets smaller.
    const QRect design = kDeskNameBox.pixels();
    const QRect widest = kit::Twips{720, 1200, 12615, 495}.pixels();
    const int needed = QFontMetrics(deskNameOutOfServiceFont()).horizontalAdvance(nome)
        + twips::toPixelsX(240);
    const int width = std::clamp(needed, design.width(), widest.width());
    QRect box = design;
    box.setWidth(width);
    box.moveCenter(QPoint(design.center().x(), design.center().y()));
    box.moveTop(design.top());
    m_label4[1]->setGeometry(box);
    setFittedText(m_label4[1], nome, deskNameOutOfServiceFont());
}

void LoSchermo2::MostraChiamata(const QString &nome, const QString &servizio, qint32 numero)
{
    m_fuoriServizio->hide();
    m_gruppo->show();
    setFittedText(m_label1, nome, deskNameFont());
    setFittedText(m_label2, servizio, serviceFont());
    setFittedText(m_label3, QString::number(numero), numberFont());
    // A call while the number blinks keeps its rhythm.
    if (!m_timer1->isActive())
        m_timer1->start();
}

void LoSchermo2::FermaLampeggio()
{
    m_timer1->stop();
    m_numberShown = true;
    m_label3->show();
}

void LoSchermo2::MostraInServizio()
{
    m_fuoriServizio->hide();
    m_gruppo->show();
}

void LoSchermo2::MostraFuoriServizio()
{
    m_gruppo->hide();
    m_fuoriServizio->show();
}

void LoSchermo2::blinkTick()
{
    m_numberShown = !m_numberShown;
    m_label3->setVisible(m_numberShown);
}

} // namespace tq3

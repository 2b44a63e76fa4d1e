#include "gui/consoles/Form11.h"

#include "core/calls/AutomaticCall.h"
#include "core/calls/CallHistory.h"
#include "core/calls/ServerLink.h"
#include "gui/kit/Look.h"
#include "gui/kit/MessageBox.h"
#include "gui/kit/Twips.h"
#include "gui/kit/WindowRegistry.h"
#include "gui/windows/LoSchermo2.h"
#include "gui/windows/MsgForm.h"

#include <QAction>
#include <QLabel>
#include <QLinearGradient>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>

namespace tq3 {

namespace {

const QString kTitle = QStringLiteral("3.1.15 Client ");
const QString kHistoryClosed = QStringLiteral("Cronologia chiamate");
const QString kHistoryOpen = QStringLiteral("Chiudi Cronologia chiamate");

// The picture on the white box beside the history: the system's mark.
QPixmap markPicture(QSize size)
{
    QPixmap picture(size);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(picture.rect()).adjusted(4, 4, -4, -4);
    QLinearGradient shade(frame.topLeft(), frame.bottomLeft());
    shade.setColorAt(0, look::fromBgr(0x00ECD6C6));
    shade.setColorAt(1, look::fromBgr(0x00B48246));
    painter.setPen(Qt::NoPen);
    painter.setBrush(shade);
    painter.drawRoundedRect(frame, 10, 10);
    painter.setPen(Qt::white);
    QFont big = look::tahoma(22, true);
    painter.setFont(big);
    painter.drawText(frame.adjusted(0, 0, 0, -frame.height() * 0.35), Qt::AlignCenter, QStringLiteral("TQ3 MAX"));
    painter.setFont(look::tahoma(9, true));
    painter.drawText(frame.adjusted(0, frame.height() * 0.5, 0, 0), Qt::AlignHCenter | Qt::AlignTop,
                     QStringLiteral("Modulo Client\nAutomatico"));
    return picture;
}

} // namespace

Form11::Form11(WindowRegistry &registry, State &state)
    : ConsoleForm(registry, state, kTitle)
    , m_state(state)
{
    setObjectName(QString::fromLatin1(kName));
    buildControls();
    connect(m_link.get(), &ServerLink::socketError, this, &Form11::onSocketError);
    // This console reads nothing the server module sends: a refusal goes
    // unanswered, as the server-state file is what tells it the server is away.
}

Form11::~Form11() = default;

void Form11::buildControls()
{
    buildMenu();
    m_serviceMenu->outOfService()->setText(QStringLiteral("FuoriServizio"));
    m_cr1 = m_menuBar->addAction(kHistoryClosed);
    m_cr1->setObjectName(QStringLiteral("cr1"));
    connect(m_cr1, &QAction::triggered, this, &Form11::Label2Click);
    buildClient(twips::toPixelsX(kOuterWidthOpen - kFrameWidth), twips::toPixelsY(kOuterHeightOpen - kFrameHeight));

    // Created in the order of their depth: later controls lie on top.
    m_label3 = new QLabel(m_client);
    m_label3->setObjectName(QStringLiteral("Label3"));
    setColours(m_label3, Qt::black, Qt::white);
    place(m_label3, 3480, 0, 2535, 1935);

    m_image1 = new QLabel(m_client);
    m_image1->setObjectName(QStringLiteral("Image1"));
    place(m_image1, 3480, 240, 2340, 1335);
    m_image1->setPixmap(markPicture(m_image1->size()));

    // Command1 lies on top of Label1(0).
    buildCallLabels(Qt::white, look::fromBgr(0x00000080));
    place(m_label1[0], 120, 120, 2415, 255);
    place(m_label1[1], 1560, 360, 975, 375);
    place(m_label1[2], 120, 840, 2415, 255);

    m_command1 = new QPushButton(QStringLiteral("Avanti"), m_client);
    m_command1->setObjectName(QStringLiteral("Command1_0"));
    m_command1->setAutoDefault(false);
    place(m_command1, 120, 120, 855, 615);
    connect(m_command1, &QPushButton::clicked, this, &Form11::Command1Click);

    buildStopButton();
    m_pushButton1->setAutoDefault(false);
    place(m_pushButton1, 1080, 360, 375, 375);

    buildHistoryPart(QRect(120, 2000, 5775, 285), QRect(120, 2280, 5775, 2775));

    // Holds the history's state; it lies below the window's area.
    m_label2 = new QLabel(kHistoryClosed, m_client);
    m_label2->setObjectName(QStringLiteral("Label2"));
    setColours(m_label2, look::fromBgr(0x00404040));
    place(m_label2, 120, 6000, 1605, 255);

    setOuterSizeTwips(kOuterWidthClosed, kOuterHeightClosed);
}

void Form11::setOuterSizeTwips(int width, int height)
{
    setFixedSize(twips::toPixelsX(width - kFrameWidth), m_menuBar->height() + twips::toPixelsY(height - kFrameHeight));
}

void Form11::load()
{
    if (!loadSettings())
        return;
    openHistory();
    reportHistoryOpening();
}

void Form11::activated()
{
    move(twips::point(twips::screenWidth() - 2780, twips::screenHeight() - 2380));
    if (registry().record().secondoSchermoAttivo)
        registry().window<LoSchermo2>().ImpostaPostazione(m_label1[0]->text());
}

void Form11::Command1Click()
{
    // A box of the previous press is still open: this press waits for it.
    if (m_callRunning)
        return;
    m_callRunning = true;
    const SettingsRecord &record = registry().record();
    AutomaticCallSetup setup;
    setup.archiveFolder = record.percorsoServer;
    setup.deskName = m_label1[0]->text();
    setup.ipLocale = record.ipLocale;
    setup.serverAddress = m_state.indirizzoServer;
    setup.numberFilePatience = registry().environment().numberFilePatience;
    AutomaticCall call(*m_link);
    const AutomaticCallResult result = call.run(setup);
    showResult(result);
    m_callRunning = false;
}

void Form11::showResult(const AutomaticCallResult &result)
{
    SettingsRecord &record = registry().record();
    switch (result.outcome) {
    case AutomaticOutcome::UnsetServerAddress:
    case AutomaticOutcome::ServerIsThisPc:
    case AutomaticOutcome::QueueEmpty:
    case AutomaticOutcome::Failed:
        MsgForm::MostraMessaggio(registry(), result.message.value(0), result.message.value(1));
        return;
    case AutomaticOutcome::NoServiceForDesk:
        m_label1[2]->setText(kNoServiceForDeskText);
        return;
    case AutomaticOutcome::NothingForDesk:
        break;
    case AutomaticOutcome::ServerNotListening:
        showMessageBox(this, kServerNotListeningText, QStringLiteral("Attenzione"), BoxIcon::Information);
        break;
    case AutomaticOutcome::Announced:
        m_state.idServizio = result.servizioId;
        m_state.numeroDaChiamare = result.number;
        m_state.descrizioneServizio = result.service;
        record.numeroChiamato = result.number;
        m_label1[1]->setText(QString::number(record.numeroChiamato));
        m_label1[2]->setText(m_state.descrizioneServizio);
        m_state.numeroTesto = result.numberText;
        m_state.testoPostazione = m_label1[0]->text();
        m_state.testoServizio = m_label1[2]->text();
        recordCall();
        break;
    }
    if (result.refreshesSecondScreen())
        refreshSecondScreen();
}

void Form11::refreshSecondScreen()
{
    // The window may have been closed while a box was open.
    if (!isUnloaded())
        showCallOnSecondScreen();
}

void Form11::Label2Click()
{
    const int screenWidth = twips::screenWidth();
    const int screenHeight = twips::screenHeight();
    if (m_label2->text() == kHistoryClosed) {
        setOuterSizeTwips(kOuterWidthOpen, kOuterHeightOpen);
        move(twips::point(screenWidth - 6100, screenHeight - 6000));
        m_label2->setText(kHistoryOpen);
    } else if (m_label2->text() == kHistoryOpen) {
        setOuterSizeTwips(kOuterWidthClosed, kOuterHeightClosed);
        move(twips::point(screenWidth - 2780, screenHeight - 2600));
        m_label2->setText(kHistoryClosed);
    }
}

void Form11::onSocketError(int code, const QString &description)
{
    showMessageBox(this, description, kApplicationTitle, BoxIcon::None);
    if (code == 10049)
        showMessageBox(this, QStringLiteral("10049"), kApplicationTitle, BoxIcon::None);
}

} // namespace tq3

#include "gui/consoles/Form11.h"

#include "core/Version.h"
#include "core/calls/AutomaticCall.h"
#include "gui/consoles/ConsolePictures.h"
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
#include <QMenuBar>
#include <QPushButton>

namespace tq3 {

namespace {

const QString kTitle = QLatin1String(kVersion) + QStringLiteral(" Client ");

} // namespace

Form11::Form11(WindowRegistry &registry, State &state)
    : ConsoleForm(registry, state, kTitle)
    , m_state(state)
{
    setObjectName(QString::fromLatin1(kName));
    setWindowIcon(pictures::automaticConsoleIcon());
    m_call = std::make_unique<AutomaticCall>(*m_link);
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
    m_cr1 = m_menuBar->addAction(kHistoryClosedCaption);
    m_cr1->setObjectName(QStringLiteral("cr1"));
    connect(m_cr1, &QAction::triggered, this, &Form11::Label2Click);
    buildClient(twips::toPixelsX(kOuterWidthOpen - kFrameWidth), twips::toPixelsY(kOuterHeightOpen - kFrameHeight));

    // Created in the order of their depth: later controls lie on top.
    m_label3 = kit::control<QLabel>(m_client, QStringLiteral("Label3"), {3480, 0, 2535, 1935});
    kit::setColours(m_label3, Qt::black, Qt::white);

    m_image1 = kit::control<QLabel>(m_client, QStringLiteral("Image1"), {3480, 240, 2340, 1335});
    m_image1->setPixmap(pictures::automaticConsoleMark(m_image1->size()));

    // Command1 lies on top of Label1(0).
    buildCallLabels(Qt::white, look::fromBgr(0x00000080),
                    {{{120, 120, 2415, 255}, {1560, 360, 975, 375}, {120, 840, 2415, 255}}});

    m_command1 = buildAvanti(QStringLiteral("Command1_0"), {120, 120, 855, 615});

    buildStopButton({1080, 360, 375, 375});
    m_pushButton1->setAutoDefault(false);

    buildHistoryPart({120, 2000, 5775, 285}, {120, 2280, 5775, 2775});

    // It lies below the window's area: the operator uses the menu item.
    m_label2 = kit::control<QLabel>(m_client, QStringLiteral("Label2"), {120, 6000, 1605, 255}, kHistoryClosedCaption);
    kit::setColours(m_label2, look::fromBgr(0x00404040));

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
    recoverInterruptedCall();
}

void Form11::activated()
{
    move(twips::point(twips::screenWidth() - 2780, twips::screenHeight() - 2380));
    if (registry().record().secondoSchermoAttivo)
        registry().window<LoSchermo2>().ImpostaPostazione(m_state.deskCaption);
}

void Form11::Command1Click()
{
    // A box of the previous press is still open: this press waits for it.
    if (m_callRunning)
        return;
    m_callRunning = true;
    callAndShow();
    m_callRunning = false;
}

void Form11::showOutcome(const CallOutcome &outcome)
{
    using Kind = CallOutcome::Kind;
    switch (outcome.kind) {
    case Kind::UnsetServerAddress:
    case Kind::ServerIsThisPc:
    case Kind::QueueEmpty:
    case Kind::Failed:
        MsgForm::MostraMessaggio(registry(), outcome.message.value(0), outcome.message.value(1), outcome.error);
        return;
    case Kind::NoService:
        showService(kNoServiceForDeskText);
        return;
    case Kind::NoNumberFile:
    case Kind::Unannounced:  // confirmed and sent before it gets here
        return;
    case Kind::NothingWaiting:
        break;
    case Kind::ServerNotListening:
        showMessageBox(this, kServerNotListeningText, QStringLiteral("Attenzione"), BoxIcon::Information);
        break;
    case Kind::Announced:
        m_state.idServizio = outcome.call.serviceId;
        m_state.numeroDaChiamare = outcome.call.number;
        m_state.descrizioneServizio = outcome.call.service;
        showService(m_state.descrizioneServizio);
        takeAnnounced(outcome.call);
        recordCall();
        break;
    }
    // The public sees the last call again, also when nothing new was called.
    refreshSecondScreen();
}

void Form11::reportSendFailure(const Error &error)
{
    // As a call's failed send, without "the ticket stays waiting": a recall
    // takes no ticket.
    MsgForm::MostraMessaggio(registry(), error.message, {}, error);
}

void Form11::refreshSecondScreen()
{
    // The window may have been closed while a box was open.
    if (!isUnloaded())
        showCallOnSecondScreen();
}

void Form11::Label2Click()
{
    m_state.historyOpen = !m_state.historyOpen;
    const int screenWidth = twips::screenWidth();
    const int screenHeight = twips::screenHeight();
    if (m_state.historyOpen) {
        setOuterSizeTwips(kOuterWidthOpen, kOuterHeightOpen);
        move(twips::point(screenWidth - 6100, screenHeight - 6000));
    } else {
        setOuterSizeTwips(kOuterWidthClosed, kOuterHeightClosed);
        move(twips::point(screenWidth - 2780, screenHeight - 2600));
    }
    m_label2->setText(m_state.historyOpen ? kHistoryOpenCaption : kHistoryClosedCaption);
}

void Form11::onSocketError(int code, const QString &description)
{
    showMessageBox(this, description, kApplicationTitle, BoxIcon::None);
    if (code == 10049)
        showMessageBox(this, QStringLiteral("10049"), kApplicationTitle, BoxIcon::None);
}

} // namespace tq3

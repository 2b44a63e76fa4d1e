#include "gui/consoles/ConsoleParts.h"

#include "core/calls/CallHistory.h"
#include "core/calls/Recall.h"
#include "core/calls/ServerLink.h"
#include "gui/consoles/ConsolePictures.h"
#include "gui/settings/ImpoRete.h"
#include "gui/launcher/LaMain.h"
#include "gui/kit/Look.h"
#include "gui/kit/MessageBox.h"
#include "gui/kit/Twips.h"
#include "gui/kit/WindowRegistry.h"
#include "core/store/SettingsFile.h"
#include "gui/windows/LoSchermo2.h"
#include "gui/windows/MsgForm.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

namespace tq3 {

ClickLabel::ClickLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
}

void ClickLabel::mousePressEvent(QMouseEvent *event)
{
    QLabel::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        Q_EMIT clicked();
}

HistoryList::HistoryList(QWidget *parent)
    : QTreeWidget(parent)
{
    setColumnCount(4);
    setHeaderLabels({QStringLiteral("Numero"), QStringLiteral("Orario"), QStringLiteral("Tempo trasc."),
                     QStringLiteral("Servizio")});
    const int widths[] = {1000, 900, 1535, 2200};
    for (int column = 0; column < 4; ++column)
        setColumnWidth(column, twips::toPixelsX(widths[column]));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    header()->setStretchLastSection(false);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    connect(header(), &QHeaderView::sectionClicked, this, &HistoryList::headingClicked);
}

QTreeWidgetItem *HistoryList::addCall(const HistoryRow &row)
{
    auto *item = new QTreeWidgetItem({QString::number(row.number), row.time, QString::number(row.minutes),
                                      row.service});
    addTopLevelItem(item);
    if (m_sortingOn)
        sortItems(0, m_order);
    scrollToItem(item);
    return item;
}

void HistoryList::headingClicked()
{
    m_order = m_order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    m_sortingOn = true;
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(0, m_order);
    sortItems(0, m_order);
}

CallBlink::CallBlink(WindowRegistry &registry, QLabel *number, QPushButton *stopButton, QObject *parent)
    : QObject(parent)
    , m_registry(registry)
    , m_number(number)
    , m_stopButton(stopButton)
    , m_timer(new QTimer(this))
{
    m_timer->setObjectName(QStringLiteral("Timer2"));
    m_timer->setInterval(350);
    connect(m_timer, &QTimer::timeout, this, &CallBlink::tick);
    connect(m_stopButton, &QPushButton::clicked, this, &CallBlink::stopByOperator);
    m_stopButton->hide();
}

void CallBlink::start()
{
    m_timer->start();
    m_stopButton->show();
}

void CallBlink::stopByOperator()
{
    if (!m_timer->isActive())
        return;
    m_registry.window<LoSchermo2>().FermaLampeggio();
    m_timer->stop();
    m_numberShown = true;
    m_number->show();
    m_stopButton->hide();
}

void CallBlink::tick()
{
    m_numberShown = !m_numberShown;
    m_number->setVisible(m_numberShown);
}

ConsoleKeys::ConsoleKeys(QWidget *console)
    : QObject(console)
    , m_console(console)
{
    // Key events go to the focus widget: the application sees them all first.
    QCoreApplication::instance()->installEventFilter(this);
}

bool ConsoleKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != m_console)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    const int code = key->key();
    const bool command = (code == Qt::Key_F12 || code == Qt::Key_Enter || code == Qt::Key_F5)
        && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (!command && code != Qt::Key_Return && code != Qt::Key_Space)
        return false;
    if (event->type() == QEvent::KeyRelease) {
        m_releasedKey = code;
        m_releasedAt = key->timestamp();
        return false;
    }
    const bool repeat = key->isAutoRepeat() || (code == m_releasedKey && key->timestamp() == m_releasedAt);
    if (repeat || !command)
        return repeat;
    if (code == Qt::Key_F5)
        Q_EMIT richiama();
    else
        Q_EMIT avanti();
    return true;
}

ServiceMenu::ServiceMenu(WindowRegistry &registry, QMenuBar *bar, QObject *parent)
    : QObject(parent)
    , m_registry(registry)
    , m_ss1(bar->addMenu(QStringLiteral("Servizio")))
{
    m_ss1->setObjectName(QStringLiteral("SS1"));
    m_ss2 = m_ss1->addAction(QStringLiteral("In Servizio"));
    m_ss2->setObjectName(QStringLiteral("SS2"));
    m_ss3 = m_ss1->addAction(QStringLiteral("Fuori Servizio"));
    m_ss3->setObjectName(QStringLiteral("SS3"));
    m_ss2->setCheckable(true);
    m_ss3->setCheckable(true);
    setMarks(false);
    connect(m_ss2, &QAction::triggered, this, &ServiceMenu::inServiceClicked);
    connect(m_ss3, &QAction::triggered, this, &ServiceMenu::outOfServiceClicked);
}

void ServiceMenu::inServiceClicked()
{
    if (m_registry.record().secondoSchermoAttivo) {
        m_registry.window<LoSchermo2>().MostraInServizio();
        m_inService = true;
    }
    // A checkable item toggles its own mark on a click: put back the state.
    setMarks(m_inService);
}

void ServiceMenu::outOfServiceClicked()
{
    if (m_registry.record().secondoSchermoAttivo) {
        m_registry.window<LoSchermo2>().MostraFuoriServizio();
        m_inService = false;
    }
    setMarks(m_inService);
}

void ServiceMenu::markInService()
{
    m_inService = true;
    setMarks(true);
}

void ServiceMenu::setMarks(bool inService)
{
    m_inService = inService;
    m_ss2->setChecked(inService);
    m_ss3->setChecked(!inService);
}

namespace {

void showHistoryFailure(QWidget *console, CallHistory &history)
{
    if (const std::optional<Error> failure = history.failureToReport())
        showMessageBox(console, failure->message, QStringLiteral("TQ3MAX"), BoxIcon::Information, failure);
}

} // namespace

void registerCall(QWidget *console, CallHistory &history, HistoryList &list, qint32 number,
                  const QString &service, QTime &lastCallTime)
{
    const HistoryRow row = history.record(number, service, lastCallTime);
    list.addCall(row);
    showHistoryFailure(console, history);
}

void reportHistoryFailure(QWidget *console, CallHistory &history)
{
    showHistoryFailure(console, history);
}

void closeConsole(WindowRegistry &registry, CallHistory &history)
{
    history.close();
    if (LaMain *launcher = registry.loaded<LaMain>())
        launcher->centreOnScreen();
    registry.window<LoSchermo2>().MostraFuoriServizio();
}

ConsoleForm::ConsoleForm(WindowRegistry &registry, ConsoleState &state, const QString &title)
    : Form(registry)
    , m_link(std::make_unique<ServerLink>())
    , m_history(std::make_unique<CallHistory>(*registry.environment().clock))
    , m_consoleState(state)
{
    setWindowTitle(title);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(look::tahoma(8.25));
    kit::setColours(this, Qt::black, look::fromBgr(0x00ECD6C6));
    state.historyOpen = false;

    m_keys = new ConsoleKeys(this);
    connect(m_keys, &ConsoleKeys::avanti, this, &ConsoleForm::Command1Click);
    connect(m_keys, &ConsoleKeys::richiama, this, &ConsoleForm::Richiama);
}

ConsoleForm::~ConsoleForm() = default;

void ConsoleForm::buildMenu()
{
    m_menuBar = new QMenuBar(this);
    m_menuBar->setObjectName(QStringLiteral("menuBar"));
    m_serviceMenu = new ServiceMenu(registry(), m_menuBar, this);
    m_serviceMenu->menu()->addSeparator();
    // The key is shown, not bound: ConsoleKeys presses it once per press.
    m_ss4 = m_serviceMenu->menu()->addAction(QStringLiteral("Richiama\tF5"));
    m_ss4->setObjectName(QStringLiteral("SS4"));
    connect(m_ss4, &QAction::triggered, this, &ConsoleForm::Richiama);
    enableRecall();
}

void ConsoleForm::buildClient(int widthPx, int heightPx)
{
    const int menuHeight = m_menuBar->sizeHint().height();
    m_menuBar->setGeometry(0, 0, widthPx, menuHeight);
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setGeometry(0, menuHeight, widthPx, heightPx);
    QPalette picture = m_client->palette();
    picture.setBrush(QPalette::Window, QBrush(pictures::consoleBackground(m_client->size())));
    m_client->setPalette(picture);
    m_client->setAutoFillBackground(true);
}

QPushButton *ConsoleForm::buildAvanti(const QString &name, const kit::Twips &at)
{
    auto *avanti = kit::control<QPushButton>(m_client, name, at, QStringLiteral("Avanti"));
    avanti->setAutoDefault(true);
    connect(avanti, &QPushButton::clicked, this, &ConsoleForm::Command1Click);
    return avanti;
}

void ConsoleForm::buildCallLabels(const QColor &deskColour, const QColor &numberColour,
                                  const std::array<kit::Twips, 3> &at)
{
    m_label1[0] = kit::control<QLabel>(m_client, QStringLiteral("Label1_0"), at[0]);
    kit::setColours(m_label1[0], deskColour);

    m_label1[1] = kit::control<QLabel>(m_client, QStringLiteral("Label1_1"), at[1], QStringLiteral("0"));
    m_label1[1]->setFont(look::tahoma(18, true));
    m_label1[1]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    kit::setColours(m_label1[1], numberColour);

    m_label1[2] = kit::control<QLabel>(m_client, QStringLiteral("Label1_2"), at[2]);
    m_label1[2]->setAlignment(Qt::AlignCenter);
    kit::setColours(m_label1[2], Qt::black, Qt::white);
    showDesk(QStringLiteral("Postazione"));
    showService(QStringLiteral("Servizio"));
}

void ConsoleForm::showDesk(const QString &desk)
{
    m_consoleState.deskCaption = desk;
    m_label1[0]->setText(desk);
}

void ConsoleForm::showService(const QString &service)
{
    m_consoleState.serviceCaption = service;
    m_label1[2]->setText(service);
}

void ConsoleForm::buildStopButton(const kit::Twips &at)
{
    m_pushButton1 = kit::control<QPushButton>(m_client, QStringLiteral("PushButton1"), at);
    m_pushButton1->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    m_blink = new CallBlink(registry(), m_label1[1], m_pushButton1, this);
}

void ConsoleForm::buildRecallButton(const kit::Twips &at)
{
    m_richiama = kit::control<QPushButton>(m_client, QStringLiteral("Richiama"), at, QStringLiteral("Richiama"));
    // A mouse target: the focus stays where it was, so Enter still means "Avanti".
    m_richiama->setFocusPolicy(Qt::NoFocus);
    m_richiama->setAutoDefault(false);
    connect(m_richiama, &QPushButton::clicked, this, &ConsoleForm::Richiama);
    enableRecall();
}

void ConsoleForm::enableRecall()
{
    const bool callToRecall = m_consoleState.lastCall.has_value();
    m_ss4->setEnabled(callToRecall);
    if (m_richiama)
        m_richiama->setEnabled(callToRecall);
}

void ConsoleForm::buildHistoryPart(const kit::Twips &heading, const kit::Twips &list)
{
    m_label4 = kit::control<QLabel>(m_client, QStringLiteral("Label4"), heading,
                                    QStringLiteral("Cronologia delle chiamate effettuate"));
    m_label4->setFont(look::tahoma(12, true));
    kit::setColours(m_label4, Qt::white, look::fromBgr(0x00C0C0C0));

    m_lb1 = kit::control<HistoryList>(m_client, QStringLiteral("LB1"), list);
}

bool ConsoleForm::readSettingsFile()
{
    const QString path = registry().environment().settingsFilePath;
    for (;;) {
        Result<SettingsFile> settings = SettingsFile::load(path);
        if (settings) {
            registry().record().takeFromFile(*settings);
            return true;
        }
        if (settings.error().kind != ErrorKind::NotFound) {
            // Held by another program or unreadable: the console opens with
            // its design captions rather than read a file it has not.
            showMessageBox(this, settings.error().message, QStringLiteral("TQ3-Messaggio"), BoxIcon::Information,
                           settings.error());
            return false;
        }
        // A missing folder asks for the settings without a message.
        if (QFileInfo(path).absoluteDir().exists()) {
            showMessageBox(this, QStringLiteral("Percorso Server non impostato o Server non raggiungibile !"),
                           QStringLiteral("TQ3-Messaggio"), BoxIcon::Information);
        }
        registry().showModal(registry().window<ImpoRete>());
    }
}

bool ConsoleForm::loadSettings()
{
    m_consoleState.righeCronologia = 0;
    if (!readSettingsFile())
        return false;
    const SettingsRecord &record = registry().record();
    m_consoleState.indirizzoServer = record.ipServer;
    m_link->setDestination(m_consoleState.indirizzoServer, record.portaServer);
    return true;
}

void ConsoleForm::openHistory()
{
    const QString desk = registry().record().nomePostazione;
    m_history->open(desk);
    showDesk(desk);
}

CallRequest ConsoleForm::callRequest() const
{
    const SettingsRecord &record = registry().record();
    CallRequest request;
    request.archiveFolder = record.percorsoServer;
    request.deskName = m_consoleState.deskCaption;
    request.ipLocale = record.ipLocale;
    request.serverAddress = m_consoleState.indirizzoServer;
    request.numberFilePatience = registry().environment().numberFilePatience;
    request.journalPath = callJournalPath(registry().environment().settingsFilePath);
    return request;
}

CallOutcome ConsoleForm::confirmTaken(const CallOutcome &outcome)
{
    if (outcome.kind != CallOutcome::Kind::Unannounced)
        return outcome;
    // The customer holds this number and nobody has called it yet.
    showMessageBox(this,
                   QStringLiteral("Numero %1 (%2) preso ma non annunciato !Premere OK per annunciarlo.")
                       .arg(outcome.call.number)
                       .arg(outcome.call.service),
                   QStringLiteral("TQ3MAX"), BoxIcon::Information);
    return m_call->announceTaken(callRequest(), outcome.call);
}

void ConsoleForm::callAndShow()
{
    showOutcome(confirmTaken(m_call->run(callRequest())));
}

void ConsoleForm::recoverInterruptedCall()
{
    if (std::optional<CallOutcome> left = m_call->recover(callRequest()))
        showOutcome(confirmTaken(*left));
}

void ConsoleForm::takeAnnounced(const AnnouncedCall &call)
{
    registry().record().numeroChiamato = call.number;
    m_label1[1]->setText(QString::number(call.number));
    m_consoleState.numeroTesto = call.numberText;
    m_consoleState.testoPostazione = call.desk;
    m_consoleState.testoServizio = call.service;
    m_consoleState.lastCall = call;
    enableRecall();
}

void ConsoleForm::Richiama()
{
    if (m_callRunning || !m_consoleState.lastCall)
        return;
    m_callRunning = true;
    pauseRefresh();
    const CallOutcome outcome = Recall(*m_link).run(callRequest(), *m_consoleState.lastCall);
    if (outcome.kind != CallOutcome::Kind::Announced) {
        MsgForm::MostraMessaggio(registry(), outcome.message.value(0), outcome.message.value(1));
    } else {
        const AnnouncedCall &call = outcome.call;
        m_label1[1]->setText(QString::number(call.number));
        showOnSecondScreen(call.desk, call.service, call.number);
        if (outcome.error)
            reportSendFailure(*outcome.error);
    }
    m_callRunning = false;
    resumeRefresh();
}

void ConsoleForm::reportHistoryOpening()
{
    reportHistoryFailure(this, *m_history);
}

void ConsoleForm::showCallOnSecondScreen()
{
    const SettingsRecord &record = registry().record();
    showOnSecondScreen(record.nomePostazione, m_consoleState.serviceCaption, record.numeroChiamato);
}

void ConsoleForm::showOnSecondScreen(const QString &desk, const QString &service, qint32 number)
{
    if (!registry().record().secondoSchermoAttivo)
        return;
    registry().window<LoSchermo2>().MostraChiamata(desk, service, number);
    m_serviceMenu->markInService();
    m_blink->start();
}

void ConsoleForm::recordCall()
{
    ++m_consoleState.righeCronologia;
    registerCall(this, *m_history, *m_lb1, registry().record().numeroChiamato, m_consoleState.serviceCaption,
                 m_consoleState.oraUltimaChiamata);
}

void ConsoleForm::closeEvent(QCloseEvent *event)
{
    m_blink->timer()->stop();
    closeConsole(registry(), *m_history);
    // Closing is never refused; QDialog's own handler would reject() and so
    // come back here.
    event->accept();
}

void ConsoleForm::reject()
{
    close();
}

} // namespace tq3

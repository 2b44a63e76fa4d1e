#include "gui/consoles/Form1.h"

#include "core/Version.h"
#include "core/calls/CallHistory.h"
#include "core/calls/SelectiveCall.h"
#include "core/calls/ServerLink.h"
#include "gui/kit/Look.h"
#include "gui/kit/MessageBox.h"
#include "gui/kit/Twips.h"
#include "gui/kit/WindowRegistry.h"
#include "gui/windows/LoSchermo2.h"
#include "gui/windows/MsgForm.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>

namespace tq3 {

namespace {

const QString kTitle = QStringLiteral("TQ3MAX - %1 - Modulo Client Selettivo").arg(QLatin1String(kVersion));
const QString kNoServiceCaption = QStringLiteral("Servizio non disponibile");

enum ServiceColumn { ColumnId = 0, ColumnName = 1, ColumnWaiting = 2 };

constexpr kit::Twips kLabel2{4320, 1680, 1575, 255};

} // namespace

Form1::Form1(WindowRegistry &registry, State &state)
    : ConsoleForm(registry, state, kTitle)
    , m_state(state)
{
    m_call = std::make_unique<SelectiveCall>(*m_link);
    buildControls();
    connect(m_link.get(), &ServerLink::refused, this, &Form1::onRefused);
    connect(m_link.get(), &ServerLink::socketError, this, &Form1::onSocketError);
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    buildMenu();
    buildClient(twips::toPixelsX(kClientWidth), twips::toPixelsY(kClientHeightOpen));

    m_label3 = kit::control<QLabel>(m_client, QStringLiteral("Label3"), {2865, 1080, 855, 255});
    kit::setColours(m_label3, Qt::black, Qt::white);

    m_services = new QStandardItemModel(0, 3, this);
    m_services->setHorizontalHeaderLabels(
        {QStringLiteral("ServizioID"), QStringLiteral("Servizio"), QStringLiteral("Attesa")});
    m_grid = kit::control<QTableView>(m_client, QStringLiteral("grid"), {0, 60, 3615, 1800});
    m_grid->setModel(m_services);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->verticalHeader()->setDefaultSectionSize(twips::toPixelsY(255));
    m_grid->verticalHeader()->setFixedWidth(twips::toPixelsX(180));
    m_grid->horizontalHeader()->setHighlightSections(false);
    m_grid->setColumnWidth(ColumnId, twips::toPixelsX(855));
    m_grid->setColumnWidth(ColumnName, twips::toPixelsX(1800));
    m_grid->setColumnWidth(ColumnWaiting, twips::toPixelsX(600));
    connect(m_grid, &QTableView::clicked, this, &Form1::gridRowClick);
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (!m_reloading)
            gridRowClick();
    });

    m_command1 = buildAvanti(QStringLiteral("Command1"), {3675, 360, 975, 615});

    buildCallLabels(look::fromBgr(0x00404040), look::fromBgr(0x00800000),
                    {{{3645, 120, 2295, 255}, {5085, 360, 855, 375}, {3720, 1080, 2295, 255}}});

    m_line1 = new QFrame(m_client);
    m_line1->setObjectName(QStringLiteral("Line1"));
    kit::setColours(m_line1, Qt::gray, look::fromBgr(0x00808080));
    m_line1->setGeometry(twips::toPixelsX(3720), twips::toPixelsY(1440), twips::toPixelsX(6000 - 3720), 1);

    buildStopButton({4680, 600, 375, 375});
    // Under the number it announces again, right-aligned with it, in the
    // free strip above the service's box.
    buildRecallButton({5145, 765, 795, 285});

    m_label2 = kit::control<ClickLabel>(m_client, QStringLiteral("Label2"), kLabel2, kHistoryClosedCaption);
    m_label2->setCursor(Qt::PointingHandCursor);
    kit::setColours(m_label2, look::fromBgr(0x00404040));
    connect(m_label2, &ClickLabel::clicked, this, &Form1::Label2Click);

    m_label7 = kit::control<QLabel>(m_client, QStringLiteral("Label7"), {3840, 1680, 495, 255}, QStringLiteral("V"));
    m_label7->hide();

    buildHistoryPart({30, 1965, 6000, 330}, {30, 2280, 6000, 2775});

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(5000);
    connect(m_timer1, &QTimer::timeout, this, &Form1::refreshTick);

    setClientHeight(kClientHeightClosed);
}

void Form1::setClientHeight(int twipsHeight)
{
    setFixedSize(twips::toPixelsX(kClientWidth), m_menuBar->height() + twips::toPixelsY(twipsHeight));
}

void Form1::load()
{
    if (!loadSettings())
        return;
    reloadServices(false);
    gridRowClick();
    openHistory();
    if (registry().record().secondoSchermoAttivo)
        registry().window<LoSchermo2>().ImpostaPostazione(m_state.deskCaption);
    reportHistoryOpening();
    recoverInterruptedCall();
    // Only now: a tick during the settings window's loop above would read an
    // archive the desk has not found yet, and a console whose load failed
    // has no list to refresh.
    m_timer1->start();
}

void Form1::activated()
{
    move(twips::point(twips::screenWidth() - 6200, twips::screenHeight() - 3250));
    m_lb1->setFocus();
}

void Form1::CaricaServizi()
{
    reloadServices(true);
}

void Form1::reloadServices(bool keepChosenRow)
{
    const SettingsRecord &record = registry().record();
    Result<QList<DeskServiceWaiting>> rows = loadDeskServices(record.percorsoServer, record.ipLocale);
    if (!rows) {
        // A list that could not be read again (an archive busy for a moment)
        // keeps the rows last read, so the desk does not lose its services.
        if (m_services->rowCount() == 0)
            showService(kNoServiceCaption);
        // Told once, not at every tick, until the list can be read again.
        if (!m_listFailureShown) {
            m_listFailureShown = true;
            showBox(rows.error().message, QStringLiteral("TQ3MAX"), rows.error());
        }
        return;
    }
    m_listFailureShown = false;
    m_reloading = true;
    m_services->removeRows(0, m_services->rowCount());
    for (const DeskServiceWaiting &row : *rows) {
        QList<QStandardItem *> items{new QStandardItem(QString::number(row.servizioId)),
                                     new QStandardItem(row.servizioTesto),
                                     new QStandardItem(row.attesa.isNull() ? QString() : row.attesa.toString())};
        items[ColumnId]->setData(row.servizioId, Qt::UserRole);
        m_services->appendRow(items);
    }
    m_reloading = false;
    if (m_services->rowCount() == 0) {
        showService(kNoServiceCaption);
        return;
    }
    // The chosen service stays chosen while the desk still has it, so that
    // a refresh never switches the service under the operator's hand.
    int current = 0;
    if (keepChosenRow) {
        for (int row = 0; row < m_services->rowCount(); ++row) {
            if (m_services->item(row, ColumnId)->data(Qt::UserRole).toLongLong() == m_state.idServizio) {
                current = row;
                break;
            }
        }
    }
    m_reloading = true;
    m_grid->setCurrentIndex(m_services->index(current, ColumnId));
    m_grid->selectRow(current);
    m_reloading = false;
    if (keepChosenRow)
        gridRowClick();
}

int Form1::chosenRow() const
{
    return std::max(m_grid->currentIndex().row(), 0);
}

void Form1::gridRowClick()
{
    if (m_services->rowCount() == 0)
        return;
    showService(m_services->item(chosenRow(), ColumnName)->text());
    m_state.idServizio = m_services->item(chosenRow(), ColumnId)->data(Qt::UserRole).toLongLong();
}

void Form1::refreshTick()
{
    CaricaServizi();
    m_lb1->setFocus();
    // The status check of the tick is left out: nothing feeds it a state
    // worth acting on; the server's state is read before each call instead.
}

CallRequest Form1::callRequest() const
{
    CallRequest request = ConsoleForm::callRequest();
    request.serviceId = m_state.idServizio;
    request.serviceRows = m_services->rowCount();
    // The chosen row's name, not Label1(2)'s: that may show a number made good at load.
    if (request.serviceRows > 0)
        request.serviceName = m_services->item(chosenRow(), ColumnName)->text();
    return request;
}

void Form1::Command1Click()
{
    if (m_callRunning)
        return;
    m_callRunning = true;
    pauseRefresh();
    callAndShow();
}

void Form1::showOutcome(const CallOutcome &outcome)
{
    using Kind = CallOutcome::Kind;
    SettingsRecord &record = registry().record();
    if (outcome.numberRead) {
        record.numeroLetto = *outcome.numberRead;
        record.numeroChiamato = record.numeroLetto;
        m_label1[1]->setText(QString::number(record.numeroChiamato));
    }
    const auto endCall = [this] {
        m_callRunning = false;
        resumeRefresh();
    };

    switch (outcome.kind) {
    case Kind::UnsetServerAddress:
    case Kind::ServerIsThisPc:
        m_messageWindowShown = true;
        MsgForm::MostraMessaggio(registry(), outcome.message.value(0), outcome.message.value(1), outcome.error);
        m_messageWindowShown = false;
        endCall();
        return;
    case Kind::NoService:
        endCall();
        showBox(QStringLiteral("Nessun Servizio associato  !"), QStringLiteral("TQ3MAX"));
        return;
    case Kind::ServerNotListening:
        showBox(QStringLiteral("Server non in ascolto ! "), QStringLiteral("Attenzione"));
        endCall();
        return;
    case Kind::NoNumberFile:
    case Kind::NothingWaiting:
    case Kind::QueueEmpty:
    case Kind::Unannounced:  // confirmed and sent before it gets here
        endCall();
        return;
    case Kind::Failed:
        showBox(outcome.message.value(0), QStringLiteral("TQ3MAX"), outcome.error);
        endCall();
        return;
    case Kind::Announced:
        break;
    }

    // A number made good at load may be of another service than the chosen one.
    showService(outcome.call.service);
    takeAnnounced(outcome.call);
    showCallOnSecondScreen();
    endCall();
    recordCall();
    if (outcome.error)
        reportSendFailure(*outcome.error);
}

void Form1::reportSendFailure(const Error &error)
{
    showBox(error.message, QStringLiteral("Segnalazione errore connessione"), error);
}

namespace {

// The caption grows to the left when the machine's font draws it wider than
// the label's design width, so "Chiudi Cronologia chiamate" is never cut.
void fitToTheLeft(QLabel *label, const QString &caption)
{
    label->setText(caption);
    const QRect design = kLabel2.pixels();
    const int needed = label->fontMetrics().horizontalAdvance(caption) + 4;
    if (needed <= design.width()) {
        label->setGeometry(design);
        return;
    }
    label->setGeometry(design.right() + 1 - needed, design.top(), needed, design.height());
}

} // namespace

void Form1::Label2Click()
{
    const int shift = twips::toPixelsY(kHistoryShift);
    m_state.historyOpen = !m_state.historyOpen;
    move(pos().x(), pos().y() + (m_state.historyOpen ? -shift : shift));
    setClientHeight(m_state.historyOpen ? kClientHeightOpen : kClientHeightClosed);
    fitToTheLeft(m_label2, m_state.historyOpen ? kHistoryOpenCaption : kHistoryClosedCaption);
}

void Form1::showBox(const QString &text, const QString &title, const std::optional<Error> &cause)
{
    // The refresh goes on under a box, except one a call shows: the call
    // keeps it stopped until it ends.
    showMessageBox(this, text, title, BoxIcon::Information, cause);
}

void Form1::pauseRefresh()
{
    m_timer1->stop();
}

void Form1::resumeRefresh()
{
    if (m_callRunning || m_messageWindowShown || isMinimized())
        return;
    m_timer1->start();
}

void Form1::onRefused()
{
    showBox(QStringLiteral("Server non in ascolto !"), QStringLiteral("Attenzione"));
}

void Form1::onSocketError(int, const QString &description)
{
    showBox(description, QStringLiteral("Segnalazione errore connessione"));
}

void Form1::changeEvent(QEvent *event)
{
    Form::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    if (isMinimized())
        m_timer1->stop();
    else if (windowState() == Qt::WindowNoState)
        resumeRefresh();
}

void Form1::closeEvent(QCloseEvent *event)
{
    m_timer1->stop();
    ConsoleForm::closeEvent(event);
}

} // namespace tq3

#include "console/ui/ConsoleParts.h"

#include "console/CallHistory.h"
#include "startup/ui/LaMain.h"
#include "startup/ui/MessageBox.h"
#include "startup/ui/Twips.h"
#include "startup/ui/WindowRegistry.h"
#include "windows/LoSchermo2.h"

#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
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
    setObjectName(QStringLiteral("LB1"));
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
    m_number->show();
    m_stopButton->hide();
}

bool CallBlink::isRunning() const
{
    return m_timer->isActive();
}

void CallBlink::tick()
{
    m_number->setVisible(!m_number->isVisible());
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
        showMessageBox(console, failure->message, QStringLiteral("TQ3MAX"), BoxIcon::Information);
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

} // namespace tq3

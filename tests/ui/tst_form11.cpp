#include "console/ServerLink.h"
#include "console/ui/Form11.h"
#include "settings/ImpoRete.h"
#include "startup/ui/Look.h"
#include "startup/ui/Twips.h"
#include "startup/ui/WindowRegistry.h"
#include "store/SettingsFile.h"
#include "windows/LoSchermo2.h"

#include "automatic_Archive.h"
#include "automatic_Clock.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <memory>

using namespace tq3;
using namespace tq3::test;

namespace {

const QString kDeskIp = QStringLiteral("10.0.0.21");
const QString kOtherIp = QStringLiteral("10.0.0.22");
const QString kDesk = QStringLiteral("Sportello 1");

QString ora(int minute)
{
    return QStringLiteral("2026-12-05 09:%1:00").arg(minute, 2, 10, QLatin1Char('0'));
}

// Answers every modal window that opens while it lives, as the operator
// would, and notes each as "title|text|icon". For the message window the
// text is its visible lines joined by '/'.
class ModalRecorder final : public QObject {
public:
    explicit ModalRecorder(std::function<void(QWidget *)> beforeClose = {})
        : m_beforeClose(std::move(beforeClose))
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalRecorder::poll);
        m_timer.start(10);
    }

    QStringList seen;

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || m_busy)
            return;
        m_busy = true;
        QString text;
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            text = box->text() + (box->icon() == QMessageBox::NoIcon ? QString() : QStringLiteral("|icon"));
        } else if (modal->objectName() == QLatin1String("MsgForm")) {
            QStringList lines;
            for (const char *name : {"Label2_0", "Label2_1"}) {
                if (auto *line = modal->findChild<QLabel *>(QLatin1String(name)); line && line->isVisible())
                    lines << line->text();
            }
            text = lines.join(QLatin1Char('/'));
        } else {
            text = modal->objectName();
        }
        seen << modal->windowTitle() + QLatin1Char('|') + text;
        if (m_beforeClose)
            m_beforeClose(modal);
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        else if (auto *close = modal->findChild<QPushButton *>(QStringLiteral("PB1_0")))
            QTest::mouseClick(close, Qt::LeftButton);
        else
            modal->close();
        m_busy = false;
    }

    QTimer m_timer;
    std::function<void(QWidget *)> m_beforeClose;
    bool m_busy = false;
};

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestForm11 final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void callFromTheConsole_data();
    void callFromTheConsole();
    void secondScreenShowsThePreviousCallWhenNothingIsForTheDesk();
    void socketErrorsAreShownInPlainBoxes_data();
    void socketErrorsAreShownInPlainBoxes();
    void windowOpensSmallAndTheHistoryMenuResizesIt();
    void controlsHaveTheirCaptionsColoursAndMenus();
    void menuChangesNothingWithoutSecondScreen();
    void missingSettingsFileAsksAgainUntilItExists();
    void closingSwitchesTheSecondScreenOutOfService();
    void historyCountsAcrossReopening();
    void unopenableHistoryFileIsToldOnceAndCallsGoOn();
    void screenshotWithTheHistoryOpen();

private:
    Form11 &openConsole(const QString &serverAddress = QStringLiteral("127.0.0.1"));
    QLabel *label(const QString &name) const;
    void clickAvanti();

    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<AutomaticArchive> m_archive;
    std::unique_ptr<DatagramListener> m_listener;
    std::shared_ptr<AutomaticClock> m_clock;
    std::unique_ptr<WindowRegistry> m_registry;
    QString m_previousFolder;
};

void TestForm11::init()
{
    m_previousFolder = QDir::currentPath();
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    // The history file lies in the working folder.
    QVERIFY(QDir::setCurrent(m_work->path()));
    m_archive = std::make_unique<AutomaticArchive>();
    QVERIFY(m_archive->isValid());
    m_archive->addDeskService(kDeskIp, 1, QStringLiteral("Anagrafe"));
    m_archive->addDeskService(kDeskIp, 2, QStringLiteral("Tributi"));
    m_archive->addDeskService(kOtherIp, 3, QStringLiteral("Stato civile"));
    m_listener = std::make_unique<DatagramListener>();
    m_clock = std::make_shared<AutomaticClock>(QDateTime(QDate(2026, 12, 5), QTime(14, 5)));
    ClientEnvironment environment;
    environment.clock = m_clock;
    environment.localAddress = [] { return kDeskIp; };
    environment.settingsFilePath = m_work->filePath(QStringLiteral("PercorsiClient.txt"));
    environment.numberFilePatience = std::chrono::milliseconds(300);
    m_registry = std::make_unique<WindowRegistry>(environment);
    m_registry->record().ipLocale = kDeskIp;
    m_registry->record().portaServer = m_listener->port();
}

void TestForm11::cleanup()
{
    m_registry.reset();
    QDir::setCurrent(m_previousFolder);
    m_listener.reset();
    m_archive.reset();
    m_work.reset();
}

Form11 &TestForm11::openConsole(const QString &serverAddress)
{
    SettingsFile settings{m_archive->folder(), kDesk, serverAddress, QStringLiteral("N")};
    if (!settings.save(m_registry->environment().settingsFilePath))
        qWarning("settings file not written");
    Form11 &form = m_registry->window<Form11>();
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        qWarning("console not exposed");
    return form;
}

QLabel *TestForm11::label(const QString &name) const
{
    Form11 *form = m_registry->loaded<Form11>();
    return form ? form->findChild<QLabel *>(name) : nullptr;
}

void TestForm11::clickAvanti()
{
    Form11 *form = m_registry->loaded<Form11>();
    QVERIFY(form);
    auto *avanti = form->findChild<QPushButton *>(QStringLiteral("Command1_0"));
    QVERIFY(avanti);
    QCOMPARE(avanti->text(), QStringLiteral("Avanti"));
    QTest::mouseClick(avanti, Qt::LeftButton);
}

void TestForm11::callFromTheConsole_data()
{
    QTest::addColumn<QString>("serverAddress");
    QTest::addColumn<QString>("queue");  // which tickets wait
    QTest::addColumn<QString>("serverState");
    QTest::addColumn<bool>("numberFolder");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("service");
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QList<qint64>>("calledKeys");
    QTest::addColumn<QByteArray>("history");

    const QString ip = QStringLiteral("127.0.0.1");
    // Tickets of "mixed": key 1 service 3 (other desk, oldest), key 2 service 1
    // (ora 05), key 3 service 2 (ora 02).
    QTest::newRow("the oldest ticket of the desk's two services is announced, shown and kept in the history")
        << ip << QStringLiteral("mixed") << QStringLiteral("True") << true << QStringList{} << QStringLiteral("31")
        << QStringLiteral("Tributi") << QByteArray("031#Sportello 1#Tributi") << QList<qint64>{3}
        << QByteArray("\"31\",\"14.05\",\"05/12/2026\",0,\"Tributi\"\r\n");
    QTest::newRow("number 7 is sent as 007 and shown as 7")
        << ip << QStringLiteral("seven") << QStringLiteral("True") << true << QStringList{} << QStringLiteral("7")
        << QStringLiteral("Anagrafe") << QByteArray("007#Sportello 1#Anagrafe") << QList<qint64>{1}
        << QByteArray("\"7\",\"14.05\",\"05/12/2026\",0,\"Anagrafe\"\r\n");
    QTest::newRow("tickets of other desks' services only: nothing marked, nothing shown")
        << ip << QStringLiteral("other") << QStringLiteral("True") << true << QStringList{} << QStringLiteral("0")
        << QStringLiteral("Servizio") << QByteArray() << QList<qint64>{} << QByteArray();
    QTest::newRow("an empty queue is told in the message window")
        << ip << QStringLiteral("empty") << QStringLiteral("True") << true
        << QStringList{QStringLiteral(" |Al momento coda di attesa vuota !")} << QStringLiteral("0")
        << QStringLiteral("Servizio") << QByteArray() << QList<qint64>{} << QByteArray();
    QTest::newRow("False in the server-state file shows the box and marks nothing")
        << ip << QStringLiteral("mixed") << QStringLiteral("False") << true
        << QStringList{QStringLiteral("Attenzione|Server non in ascolto ! |icon")} << QStringLiteral("0")
        << QStringLiteral("Servizio") << QByteArray() << QList<qint64>{} << QByteArray();
    QTest::newRow("a desk without services says so in the service label, with no box")
        << ip << QStringLiteral("nodesk") << QStringLiteral("True") << true << QStringList{} << QStringLiteral("0")
        << QStringLiteral("Nessun Servizio associato !") << QByteArray() << QList<qint64>{} << QByteArray();
    QTest::newRow("the unset server address is refused before the archive is touched")
        << QStringLiteral("0.0.0.0") << QStringLiteral("mixed") << QStringLiteral("True") << true
        << QStringList{QStringLiteral(" |Indirizzo Host errato !Controllare impostazioni !")} << QStringLiteral("0")
        << QStringLiteral("Servizio") << QByteArray() << QList<qint64>{} << QByteArray();
    QTest::newRow("the server on this PC is refused with the two-line message")
        << kDeskIp << QStringLiteral("mixed") << QStringLiteral("True") << true
        << QStringList{QStringLiteral(" |Client e Server non devono/coesistere sullo stesso PC !")}
        << QStringLiteral("0") << QStringLiteral("Servizio") << QByteArray() << QList<qint64>{} << QByteArray();
    QTest::newRow("a missing number folder is told and the ticket stays waiting")
        << ip << QStringLiteral("seven") << QStringLiteral("True") << false
        << QStringList{QStringLiteral(" |Impossibile scrivere il numero chiamato !/Il biglietto resta in attesa.")}
        << QStringLiteral("0") << QStringLiteral("Servizio") << QByteArray() << QList<qint64>{} << QByteArray();
    QTest::newRow("a missing server-state file is told and nothing is marked")
        << ip << QStringLiteral("seven") << QString() << true
        << QStringList{QStringLiteral(" |File di stato del Server non trovato !")} << QStringLiteral("0")
        << QStringLiteral("Servizio") << QByteArray() << QList<qint64>{} << QByteArray();
}

void TestForm11::callFromTheConsole()
{
    QFETCH(QString, serverAddress);
    QFETCH(QString, queue);
    QFETCH(QString, serverState);
    QFETCH(bool, numberFolder);
    QFETCH(QStringList, boxes);
    QFETCH(QString, number);
    QFETCH(QString, service);
    QFETCH(QByteArray, datagram);
    QFETCH(QList<qint64>, calledKeys);
    QFETCH(QByteArray, history);

    if (queue == QLatin1String("mixed")) {
        m_archive->addTicket(3, 50, QStringLiteral("Stato civile"), ora(0));
        m_archive->addTicket(1, 12, QStringLiteral("Anagrafe"), ora(5));
        m_archive->addTicket(2, 31, QStringLiteral("Tributi"), ora(2));
    } else if (queue == QLatin1String("seven")) {
        m_archive->addTicket(1, 7, QStringLiteral("Anagrafe"), ora(0));
    } else if (queue == QLatin1String("other")) {
        m_archive->addTicket(3, 50, QStringLiteral("Stato civile"), ora(0));
    } else if (queue == QLatin1String("nodesk")) {
        m_archive->addTicket(1, 7, QStringLiteral("Anagrafe"), ora(0));
        m_registry->record().ipLocale = QStringLiteral("10.9.9.9");
    }
    m_archive->setServerState(serverState);
    if (!numberFolder)
        QVERIFY(QDir(m_archive->folder()).rmdir(QStringLiteral("NrAll")));

    ModalRecorder recorder;
    Form11 &form = openConsole(serverAddress);
    QCOMPARE(label(QStringLiteral("Label1_0"))->text(), kDesk);
    clickAvanti();
    QTest::qWait(50);

    QCOMPARE(recorder.seen, boxes);
    QCOMPARE(label(QStringLiteral("Label1_1"))->text(), number);
    QCOMPARE(label(QStringLiteral("Label1_2"))->text(), service);
    QCOMPARE(m_listener->receive(datagram.isEmpty() ? 0 : 1, 2000).value(0), datagram);
    QVERIFY(m_listener->drain(50).isEmpty());
    QCOMPARE(m_archive->calledKeys(), calledKeys);
    QCOMPARE(fileBytes(m_work->filePath(QStringLiteral("Cronologia-Sportello 1.txt"))), history);
    auto *list = form.findChild<QTreeWidget *>(QStringLiteral("LB1"));
    QVERIFY(list);
    QCOMPARE(list->topLevelItemCount(), history.isEmpty() ? 0 : 1);
    if (!history.isEmpty()) {
        const QTreeWidgetItem *row = list->topLevelItem(0);
        QCOMPARE((QStringList{row->text(0), row->text(1), row->text(2), row->text(3)}),
                 (QStringList{number, QStringLiteral("14.05"), QStringLiteral("0"), service}));
        QCOMPARE(m_registry->record().numeroChiamato, number.toInt());
        QCOMPARE(m_registry->state<Form11>().numeroTesto, QString::fromLatin1(datagram.left(datagram.indexOf('#'))));
    }
    // The second screen is off: no blink and no stop button.
    QVERIFY(form.findChild<QPushButton *>(QStringLiteral("PushButton1"))->isHidden());
}

void TestForm11::secondScreenShowsThePreviousCallWhenNothingIsForTheDesk()
{
    m_registry->record().secondoSchermoAttivo = true;
    m_archive->addTicket(2, 31, QStringLiteral("Tributi"), ora(2));
    ModalRecorder recorder;
    Form11 &form = openConsole();
    auto &screen = m_registry->window<LoSchermo2>();
    clickAvanti();
    QCOMPARE(m_listener->receive(1).size(), 1);

    // Now only another desk's service has a waiting ticket.
    m_archive->addTicket(3, 50, QStringLiteral("Stato civile"), ora(9));
    screen.MostraFuoriServizio();
    screen.FermaLampeggio();
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("PushButton1")), Qt::LeftButton);
    QVERIFY(form.findChild<QPushButton *>(QStringLiteral("PushButton1"))->isHidden());
    auto *ss2 = form.findChild<QAction *>(QStringLiteral("SS2"));
    auto *ss3 = form.findChild<QAction *>(QStringLiteral("SS3"));
    ss3->trigger();
    QVERIFY(ss3->isChecked() && !ss2->isChecked());

    clickAvanti();
    QTest::qWait(50);
    QCOMPARE(recorder.seen, QStringList{});
    QVERIFY(m_listener->drain(50).isEmpty());
    QCOMPARE(m_archive->calledKeys(), QList<qint64>{1});
    // Refreshed with the previous call: number panel, desk, service, number.
    QVERIFY(screen.findChild<QFrame *>(QStringLiteral("Gruppo"))->isVisibleTo(&screen));
    QVERIFY(!screen.findChild<QFrame *>(QStringLiteral("FuoriServizio"))->isVisibleTo(&screen));
    auto *group = screen.findChild<QFrame *>(QStringLiteral("Gruppo"));
    QCOMPARE(group->findChild<QLabel *>(QStringLiteral("Label2"))->text(), QStringLiteral("Tributi"));
    QCOMPARE(group->findChild<QLabel *>(QStringLiteral("Label3"))->text(), QStringLiteral("31"));
    QCOMPARE(group->findChild<QLabel *>(QStringLiteral("Label1"))->text(), kDesk);
    QVERIFY(ss2->isChecked() && !ss3->isChecked());
    QVERIFY(!form.findChild<QPushButton *>(QStringLiteral("PushButton1"))->isHidden());

    // "False": the box, nothing marked, and still the refresh.
    m_archive->addTicket(1, 8, QStringLiteral("Anagrafe"), ora(10));
    m_archive->setServerState(QStringLiteral("False"));
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("PushButton1")), Qt::LeftButton);
    screen.MostraFuoriServizio();
    clickAvanti();
    QTRY_COMPARE(recorder.seen, QStringList{QStringLiteral("Attenzione|Server non in ascolto ! |icon")});
    QCOMPARE(m_archive->calledKeys(), QList<qint64>{1});
    QVERIFY(group->isVisibleTo(&screen));
    QCOMPARE(group->findChild<QLabel *>(QStringLiteral("Label3"))->text(), QStringLiteral("31"));
    QCOMPARE(label(QStringLiteral("Label1_1"))->text(), QStringLiteral("31"));
}

void TestForm11::socketErrorsAreShownInPlainBoxes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("address not available shows its description and then 10049")
        << 10049
        << QStringList{QStringLiteral("TQ3MAX|Cannot assign requested address"), QStringLiteral("TQ3MAX|10049")};
    QTest::newRow("any other error shows its description only")
        << 10065 << QStringList{QStringLiteral("TQ3MAX|Cannot assign requested address")};
}

void TestForm11::socketErrorsAreShownInPlainBoxes()
{
    QFETCH(int, code);
    QFETCH(QStringList, boxes);
    ModalRecorder recorder;
    Form11 &form = openConsole();
    // Loopback cannot produce these errors: the link reports them as the socket would.
    Q_EMIT form.link().socketError(code, QStringLiteral("Cannot assign requested address"));
    QTRY_COMPARE(recorder.seen, boxes);
    QTest::qWait(50);
    QCOMPARE(recorder.seen, boxes);
    QVERIFY(m_registry->loaded<Form11>());
}

void TestForm11::windowOpensSmallAndTheHistoryMenuResizesIt()
{
    Form11 &form = openConsole();
    auto *client = form.findChild<QWidget *>(QStringLiteral("client"));
    auto *menuBar = form.findChild<QMenuBar *>();
    QVERIFY(client && menuBar);
    const int screenWidth = twips::screenWidth();
    const int screenHeight = twips::screenHeight();
    const QSize closed(twips::toPixelsX(2610), menuBar->height() + twips::toPixelsY(1185));
    QCOMPARE(form.size(), closed);
    QCOMPARE(form.pos(), twips::point(screenWidth - 2780, screenHeight - 2380));
    QCOMPARE(label(QStringLiteral("Label2"))->text(), QStringLiteral("Cronologia chiamate"));

    auto *cr1 = form.findChild<QAction *>(QStringLiteral("cr1"));
    QVERIFY(cr1);
    QCOMPARE(cr1->text(), QStringLiteral("Cronologia chiamate"));
    cr1->trigger();
    QCOMPARE(form.size(), QSize(twips::toPixelsX(6030 - 90), menuBar->height() + twips::toPixelsY(5895 - 960)));
    QCOMPARE(form.pos(), twips::point(screenWidth - 6100, screenHeight - 6000));
    QCOMPARE(label(QStringLiteral("Label2"))->text(), QStringLiteral("Chiudi Cronologia chiamate"));
    QCOMPARE(cr1->text(), QStringLiteral("Cronologia chiamate"));
    // The history comes into view below the button.
    auto *list = form.findChild<QTreeWidget *>(QStringLiteral("LB1"));
    QVERIFY(client->mapTo(&form, list->geometry().topLeft()).y() < form.height());

    cr1->trigger();
    QCOMPARE(form.size(), closed);
    QCOMPARE(form.pos(), twips::point(screenWidth - 2780, screenHeight - 2600));
    QCOMPARE(label(QStringLiteral("Label2"))->text(), QStringLiteral("Cronologia chiamate"));

    // Activation puts it back 220 twips lower, whatever its size.
    form.activated();
    QCOMPARE(form.pos(), twips::point(screenWidth - 2780, screenHeight - 2380));
    cr1->trigger();
    form.activated();
    QCOMPARE(form.pos(), twips::point(screenWidth - 2780, screenHeight - 2380));
    QCOMPARE(form.size().width(), twips::toPixelsX(5940));
}

void TestForm11::controlsHaveTheirCaptionsColoursAndMenus()
{
    Form11 &form = openConsole();
    QCOMPARE(form.windowTitle(), QStringLiteral("3.1.15 Client "));
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    QCOMPARE(form.palette().color(QPalette::Window), look::fromBgr(0x00ECD6C6));

    QLabel *number = label(QStringLiteral("Label1_1"));
    QCOMPARE(number->text(), QStringLiteral("0"));
    QCOMPARE(number->palette().color(QPalette::WindowText), QColor(0x80, 0, 0));
    QCOMPARE(number->font().pointSizeF(), 18.0);
    QVERIFY(number->font().bold());
    QVERIFY(number->alignment() & Qt::AlignRight);
    QCOMPARE(number->geometry(), twips::rect(1560, 360, 975, 375));

    QLabel *service = label(QStringLiteral("Label1_2"));
    QCOMPARE(service->text(), QStringLiteral("Servizio"));
    QVERIFY(service->alignment() & Qt::AlignHCenter);
    QCOMPARE(service->palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(service->geometry(), twips::rect(120, 840, 2415, 255));

    QCOMPARE(label(QStringLiteral("Label1_0"))->palette().color(QPalette::WindowText), QColor(Qt::white));
    auto *avanti = form.findChild<QPushButton *>(QStringLiteral("Command1_0"));
    QCOMPARE(avanti->geometry(), twips::rect(120, 120, 855, 615));
    QVERIFY(form.findChild<QPushButton *>(QStringLiteral("PushButton1"))->isHidden());

    QLabel *heading = label(QStringLiteral("Label4"));
    QCOMPARE(heading->text(), QStringLiteral("Cronologia delle chiamate effettuate"));
    QCOMPARE(heading->font().pointSizeF(), 12.0);
    QCOMPARE(heading->palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
    auto *list = form.findChild<QTreeWidget *>(QStringLiteral("LB1"));
    QCOMPARE(list->geometry(), twips::rect(120, 2280, 5775, 2775));
    QCOMPARE(list->headerItem()->text(2), QStringLiteral("Tempo trasc."));

    auto *ss2 = form.findChild<QAction *>(QStringLiteral("SS2"));
    auto *ss3 = form.findChild<QAction *>(QStringLiteral("SS3"));
    QCOMPARE(ss2->text(), QStringLiteral("In Servizio"));
    QCOMPARE(ss3->text(), QStringLiteral("FuoriServizio"));
    QVERIFY(!ss2->isChecked());
    QVERIFY(ss3->isChecked());
    QStringList menus;
    for (QAction *action : form.findChild<QMenuBar *>()->actions())
        menus << action->text();
    QCOMPARE(menus, (QStringList{QStringLiteral("Servizio"), QStringLiteral("Cronologia chiamate")}));
}

void TestForm11::menuChangesNothingWithoutSecondScreen()
{
    Form11 &form = openConsole();
    auto *ss2 = form.findChild<QAction *>(QStringLiteral("SS2"));
    auto *ss3 = form.findChild<QAction *>(QStringLiteral("SS3"));
    ss2->trigger();
    QVERIFY(!ss2->isChecked());
    QVERIFY(ss3->isChecked());
    QVERIFY(!m_registry->loaded<LoSchermo2>());

    m_registry->record().secondoSchermoAttivo = true;
    ss2->trigger();
    QVERIFY(ss2->isChecked());
    QVERIFY(!ss3->isChecked());
    ss3->trigger();
    QVERIFY(!ss2->isChecked());
    QVERIFY(ss3->isChecked());
}

void TestForm11::missingSettingsFileAsksAgainUntilItExists()
{
    int settingsWindows = 0;
    ModalRecorder recorder([&](QWidget *modal) {
        if (modal->objectName() != QLatin1String("ImpoRete") || ++settingsWindows < 2)
            return;
        SettingsFile settings{m_archive->folder(), kDesk, QStringLiteral("127.0.0.1"), QStringLiteral("N")};
        QVERIFY(settings.save(m_registry->environment().settingsFilePath));
    });
    Form11 &form = m_registry->window<Form11>();
    const QString box = QStringLiteral("TQ3-Messaggio|Percorso Server non impostato o Server non raggiungibile !|icon");
    QCOMPARE(recorder.seen.size(), 4);
    QCOMPARE(recorder.seen.at(0), box);
    QVERIFY(recorder.seen.at(1).endsWith(QStringLiteral("|ImpoRete")));
    QCOMPARE(recorder.seen.at(2), box);
    QCOMPARE(label(QStringLiteral("Label1_0"))->text(), kDesk);
    form.close();
}

void TestForm11::closingSwitchesTheSecondScreenOutOfService()
{
    m_registry->record().secondoSchermoAttivo = false;
    auto &screen = m_registry->window<LoSchermo2>();
    screen.MostraInServizio();
    Form11 &form = openConsole();
    form.close();
    QTRY_VERIFY(!m_registry->loaded<Form11>());
    QVERIFY(screen.findChild<QFrame *>(QStringLiteral("FuoriServizio"))->isVisibleTo(&screen));
    QVERIFY(!screen.findChild<QFrame *>(QStringLiteral("Gruppo"))->isVisibleTo(&screen));
}

void TestForm11::historyCountsAcrossReopening()
{
    m_archive->addTicket(1, 7, QStringLiteral("Anagrafe"), ora(0));
    m_archive->addTicket(2, 8, QStringLiteral("Tributi"), ora(1));
    m_archive->addTicket(1, 9, QStringLiteral("Anagrafe"), ora(2));
    m_clock->set(QDateTime(QDate(2026, 12, 5), QTime(23, 58)));
    openConsole();
    clickAvanti();
    m_registry->loaded<Form11>()->close();
    QTRY_VERIFY(!m_registry->loaded<Form11>());

    m_clock->set(QDateTime(QDate(2026, 12, 6), QTime(0, 3)));
    Form11 &again = openConsole();
    QCOMPARE(again.findChild<QTreeWidget *>(QStringLiteral("LB1"))->topLevelItemCount(), 0);
    clickAvanti();
    m_clock->set(QDateTime(QDate(2026, 12, 6), QTime(0, 10)));
    clickAvanti();
    QCOMPARE(m_listener->receive(3).size(), 3);
    QCOMPARE(fileBytes(m_work->filePath(QStringLiteral("Cronologia-Sportello 1.txt"))),
             QByteArray("\"7\",\"23.58\",\"05/12/2026\",0,\"Anagrafe\"\r\n"
                        "\"8\",\"00.03\",\"06/12/2026\",-1435,\"Tributi\"\r\n"
                        "\"9\",\"00.10\",\"06/12/2026\",7,\"Anagrafe\"\r\n"));
    QCOMPARE(again.findChild<QTreeWidget *>(QStringLiteral("LB1"))->topLevelItemCount(), 2);
    QCOMPARE(m_registry->state<Form11>().righeCronologia, 2);
}

void TestForm11::unopenableHistoryFileIsToldOnceAndCallsGoOn()
{
    // A folder where the history file should be: it cannot be opened.
    QVERIFY(QDir(m_work->path()).mkdir(QStringLiteral("Cronologia-Sportello 1.txt")));
    m_archive->addTicket(1, 7, QStringLiteral("Anagrafe"), ora(0));
    m_archive->addTicket(1, 8, QStringLiteral("Anagrafe"), ora(1));
    ModalRecorder recorder;
    Form11 &form = openConsole();
    QTRY_COMPARE(recorder.seen,
                 QStringList{QStringLiteral("TQ3MAX|Impossibile aprire il file della cronologia !|icon")});
    clickAvanti();
    clickAvanti();
    QTest::qWait(50);
    QCOMPARE(recorder.seen.size(), 1);
    QCOMPARE(m_listener->receive(2).size(), 2);
    QCOMPARE(label(QStringLiteral("Label1_1"))->text(), QStringLiteral("8"));
    QCOMPARE(form.findChild<QTreeWidget *>(QStringLiteral("LB1"))->topLevelItemCount(), 2);
}

void TestForm11::screenshotWithTheHistoryOpen()
{
    // Only with TQ3_FORM11_SHOT naming the picture to write (on a real X server).
    const QString shot = QProcessEnvironment::systemEnvironment().value(QStringLiteral("TQ3_FORM11_SHOT"));
    if (shot.isEmpty())
        QSKIP("TQ3_FORM11_SHOT not set");
    m_archive->addTicket(1, 7, QStringLiteral("Anagrafe"), ora(0));
    m_archive->addTicket(2, 12, QStringLiteral("Tributi"), ora(1));
    m_archive->addTicket(1, 8, QStringLiteral("Anagrafe"), ora(2));
    Form11 &form = openConsole();
    const QList<QTime> times{QTime(9, 2), QTime(9, 9), QTime(9, 21)};
    for (const QTime &t : times) {
        m_clock->setTime(t);
        clickAvanti();
    }
    form.findChild<QAction *>(QStringLiteral("cr1"))->trigger();
    QTest::qWait(300);
    QVERIFY(form.grab().save(shot));
}

QTEST_MAIN(TestForm11)
#include "tst_form11.moc"

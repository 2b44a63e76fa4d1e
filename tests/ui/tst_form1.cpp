#include "console/ServerLink.h"
#include "console/ui/Form1.h"
#include "startup/ui/Twips.h"
#include "startup/ui/WindowRegistry.h"
#include "store/ArchiveBuilder.h"
#include "store/SettingsFile.h"
#include "windows/LoSchermo2.h"

#include "automatic_Clock.h"
#include "selective_Archive.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUdpSocket>

#include <functional>
#include <memory>

using namespace tq3;
using namespace tq3::test;

namespace {

const QString kDeskIp = QStringLiteral("10.0.0.5");
const QString kDesk = QStringLiteral("Sportello 1");

// Answers every modal window that opens while it lives, as the operator
// would, and notes each as "title|text". For the message window the text is
// its visible lines, joined by '/'.
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
            text = box->text();
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
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        } else if (auto *close = modal->findChild<QPushButton *>(QStringLiteral("PB1_0"))) {
            QTest::mouseClick(close, Qt::LeftButton);
        } else {
            modal->close();
        }
        m_busy = false;
    }

    QTimer m_timer;
    std::function<void(QWidget *)> m_beforeClose;
    bool m_busy = false;
};

QByteArray takeDatagram(QUdpSocket &listener, int timeoutMs)
{
    if (!listener.hasPendingDatagrams() && !listener.waitForReadyRead(timeoutMs))
        return {};
    QByteArray data(int(listener.pendingDatagramSize()), '\0');
    listener.readDatagram(data.data(), data.size());
    return data;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

quint16 freePort()
{
    QUdpSocket probe;
    return probe.bind(QHostAddress::LocalHost, 0) ? probe.localPort() : 0;
}

} // namespace

class TestForm1 final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void callFromTheConsole_data();
    void callFromTheConsole();
    void refusedDatagramIsToldAndNextCallArrives();
    void historyCountsMinutesAcrossMidnightAndReopening();
    void missingSettingsFileAsksAgainUntilItExists();
    void windowHasItsSizeAndMovesWithTheHistory();
    void refreshKeepsTheChosenService();
    void refreshStopsWhileMinimised();
    void secondScreenBlinkAndMenu();
    void menuChangesNothingWithoutSecondScreen();
    void headingClickReversesTheOrder();
    void pictureWithTheHistoryOpen();
    void refreshIsStoppedOnlyByTheCall_data();
    void refreshIsStoppedOnlyByTheCall();
    void historyFileFailureIsToldOnce();
    void unreadableSettingsFileEndsTheLoad();

private:
    Form1 &openConsole(const QString &serverAddress = QStringLiteral("127.0.0.1"));
    void closeConsole();
    QLabel *label(const QString &name) const;
    void clickAvanti();

    std::unique_ptr<QTemporaryDir> m_work;
    QString m_archive;
    std::shared_ptr<AutomaticClock> m_clock;
    std::unique_ptr<WindowRegistry> m_registry;
    QUdpSocket m_listener;
    QString m_previousFolder;
};

void TestForm1::init()
{
    m_previousFolder = QDir::currentPath();
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    // The history file lies in the working folder.
    QVERIFY(QDir::setCurrent(m_work->path()));
    m_archive = m_work->filePath(QStringLiteral("archivio"));
    m_clock = std::make_shared<AutomaticClock>(QDateTime(QDate(2026, 12, 5), QTime(14, 5)));
    ClientEnvironment environment;
    environment.clock = m_clock;
    environment.localAddress = [] { return kDeskIp; };
    environment.settingsFilePath = m_work->filePath(QStringLiteral("PercorsiClient.txt"));
    environment.numberFilePatience = std::chrono::milliseconds(300);
    m_registry = std::make_unique<WindowRegistry>(environment);
    m_registry->record().ipLocale = kDeskIp;
    m_listener.close();
    QVERIFY(m_listener.bind(QHostAddress::LocalHost, 0));
    m_registry->record().portaServer = m_listener.localPort();
}

void TestForm1::cleanup()
{
    m_registry.reset();
    QDir::setCurrent(m_previousFolder);
    m_work.reset();
}

Form1 &TestForm1::openConsole(const QString &serverAddress)
{
    SettingsFile settings{m_archive, kDesk, serverAddress, QStringLiteral("N")};
    if (!settings.save(m_registry->environment().settingsFilePath))
        qWarning("settings file not written");
    Form1 &form = m_registry->window<Form1>();
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        qWarning("console not exposed");
    return form;
}

void TestForm1::closeConsole()
{
    if (Form1 *form = m_registry->loaded<Form1>())
        form->close();
    QTRY_VERIFY(!m_registry->loaded<Form1>());
}

QLabel *TestForm1::label(const QString &name) const
{
    Form1 *form = m_registry->loaded<Form1>();
    return form ? form->findChild<QLabel *>(name) : nullptr;
}

void TestForm1::clickAvanti()
{
    Form1 *form = m_registry->loaded<Form1>();
    QVERIFY(form);
    auto *avanti = form->findChild<QPushButton *>(QStringLiteral("Command1"));
    QVERIFY(avanti);
    QCOMPARE(avanti->text(), QStringLiteral("Avanti"));
    QTest::mouseClick(avanti, Qt::LeftButton);
}

void TestForm1::callFromTheConsole_data()
{
    QTest::addColumn<QString>("serverAddress");
    QTest::addColumn<bool>("hasServices");
    QTest::addColumn<QByteArray>("serverState");
    QTest::addColumn<QByteArray>("numberBytes");
    QTest::addColumn<qint64>("attesa");
    QTest::addColumn<QString>("serviceName");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QByteArray>("numberAfter");
    QTest::addColumn<qint64>("attesaAfter");
    QTest::addColumn<QByteArray>("history");

    const QString ip = QStringLiteral("127.0.0.1");
    const QByteArray on("\"True\"\r\n");
    const QString anagrafe = QStringLiteral("Anagrafe");

    QTest::newRow("number 41 with three waiting is announced, shown and written to the history")
        << ip << true << on << QByteArray("41\r\n") << qint64(3) << anagrafe << QStringList() << QStringLiteral("41")
        << QByteArray("041#Sportello 1#Anagrafe") << QByteArray("42\r\n") << qint64(2)
        << QByteArray("\"41\",\"14.05\",\"05/12/2026\",0,\"Anagrafe\"\r\n");
    QTest::newRow("a count of zero shows the number read and changes nothing else")
        << ip << true << on << QByteArray("41\r\n") << qint64(0) << anagrafe << QStringList() << QStringLiteral("41")
        << QByteArray() << QByteArray("41\r\n") << qint64(0) << QByteArray();
    QTest::newRow("False in the server-state file tells the operator and changes nothing")
        << ip << true << QByteArray("\"False\"\r\n") << QByteArray("41\r\n") << qint64(3) << anagrafe
        << QStringList{QStringLiteral("Attenzione|Server non in ascolto ! ")} << QStringLiteral("0") << QByteArray()
        << QByteArray("41\r\n") << qint64(3) << QByteArray();
    QTest::newRow("false in small letters lets the call go ahead")
        << ip << true << QByteArray("false\r\n") << QByteArray("41\r\n") << qint64(3) << anagrafe << QStringList()
        << QStringLiteral("41") << QByteArray("041#Sportello 1#Anagrafe") << QByteArray("42\r\n") << qint64(2)
        << QByteArray("\"41\",\"14.05\",\"05/12/2026\",0,\"Anagrafe\"\r\n");
    QTest::newRow("number 1000 is sent as 1000")
        << ip << true << on << QByteArray("1000\r\n") << qint64(3) << anagrafe << QStringList()
        << QStringLiteral("1000") << QByteArray("1000#Sportello 1#Anagrafe") << QByteArray("1001\r\n") << qint64(2)
        << QByteArray("\"1000\",\"14.05\",\"05/12/2026\",0,\"Anagrafe\"\r\n");
    QTest::newRow("an accented service name is sent and kept as one byte")
        << ip << true << on << QByteArray("7\r\n") << qint64(1) << QStringLiteral("Identità") << QStringList()
        << QStringLiteral("7") << QByteArray("007#Sportello 1#Identit\xE0") << QByteArray("8\r\n") << qint64(0)
        << QByteArray("\"7\",\"14.05\",\"05/12/2026\",0,\"Identit\xE0\"\r\n");
    QTest::newRow("the unset server address shows the message window and changes nothing")
        << QStringLiteral("0.0.0.0") << true << on << QByteArray("41\r\n") << qint64(3) << anagrafe
        << QStringList{QStringLiteral(" |Indirizzo Host errato !Controllare impostazioni !")} << QStringLiteral("0")
        << QByteArray() << QByteArray("41\r\n") << qint64(3) << QByteArray();
    QTest::newRow("the server address of this PC shows the two-line message and changes nothing")
        << kDeskIp << true << on << QByteArray("41\r\n") << qint64(3) << anagrafe
        << QStringList{QStringLiteral(" |Client e Server non devono/coesistere sullo stesso PC !")}
        << QStringLiteral("0") << QByteArray() << QByteArray("41\r\n") << qint64(3) << QByteArray();
    QTest::newRow("a server name that does not resolve is told and nothing changes")
        << QStringLiteral("nome server.invalid") << true << on << QByteArray("41\r\n") << qint64(3) << anagrafe
        << QStringList{QStringLiteral(
               "TQ3MAX|Indirizzo del Server non trovato: nome server.invalid ! Controllare impostazioni !")}
        << QStringLiteral("0") << QByteArray() << QByteArray("41\r\n") << qint64(3) << QByteArray();
    QTest::newRow("a desk without services is told so and nothing changes")
        << ip << false << on << QByteArray("41\r\n") << qint64(3) << anagrafe
        << QStringList{QStringLiteral("TQ3MAX|Nessun Servizio associato  !")} << QStringLiteral("0") << QByteArray()
        << QByteArray("41\r\n") << qint64(3) << QByteArray();
}

void TestForm1::callFromTheConsole()
{
    QFETCH(QString, serverAddress);
    QFETCH(bool, hasServices);
    QFETCH(QByteArray, serverState);
    QFETCH(QByteArray, numberBytes);
    QFETCH(qint64, attesa);
    QFETCH(QString, serviceName);
    QFETCH(QStringList, boxes);
    QFETCH(QString, shown);
    QFETCH(QByteArray, datagram);
    QFETCH(QByteArray, numberAfter);
    QFETCH(qint64, attesaAfter);
    QFETCH(QByteArray, history);

    QVERIFY(createSelectiveArchive(m_archive, hasServices ? kDeskIp : QStringLiteral("10.9.9.9"),
                                   {{12, serviceName, attesa, std::nullopt}}, serverState));
    QVERIFY(writeNumberFile(m_archive, 12, numberBytes));

    ModalRecorder recorder;
    Form1 &form = openConsole(serverAddress);
    QCOMPARE(label(QStringLiteral("Label1_0"))->text(), kDesk);
    QCOMPARE(label(QStringLiteral("Label1_2"))->text(),
             hasServices ? serviceName : QStringLiteral("Servizio non disponibile"));
    clickAvanti();
    QTest::qWait(150);  // a refusal would come back within this time

    QCOMPARE(recorder.seen, boxes);
    QCOMPARE(label(QStringLiteral("Label1_1"))->text(), shown);
    QCOMPARE(takeDatagram(m_listener, datagram.isEmpty() ? 50 : 2000), datagram);
    QCOMPARE(numberFileBytes(m_archive, 12), numberAfter);
    QCOMPARE(storedAttesa(m_archive, 12).value_or(-1), attesaAfter);
    const QByteArray historyFile = fileBytes(m_work->filePath(QStringLiteral("Cronologia-Sportello 1.txt")));
    QCOMPARE(historyFile, history);
    auto *list = form.findChild<QTreeWidget *>(QStringLiteral("LB1"));
    QVERIFY(list);
    QCOMPARE(list->topLevelItemCount(), history.isEmpty() ? 0 : 1);
    if (!history.isEmpty())
        QCOMPARE(list->topLevelItem(0)->text(0), shown);
    QVERIFY(form.refreshTimer()->isActive());
}

void TestForm1::refusedDatagramIsToldAndNextCallArrives()
{
    QVERIFY(createSelectiveArchive(m_archive, kDeskIp, {{12, QStringLiteral("Anagrafe"), 5, 41}}));
    const quint16 port = freePort();
    m_registry->record().portaServer = port;
    ModalRecorder recorder;
    openConsole();
    clickAvanti();
    QTRY_COMPARE(recorder.seen, QStringList{QStringLiteral("Attenzione|Server non in ascolto !")});
    // The call itself was completed at the desk.
    QCOMPARE(label(QStringLiteral("Label1_1"))->text(), QStringLiteral("41"));
    QCOMPARE(numberFileBytes(m_archive, 12), QByteArray("42\r\n"));
    QCOMPARE(storedAttesa(m_archive, 12).value_or(-1), qint64(4));

    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::LocalHost, port));
    clickAvanti();
    QCOMPARE(takeDatagram(listener, 2000), QByteArray("042#Sportello 1#Anagrafe"));
    QTest::qWait(150);
    QCOMPARE(recorder.seen.size(), 1);
    QCOMPARE(fileBytes(m_work->filePath(QStringLiteral("Cronologia-Sportello 1.txt"))).count('\n'), 2);
}

void TestForm1::historyCountsMinutesAcrossMidnightAndReopening()
{
    QVERIFY(createSelectiveArchive(m_archive, kDeskIp, {{12, QStringLiteral("Anagrafe"), 10, 7}}));
    ModalRecorder recorder;
    openConsole();
    m_clock->set(QDateTime(QDate(2026, 12, 5), QTime(23, 58)));
    clickAvanti();
    m_clock->set(QDateTime(QDate(2026, 12, 6), QTime(0, 3)));
    clickAvanti();
    auto *list = m_registry->loaded<Form1>()->findChild<QTreeWidget *>(QStringLiteral("LB1"));
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("00.03"));
    QCOMPARE(list->topLevelItem(1)->text(2), QStringLiteral("-1435"));

    closeConsole();
    m_clock->set(QDateTime(QDate(2026, 12, 6), QTime(0, 10)));
    openConsole();
    list = m_registry->loaded<Form1>()->findChild<QTreeWidget *>(QStringLiteral("LB1"));
    QCOMPARE(list->topLevelItemCount(), 0);
    clickAvanti();
    QCOMPARE(list->topLevelItemCount(), 1);
    QCOMPARE(m_registry->state<Form1>().righeCronologia, 1);
    QCOMPARE(recorder.seen, QStringList());
    QCOMPARE(fileBytes(m_work->filePath(QStringLiteral("Cronologia-Sportello 1.txt"))),
             QByteArray("\"7\",\"23.58\",\"05/12/2026\",0,\"Anagrafe\"\r\n"
                        "\"8\",\"00.03\",\"06/12/2026\",-1435,\"Anagrafe\"\r\n"
                        "\"9\",\"00.10\",\"06/12/2026\",7,\"Anagrafe\"\r\n"));
}

void TestForm1::missingSettingsFileAsksAgainUntilItExists()
{
    QVERIFY(createSelectiveArchive(m_archive, kDeskIp, {{12, QStringLiteral("Anagrafe"), 3, 41}}));
    const QString path = m_registry->environment().settingsFilePath;
    int settingsWindows = 0;
    ModalRecorder recorder([&](QWidget *modal) {
        // The operator gives up the first time and saves the second time.
        if (modal->objectName() == QLatin1String("ImpoRete") && ++settingsWindows == 2) {
            SettingsFile settings{m_archive, kDesk, QStringLiteral("127.0.0.1"), QStringLiteral("N")};
            QVERIFY(settings.save(path).ok());
        }
    });
    Form1 &form = m_registry->window<Form1>();
    const QString missing = QStringLiteral("TQ3-Messaggio|Percorso Server non impostato o Server non raggiungibile !");
    QCOMPARE(recorder.seen.size(), 4);
    QCOMPARE(recorder.seen.at(0), missing);
    QVERIFY(recorder.seen.at(1).endsWith(QLatin1String("|ImpoRete")));
    QCOMPARE(recorder.seen.at(2), missing);
    QVERIFY(recorder.seen.at(3).endsWith(QLatin1String("|ImpoRete")));
    QCOMPARE(form.findChild<QLabel *>(QStringLiteral("Label1_0"))->text(), kDesk);
    QCOMPARE(form.findChild<QLabel *>(QStringLiteral("Label1_2"))->text(), QStringLiteral("Anagrafe"));
}

void TestForm1::windowHasItsSizeAndMovesWithTheHistory()
{
    QVERIFY(createSelectiveArchive(m_archive, kDeskIp, {{12, QStringLiteral("Anagrafe"), 3, 41}}));
    Form1 &form = openConsole();
    QCOMPARE(form.windowTitle(), QStringLiteral("TQ3MAX - 3.1.15 - Modulo Client Selettivo"));
    QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    auto *client = form.findChild<QWidget *>(QStringLiteral("client"));
    const int menu = client->y();
    QCOMPARE(form.width(), twips::toPixelsX(6060));
    QCOMPARE(form.height(), menu + twips::toPixelsY(1965));
    QTRY_COMPARE(form.pos(), twips::point(twips::screenWidth() - 6200, twips::screenHeight() - 3250));
    QVERIFY(form.findChild<QTreeWidget *>(QStringLiteral("LB1"))->hasFocus());

    auto *label2 = form.findChild<QLabel *>(QStringLiteral("Label2"));
    QCOMPARE(label2->text(), QStringLiteral("Cronologia chiamate"));
    const QPoint closedAt = form.pos();
    QTest::mouseClick(label2, Qt::LeftButton);
    QCOMPARE(label2->text(), QStringLiteral("Chiudi Cronologia chiamate"));
    QCOMPARE(form.height(), menu + twips::toPixelsY(5865 - (2745 - 1965)));
    QTRY_COMPARE(form.pos(), closedAt - QPoint(0, twips::toPixelsY(3130)));
    QTest::mouseClick(label2, Qt::LeftButton);
    QCOMPARE(label2->text(), QStringLiteral("Cronologia chiamate"));
    QCOMPARE(form.height(), menu + twips::toPixelsY(1965));
    QTRY_COMPARE(form.pos(), closedAt);

    auto *list = form.findChild<QTreeWidget *>(QStringLiteral("LB1"));
    QCOMPARE(list->columnCount(), 4);
    QCOMPARE(list->headerItem()->text(2), QStringLiteral("Tempo trasc."));
    QCOMPARE(list->columnWidth(3), twips::toPixelsX(2200));
    QVERIFY(!list->rootIsDecorated());
}

void TestForm1::refreshKeepsTheChosenService()
{
    QVERIFY(createSelectiveArchive(m_archive, kDeskIp,
                                   {{12, QStringLiteral("Anagrafe"), 3, 41}, {70000, QStringLiteral("Tributi"), 2, 5}}));
    Form1 &form = openConsole();
    auto *grid = form.findChild<QTableView *>(QStringLiteral("grid"));
    QCOMPARE(grid->model()->rowCount(), 2);
    QCOMPARE(m_registry->state<Form1>().idServizio, qint64(12));
    grid->setCurrentIndex(grid->model()->index(1, 0));
    QCOMPARE(label(QStringLiteral("Label1_2"))->text(), QStringLiteral("Tributi"));
    QCOMPARE(m_registry->state<Form1>().idServizio, qint64(70000));

    {
        auto builder = ArchiveBuilder::openExisting(QDir(m_archive).filePath(QStringLiteral("TQ3MAX.mdb")));
        QVERIFY(builder.ok());
        QVERIFY((*builder)->execute(QStringLiteral("UPDATE Servizi SET Attesa = 9 WHERE Id = 70000")).ok());
    }
    form.refreshTick();
    QCOMPARE(grid->model()->index(1, 2).data().toString(), QStringLiteral("9"));
    QCOMPARE(grid->currentIndex().row(), 1);
    QCOMPARE(label(QStringLiteral("Label1_2"))->text(), QStringLiteral("Tributi"));
    QCOMPARE(m_registry->state<Form1>().idServizio, qint64(70000));

    // The chosen service taken away from the desk: the first row is chosen,
    // and the caption and the id name it.
    {
        auto builder = ArchiveBuilder::openExisting(QDir(m_archive).filePath(QStringLiteral("TQ3MAX.mdb")));
        QVERIFY((*builder)->execute(QStringLiteral("DELETE FROM ServiziPostazioni WHERE ServizioID = 70000")).ok());
    }
    form.refreshTick();
    QCOMPARE(grid->model()->rowCount(), 1);
    QCOMPARE(label(QStringLiteral("Label1_2"))->text(), QStringLiteral("Anagrafe"));
    QCOMPARE(m_registry->state<Form1>().idServizio, qint64(12));

    // No rows any more: the caption says so and the id stays.
    {
        auto builder = ArchiveBuilder::openExisting(QDir(m_archive).filePath(QStringLiteral("TQ3MAX.mdb")));
        QVERIFY((*builder)->execute(QStringLiteral("DELETE FROM ServiziPostazioni")).ok());
    }
    form.refreshTick();
    QCOMPARE(label(QStringLiteral("Label1_2"))->text(), QStringLiteral("Servizio non disponibile"));
    QCOMPARE(m_registry->state<Form1>().idServizio, qint64(12));
}

void TestForm1::refreshStopsWhileMinimised()
{
    QVERIFY(createSelectiveArchive(m_archive, kDeskIp, {{12, QStringLiteral("Anagrafe"), 3, 41}}));
    Form1 &form = openConsole();
    QCOMPARE(form.refreshTimer()->interval(), 5000);
    QVERIFY(form.refreshTimer()->isActive());
    form.setWindowState(Qt::WindowMinimized);
    QTRY_VERIFY(!form.refreshTimer()->isActive());
    form.setWindowState(Qt::WindowNoState);
    QTRY_VERIFY(form.refreshTimer()->isActive());
}

void TestForm1::secondScreenBlinkAndMenu()
{
    QVERIFY(createSelectiveArchive(m_archive, kDeskIp, {{12, QStringLiteral("Anagrafe"), 3, 41}}));
    m_registry->record().secondoSchermoAttivo = true;
    Form1 &form = openConsole();
    auto *ss2 = form.findChild<QAction *>(QStringLiteral("SS2"));
    auto *ss3 = form.findChild<QAction *>(QStringLiteral("SS3"));
    auto *stop = form.findChild<QPushButton *>(QStringLiteral("PushButton1"));
    auto *blink = form.findChild<QTimer *>(QStringLiteral("Timer2"));
    QVERIFY(ss2 && ss3 && stop && blink);
    QVERIFY(!ss2->isChecked() && ss3->isChecked());
    QVERIFY(!stop->isVisible());

    clickAvanti();
    QVERIFY(ss2->isChecked() && !ss3->isChecked());
    QVERIFY(blink->isActive());
    QCOMPARE(blink->interval(), 350);
    QVERIFY(stop->isVisible());
    QTRY_VERIFY(!label(QStringLiteral("Label1_1"))->isVisible());
    QTest::mouseClick(stop, Qt::LeftButton);
    QVERIFY(!blink->isActive());
    QVERIFY(label(QStringLiteral("Label1_1"))->isVisible());
    QVERIFY(!stop->isVisible());

    ss3->trigger();
    QVERIFY(!ss2->isChecked() && ss3->isChecked());
    ss2->trigger();
    QVERIFY(ss2->isChecked() && !ss3->isChecked());

    // Closing the console turns the second screen to its out-of-service panel.
    LoSchermo2 *screen = m_registry->loaded<LoSchermo2>();
    QVERIFY(screen);
    QVERIFY(!screen->findChild<QWidget *>(QStringLiteral("Gruppo"))->isHidden());
    closeConsole();
    QVERIFY(screen->findChild<QWidget *>(QStringLiteral("Gruppo"))->isHidden());
    QVERIFY(!screen->findChild<QWidget *>(QStringLiteral("FuoriServizio"))->isHidden());
}

void TestForm1::menuChangesNothingWithoutSecondScreen()
{
    QVERIFY(createSelectiveArchive(m_archive, kDeskIp, {{12, QStringLiteral("Anagrafe"), 3, 41}}));
    Form1 &form = openConsole();
    auto *ss2 = form.findChild<QAction *>(QStringLiteral("SS2"));
    auto *ss3 = form.findChild<QAction *>(QStringLiteral("SS3"));
    ss2->trigger();
    QVERIFY(!ss2->isChecked() && ss3->isChecked());
    ss3->trigger();
    QVERIFY(!ss2->isChecked() && ss3->isChecked());
    clickAvanti();
    QVERIFY(!form.findChild<QTimer *>(QStringLiteral("Timer2"))->isActive());
    QVERIFY(!form.findChild<QPushButton *>(QStringLiteral("PushButton1"))->isVisible());
    QVERIFY(!ss2->isChecked() && ss3->isChecked());
}

void TestForm1::headingClickReversesTheOrder()
{
    QVERIFY(createSelectiveArchive(m_archive, kDeskIp, {{12, QStringLiteral("Anagrafe"), 10, 8}}));
    Form1 &form = openConsole();
    clickAvanti();
    clickAvanti();
    clickAvanti();  // 8, 9, 10: "10" sorts before "8" as text
    auto *list = form.findChild<QTreeWidget *>(QStringLiteral("LB1"));
    const auto firstColumn = [list] {
        QStringList texts;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            texts << list->topLevelItem(i)->text(0);
        return texts;
    };
    QCOMPARE(firstColumn(), (QStringList{QStringLiteral("8"), QStringLiteral("9"), QStringLiteral("10")}));
    const int headingY = list->header()->height() / 2;
    QTest::mouseClick(list->header()->viewport(), Qt::LeftButton, {}, QPoint(list->columnWidth(0) + 10, headingY));
    QCOMPARE(firstColumn(), (QStringList{QStringLiteral("9"), QStringLiteral("8"), QStringLiteral("10")}));
    QTest::mouseClick(list->header()->viewport(), Qt::LeftButton, {}, QPoint(10, headingY));
    QCOMPARE(firstColumn(), (QStringList{QStringLiteral("10"), QStringLiteral("8"), QStringLiteral("9")}));
}

// Saves a picture of the console with the history open when
// TQ3_SCREENSHOT is set (docs/console-selettivo.png is taken this way under
// Xvfb); otherwise it only checks that the picture can be taken.
void TestForm1::pictureWithTheHistoryOpen()
{
    QVERIFY(createSelectiveArchive(m_archive, kDeskIp,
                                   {{12, QStringLiteral("Anagrafe"), 14, 41}, {15, QStringLiteral("Tributi"), 3, 7},
                                    {21, QStringLiteral("Servizi Sociali"), 6, 118}}));
    Form1 &form = openConsole();
    m_clock->set(QDateTime(QDate(2026, 12, 5), QTime(9, 2)));
    clickAvanti();
    m_clock->set(QDateTime(QDate(2026, 12, 5), QTime(9, 9)));
    clickAvanti();
    auto *grid = form.findChild<QTableView *>(QStringLiteral("grid"));
    grid->setCurrentIndex(grid->model()->index(2, 0));
    m_clock->set(QDateTime(QDate(2026, 12, 5), QTime(9, 15)));
    clickAvanti();
    form.refreshTick();
    QTest::mouseClick(form.findChild<QLabel *>(QStringLiteral("Label2")), Qt::LeftButton);
    QTest::qWait(200);
    const QPixmap picture = form.grab();
    QVERIFY(!picture.isNull());
    const QString path = qEnvironmentVariable("TQ3_SCREENSHOT");
    if (!path.isEmpty())
        QVERIFY(picture.save(path));
}

void TestForm1::refreshIsStoppedOnlyByTheCall_data()
{
    QTest::addColumn<QString>("serverAddress");
    QTest::addColumn<bool>("hasServices");
    QTest::addColumn<QByteArray>("serverState");
    QTest::addColumn<bool>("refreshUnderTheWindow");
    QTest::newRow("the message window of an unset address stops the refresh")
        << QStringLiteral("0.0.0.0") << true << QByteArray("True") << false;
    QTest::newRow("the box of a server not listening, inside the call, stops the refresh")
        << QStringLiteral("127.0.0.1") << true << QByteArray("False") << false;
    QTest::newRow("the box of a desk without services leaves the refresh running")
        << QStringLiteral("127.0.0.1") << false << QByteArray("True") << true;
}

void TestForm1::refreshIsStoppedOnlyByTheCall()
{
    QFETCH(QString, serverAddress);
    QFETCH(bool, hasServices);
    QFETCH(QByteArray, serverState);
    QFETCH(bool, refreshUnderTheWindow);
    QVERIFY(createSelectiveArchive(m_archive, hasServices ? kDeskIp : QStringLiteral("10.9.9.9"),
                                   {{12, QStringLiteral("Anagrafe"), 3, 41}}, serverState));
    Form1 &form = openConsole(serverAddress);
    QList<bool> running;
    ModalRecorder recorder([&](QWidget *) { running << form.refreshTimer()->isActive(); });
    clickAvanti();
    QCOMPARE(running, QList<bool>{refreshUnderTheWindow});
    QVERIFY(form.refreshTimer()->isActive());
}

void TestForm1::historyFileFailureIsToldOnce()
{
    QVERIFY(createSelectiveArchive(m_archive, kDeskIp, {{12, QStringLiteral("Anagrafe"), 3, 41}}));
    // A folder where the history file should be: it cannot be opened.
    QVERIFY(QDir(m_work->path()).mkdir(QStringLiteral("Cronologia-Sportello 1.txt")));
    ModalRecorder recorder;
    Form1 &form = openConsole();
    QCOMPARE(recorder.seen, QStringList{QStringLiteral("TQ3MAX|Impossibile aprire il file della cronologia !")});
    clickAvanti();
    clickAvanti();
    QCOMPARE(recorder.seen.size(), 1);
    QCOMPARE(takeDatagram(m_listener, 2000), QByteArray("041#Sportello 1#Anagrafe"));
    QCOMPARE(takeDatagram(m_listener, 2000), QByteArray("042#Sportello 1#Anagrafe"));
    QCOMPARE(numberFileBytes(m_archive, 12), QByteArray("43\r\n"));
    QCOMPARE(form.findChild<QTreeWidget *>(QStringLiteral("LB1"))->topLevelItemCount(), 2);
}

void TestForm1::unreadableSettingsFileEndsTheLoad()
{
    QVERIFY(createSelectiveArchive(m_archive, kDeskIp, {{12, QStringLiteral("Anagrafe"), 3, 41}}));
    QFile settings(m_registry->environment().settingsFilePath);
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("\"" + m_archive.toUtf8() + "\",\"Sportello 1\"\r\n");
    settings.close();
    ModalRecorder recorder;
    Form1 &form = m_registry->window<Form1>();
    QCOMPARE(recorder.seen.size(), 1);
    QVERIFY(recorder.seen.at(0).startsWith(QLatin1String("TQ3-Messaggio|")));
    // The console opens with its design captions, no service list and no
    // history file.
    QCOMPARE(form.findChild<QLabel *>(QStringLiteral("Label1_0"))->text(), QStringLiteral("Postazione"));
    QCOMPARE(form.findChild<QLabel *>(QStringLiteral("Label1_2"))->text(), QStringLiteral("Servizio"));
    QCOMPARE(form.findChild<QTableView *>(QStringLiteral("grid"))->model()->rowCount(), 0);
    QVERIFY(!QFile::exists(m_work->filePath(QStringLiteral("Cronologia-Sportello 1.txt"))));
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"

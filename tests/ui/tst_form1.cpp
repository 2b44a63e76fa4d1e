#include "ConsoleTesting.h"

#include "core/store/CallFiles.h"
#include "core/store/CallJournal.h"
#include "gui/consoles/Form1.h"
#include "gui/windows/LoSchermo2.h"

#include <QAction>
#include <QHeaderView>
#include <QNetworkDatagram>
#include <QTableView>
#include <QTimer>
#include <QUdpSocket>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;

namespace {

const QString kDeskIp = u"10.0.0.5"_s;
const QString kAnagrafe = u"Anagrafe"_s;
const QByteArray k41 = "041#Sportello 1#Anagrafe";

// One press of "Avanti": the archive and settings before it, what the
// operator sees and what the press leaves behind.
struct Press final {
    QString server = u"127.0.0.1"_s;
    QString servicesAt = kDeskIp;
    QString state = u"True"_s;
    QStringList boxes = {};
    QString shown = u"0"_s;      // "41": announced, written to the history
    QByteArray numberFile = {};  // in place of the number
    QByteArray logged = {};      // in the desk's log
    bool refreshUnderBox = false;
};

// "Richiama" after the console is opened again with this server and port.
struct Recalling final {
    QString server = u"127.0.0.1"_s;
    int port = -1;  // -1: the listener's
    QStringList boxes = {};
    int datagrams = 2;  // with the call's own
    bool shownAgain = true;
};

// Keys pressed at the console, the last one held down `repeats` times.
struct Keys final {
    QList<QKeyCombination> keys;
    int repeats = 0;
    int calls = 1;
    bool focusOnStopButton = false;  // after a call shown on the second screen
};

} // namespace

Q_DECLARE_METATYPE(Press)
Q_DECLARE_METATYPE(Recalling)
Q_DECLARE_METATYPE(Keys)

class TestForm1 final : public ConsoleTest<Form1> {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        setUp(kDeskIp);
        QVERIFY(m_archive->addService(kDeskIp, 12, kAnagrafe, 3, 41));
    }
    void cleanup() { tearDown(); }

    void callFromTheConsole_data()
    {
        QTest::addColumn<Press>("call");
        QTest::newRow("number 41 with three waiting is announced, shown and written to the history")
            << Press{.shown = u"41"_s};
        QTest::newRow("False in the server-state file tells the operator, with the refresh stopped, and changes nothing")
            << Press{.state = u"False"_s, .boxes = {u"Attenzione|Server non in ascolto ! |info"_s}};
        QTest::newRow("the unset server address shows the message window, with the refresh stopped, and changes nothing")
            << Press{.server = u"0.0.0.0"_s, .boxes = {u" |Indirizzo Host errato !Controllare impostazioni !"_s}};
        QTest::newRow("the server address of this PC shows the two-line message and changes nothing")
            << Press{.server = kDeskIp, .boxes = {u" |Client e Server non devono/coesistere sullo stesso PC !"_s}};
        QTest::newRow("a number file holding no number is told, and the file's path is in the desk's log")
            << Press{.boxes = {u"TQ3MAX|Il file del numero del servizio non contiene un numero ! (NrAllS12.txt)|info"_s},
                     .numberFile = "abc", .logged = "TQ3MAX: Il file del numero del servizio non contiene un numero ! "
                                                    "(NrAllS12.txt) | "};
        QTest::newRow("a desk without services is told so, with the refresh running, and nothing changes")
            << Press{.servicesAt = u"10.9.9.9"_s, .boxes = {u"TQ3MAX|Nessun Servizio associato  !|info"_s},
                     .refreshUnderBox = true};
    }
    void callFromTheConsole()
    {
        QFETCH(Press, call);
        m_archive->setServerState(call.state);
        if (call.servicesAt != kDeskIp)
            execute(u"UPDATE ServiziPostazioni SET IpPostazione = '%1'"_s.arg(call.servicesAt));
        QVERIFY(call.numberFile.isEmpty() || m_archive->writeNumberFile(12, call.numberFile));
        // The refresh goes on under a box, except one the call shows.
        QList<bool> refreshUnderBoxes;
        auto closer = closerNotingRefresh(refreshUnderBoxes);
        Form1 &form = open(call.server);
        QCOMPARE(text(u"Label1_0"_s) + u'|' + text(u"Label1_2"_s),
                 kDesk + u'|' + (call.servicesAt == kDeskIp ? kAnagrafe : u"Servizio non disponibile"_s));
        clickAvanti();
        QTest::qWait(150);  // a refusal would come back within this time

        const bool announced = call.shown != u"0";
        QCOMPARE(closer->boxes(), call.boxes);
        QCOMPARE(refreshUnderBoxes, QList<bool>(call.boxes.size(), call.refreshUnderBox));
        QCOMPARE(text(u"Label1_1"_s), call.shown);
        // What the call leaves in the archive is the call tests' (tst_selectivecall).
        QCOMPARE(m_listener->drain(100), QList<QByteArray>(announced, k41));
        QCOMPARE(historyFile(), announced ? historyLine("41", "14.05", "05/12/2026", 0, "Anagrafe") : QByteArray());
        QCOMPARE(history()->topLevelItemCount(), int(announced));
        QVERIFY(form.refreshTimer()->isActive());
        // The detail the box leaves out: which file, in the desk's log.
        const QByteArray detail = QDir::toNativeSeparators(numberFilePath(m_archive->folder(), 12)).toUtf8();
        QVERIFY(call.logged.isEmpty() || logFile().contains(call.logged + detail));
    }

    void refusedDatagramIsToldOnceAndNextCallArrives()
    {
        const quint16 port = m_listener->port();
        m_listener.reset();  // nothing listens on the port now
        ModalCloser closer;
        open();
        clickAvanti();
        QTRY_COMPARE(closer.boxes(), QStringList{u"Attenzione|Server non in ascolto !|info"_s});
        // The call itself was completed at the desk.
        QCOMPARE(text(u"Label1_1"_s), u"41"_s);
        QCOMPARE(m_archive->attesa(12), std::optional(qint64(2)));

        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress::LocalHost, port));
        clickAvanti();
        QVERIFY(listener.hasPendingDatagrams() || listener.waitForReadyRead(2000));
        QCOMPARE(listener.receiveDatagram().data(), QByteArray("042#Sportello 1#Anagrafe"));
        QTest::qWait(150);  // a second refusal would come back within this time
        QCOMPARE(closer.seen.size(), 1);
    }

    void aNumberTakenButNotAnnouncedIsAnnouncedAtLoadOnOk()
    {
        // A call of Tributi was killed once 8 stood in its number file; the list starts on Anagrafe.
        QVERIFY(m_archive->addService(kDeskIp, 13, u"Tributi"_s, 2, 8));
        const QString journalPath = m_work->filePath(kCallJournalFileName);
        QVERIFY(CallJournal(journalPath).write({.stage = JournalEntry::Stage::NumberTaken, .serviceId = 13,
                                                .service = u"Tributi"_s, .desk = kDesk, .number = 7}));
        ModalCloser closer;
        open();
        QCOMPARE(closer.boxes(),
                 QStringList{u"TQ3MAX|Numero 7 (Tributi) preso ma non annunciato !Premere OK per annunciarlo.|info"_s});
        QCOMPARE(m_listener->receive(1), QList<QByteArray>{"007#Sportello 1#Tributi"});
        QCOMPARE(text(u"Label1_1"_s) + u' ' + text(u"Label1_2"_s), u"7 Tributi"_s);
        QCOMPARE(historyFile(), historyLine("7", "14.05", "05/12/2026", 0, "Tributi"));
        QCOMPARE(readFile(journalPath), std::optional<QByteArray>(""));
        QCOMPARE(m_archive->numberFile(13), std::optional<QByteArray>("8\r\n"));
        QCOMPARE(m_archive->attesa(13), std::optional<qint64>(2));
        // The next press calls the chosen service, under its own name.
        clickAvanti();
        QCOMPARE(m_listener->receive(1), QList<QByteArray>{"041#Sportello 1#Anagrafe"});
    }

    void historyCountsMinutesAcrossMidnightAndReopening()
    {
        ModalCloser closer;
        open();
        m_clock->set(QDateTime(QDate(2026, 12, 5), QTime(23, 58)));
        clickAvanti();
        m_clock->set(QDateTime(QDate(2026, 12, 6), QTime(0, 3)));
        clickAvanti();
        QCOMPARE(history()->topLevelItem(1)->text(2), u"-1435"_s);
        close();
        m_clock->set(QDateTime(QDate(2026, 12, 6), QTime(0, 10)));
        open();
        QCOMPARE(history()->topLevelItemCount(), 0);
        clickAvanti();
        QCOMPARE(history()->topLevelItemCount(), 1);
        QCOMPARE(m_registry->state<Form1>().righeCronologia, 1);
        QCOMPARE(closer.seen.size(), 0);
        QCOMPARE(historyFile(), historyLine("41", "23.58", "05/12/2026", 0, "Anagrafe")
                                    + historyLine("42", "00.03", "06/12/2026", -1435, "Anagrafe")
                                    + historyLine("43", "00.10", "06/12/2026", 7, "Anagrafe"));
    }

    void settingsFileProblemsAtLoad_data()
    {
        QTest::addColumn<bool>("unreadable");
        QTest::addColumn<QStringList>("windows");
        QTest::addColumn<QString>("captions");
        const QString box = u"TQ3-Messaggio|Percorso Server non impostato o Server non raggiungibile !|info"_s;
        QTest::newRow("a missing settings file is asked for again until the operator saves it")
            << false << QStringList{box, u"ImpoRete"_s, box, u"ImpoRete"_s} << u"Sportello 1|Anagrafe"_s;
        QTest::newRow("an unreadable settings file ends the load with the design captions and no history file")
            << true << QStringList{u"TQ3-Messaggio|File delle impostazioni incompleto !|info"_s}
            << u"Postazione|Servizio"_s;
    }
    void settingsFileProblemsAtLoad()
    {
        QFETCH(bool, unreadable);
        if (unreadable)
            QVERIFY(writeFile(m_registry->environment().settingsFilePath, "\"" + m_archive->folder().toUtf8() + "\""));
        int settingsWindows = 0;
        // The operator gives up the first time and saves the second time.
        ModalCloser closer([&](QWidget *modal) {
            if (modal->objectName() == QLatin1String("ImpoRete") && ++settingsWindows == 2)
                writeSettings();
            return false;
        });
        m_registry->window<Form1>();
        QTEST(closer.boxes(), "windows");
        QTEST(text(u"Label1_0"_s) + u'|' + text(u"Label1_2"_s), "captions");
        QCOMPARE(QFile::exists(m_work->filePath(u"Cronologia-Sportello 1.txt"_s)), !unreadable);
    }

    void refreshKeepsTheChosenServiceAndStopsWhileMinimised()
    {
        QVERIFY(m_archive->addService(kDeskIp, 70000, u"Tributi"_s, 2, 5));
        Form1 &form = open();
        auto *grid = child<QTableView>(u"grid"_s);
        const auto chosen = [&] { return text(u"Label1_2"_s) + u'|' + QString::number(m_registry->state<Form1>().idServizio); };
        QCOMPARE(chosen(), u"Anagrafe|12"_s);
        grid->setCurrentIndex(grid->model()->index(1, 0));
        QCOMPARE(chosen(), u"Tributi|70000"_s);
        execute(u"UPDATE Servizi SET Attesa = 9 WHERE Id = 70000"_s);
        form.refreshTick();
        QCOMPARE(grid->model()->index(1, 2).data().toString(), u"9"_s);
        QCOMPARE(chosen(), u"Tributi|70000"_s);

        // The archive out of reach for two ticks: the rows stay, told once.
        const QString database = m_archive->folder() + u"/TQ3MAX.mdb"_s;
        QVERIFY(QFile::rename(database, database + u".away"_s));
        {
            ModalCloser closer;
            form.refreshTick();
            form.refreshTick();
            QTRY_COMPARE(closer.seen.size(), 1);
        }
        QCOMPARE(grid->model()->rowCount(), 2);
        QCOMPARE(chosen(), u"Tributi|70000"_s);
        QVERIFY(QFile::rename(database + u".away"_s, database));
        // The chosen service taken away from the desk: the first row is chosen.
        execute(u"DELETE FROM ServiziPostazioni WHERE ServizioID = 70000"_s);
        form.refreshTick();
        QCOMPARE(chosen(), u"Anagrafe|12"_s);

        form.setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(!form.refreshTimer()->isActive());
        form.setWindowState(Qt::WindowNoState);
        QTRY_VERIFY(form.refreshTimer()->isActive());
    }

    void secondScreenBlinkMenuAndClose()
    {
        m_registry->record().secondoSchermoAttivo = true;
        open();
        auto *ss2 = child<QAction>(u"SS2"_s);
        auto *ss3 = child<QAction>(u"SS3"_s);
        auto *stop = child<QPushButton>(u"PushButton1"_s);
        QVERIFY(!ss2->isChecked() && ss3->isChecked() && !stop->isVisible());
        clickAvanti();
        QVERIFY(ss2->isChecked() && !ss3->isChecked() && stop->isVisible());
        QTRY_VERIFY(!child(u"Label1_1"_s)->isVisible());  // blinking
        QTest::mouseClick(stop, Qt::LeftButton);
        QVERIFY(!child<QTimer>(u"Timer2"_s)->isActive() && !stop->isVisible() && child(u"Label1_1"_s)->isVisible());
        ss3->trigger();
        QVERIFY(!ss2->isChecked() && ss3->isChecked());
        // Closing the console turns the second screen to its out-of-service panel.
        LoSchermo2 *screen = m_registry->loaded<LoSchermo2>();
        close();
        QVERIFY(screen->findChild<QWidget *>(u"Gruppo"_s)->isHidden());
        QVERIFY(!screen->findChild<QWidget *>(u"FuoriServizio"_s)->isHidden());
    }

    void headingClickReversesTheOrderOfTheOpenHistory()
    {
        QVERIFY(m_archive->writeNumberFile(12, "8\r\n"));
        open();
        QTRY_VERIFY(history()->hasFocus());  // on activation, where the keys go
        for (int i = 0; i < 3; ++i)
            clickAvanti();  // 8, 9, 10: "10" sorts before "8" as text
        click(u"Label2"_s);
        QCOMPARE(text(u"Label2"_s), u"Chiudi Cronologia chiamate"_s);
        QTreeWidget *list = history();
        const auto firstColumn = [list] {
            QStringList texts;
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                texts << list->topLevelItem(i)->text(0);
            return texts.join(u' ');
        };
        QCOMPARE(firstColumn(), u"8 9 10"_s);
        const int headingY = list->header()->height() / 2;
        QTest::mouseClick(list->header()->viewport(), Qt::LeftButton, {}, QPoint(list->columnWidth(0) + 10, headingY));
        QCOMPARE(firstColumn(), u"9 8 10"_s);
        QTest::mouseClick(list->header()->viewport(), Qt::LeftButton, {}, QPoint(10, headingY));
        QCOMPARE(firstColumn(), u"10 8 9"_s);
        click(u"Label2"_s);
        QCOMPARE(text(u"Label2"_s), u"Cronologia chiamate"_s);
    }

    void recallAnnouncesTheLastCallAgain_data()
    {
        QTest::addColumn<Recalling>("recall");
        QTest::newRow("a recall sends the same datagram, shows the call blinking again and adds no history line")
            << Recalling{};
        QTest::newRow("a recall that cannot be sent is told as a call's failed send, and still shown")
            << Recalling{.port = 0, .boxes = {u"Segnalazione errore connessione|Porta del Server non valida (0) !|info"_s},
                         .datagrams = 1};
        QTest::newRow("a recall to this PC's own address is refused as a call is")
            << Recalling{.server = kDeskIp, .boxes = {u" |Client e Server non devono/coesistere sullo stesso PC !"_s},
                         .datagrams = 1, .shownAgain = false};
    }
    void recallAnnouncesTheLastCallAgain()
    {
        QFETCH(Recalling, recall);
        QVERIFY(m_archive->addService(kDeskIp, 13, u"Tributi"_s, 2, 5));
        m_registry->record().secondoSchermoAttivo = true;
        QList<bool> refreshUnderBoxes;
        auto closer = closerNotingRefresh(refreshUnderBoxes);
        open();
        QVERIFY(!child<QAction>(u"SS4"_s)->isEnabled() && !child<QPushButton>(u"Richiama"_s)->isEnabled());
        pressKeys({Qt::Key_F5});  // nothing to recall yet
        clickAvanti();
        // The run's last call outlives the console; the operator has chosen another service since.
        close();
        if (recall.port >= 0)
            m_registry->record().portaServer = recall.port;
        open(recall.server);
        child<QTableView>(u"grid"_s)->selectRow(1);
        pressKeys({Qt::Key_F5}, 3);  // held down: once

        QCOMPARE(closer->boxes(), recall.boxes);
        QCOMPARE(refreshUnderBoxes, QList<bool>(recall.boxes.size(), false));
        QVERIFY(m_registry->loaded<Form1>()->refreshTimer()->isActive());
        QCOMPARE(m_listener->drain(100), QList<QByteArray>(recall.datagrams, k41));
        // The public's screen, then the console's number.
        auto *panel = m_registry->window<LoSchermo2>().findChild<QFrame *>(u"Gruppo"_s);
        QStringList seen{panel->isVisibleTo(panel->window()) ? u"number panel"_s : u"out of service"_s};
        for (const QLabel *label : {panel->findChild<QLabel *>(u"Label2"_s), panel->findChild<QLabel *>(u"Label3"_s),
                                    child(u"Label1_1"_s)})
            seen << label->text();
        QCOMPARE(seen.join(u'|'), recall.shownAgain ? u"number panel|Anagrafe|41|41"_s : u"out of service|Anagrafe|41|0"_s);
        QCOMPARE(child<QTimer>(u"Timer2"_s)->isActive(), recall.shownAgain);
        // Nothing else: the chosen service, Attesa and the history keep what the call left.
        QCOMPARE(text(u"Label1_2"_s), u"Tributi"_s);
        QCOMPARE(m_archive->attesa(12), std::optional(qint64(2)));
        QCOMPARE(history()->topLevelItemCount(), 0);
        QCOMPARE(historyFile(), historyLine("41", "14.05", "05/12/2026", 0, "Anagrafe"));
    }

    void keysCallOncePerPress_data()
    {
        QTest::addColumn<Keys>("pressed");
        QTest::newRow("F12 calls the next number") << Keys{{Qt::Key_F12}};
        QTest::newRow("the keypad's Enter calls also where Enter would stop the blink")
            << Keys{{Qt::KeypadModifier | Qt::Key_Enter}, 0, 1, true};
        QTest::newRow("F12 pressed twice quickly calls twice") << Keys{{Qt::Key_F12, Qt::Key_F12}, 0, 2};
        QTest::newRow("F12 held down calls once") << Keys{{Qt::Key_F12}, 5};
        QTest::newRow("Enter held down calls once") << Keys{{Qt::Key_Return}, 4};
    }
    void keysCallOncePerPress()
    {
        QFETCH(Keys, pressed);
        m_registry->record().secondoSchermoAttivo = pressed.focusOnStopButton;
        ModalCloser closer;
        open();
        if (pressed.focusOnStopButton) {
            clickAvanti();
            child<QPushButton>(u"PushButton1"_s)->setFocus();
        }
        pressKeys(pressed.keys, pressed.repeats);
        const QList<QByteArray> sent{k41, "042#Sportello 1#Anagrafe", "043#Sportello 1#Anagrafe"};
        QCOMPARE(m_listener->drain(100), sent.first(pressed.calls + pressed.focusOnStopButton));
    }

private:
    void execute(const QString &sql) { QVERIFY(m_archive->builder().execute(sql).ok()); }
    // Arms a closer that also notes, for each box, whether the refresh ran under it.
    std::unique_ptr<ModalCloser> closerNotingRefresh(QList<bool> &refreshUnderBoxes)
    {
        return std::make_unique<ModalCloser>([this, &refreshUnderBoxes](QWidget *) {
            refreshUnderBoxes << m_registry->loaded<Form1>()->refreshTimer()->isActive();
            return false;
        });
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"

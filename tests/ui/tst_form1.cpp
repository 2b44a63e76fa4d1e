#include "ConsoleTesting.h"

#include "core/store/CallFiles.h"
#include "core/store/CallJournal.h"
#include "gui/consoles/Form1.h"
#include "gui/windows/LoSchermo2.h"

#include <QAction>
#include <QHeaderView>
#include <QTableView>
#include <QTimer>
#include <QUdpSocket>

using namespace tq3;
using namespace tq3::test;

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
    int waiting = 3;
    QStringList boxes = {};
    QString shown = u"0"_s;      // with someone waiting, "41" is announced and written to the history
    QByteArray numberFile = {};  // in place of the number
    QByteArray logged = {};      // in the desk's log
    bool refused = false;  // nothing listens at the server's port
};

// Keys pressed at the console, the last one held down `repeats` times.
struct Keys final {
    QList<QKeyCombination> keys;
    int repeats = 0;
    int calls = 1;
};

} // namespace

Q_DECLARE_METATYPE(Press)
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
        QTest::newRow("with nobody waiting the number in the file is shown and nothing is announced")
            << Press{.waiting = 0, .shown = u"41"_s};
        QTest::newRow("False in the server-state file tells the operator and changes nothing")
            << Press{.state = u"False"_s, .boxes = {u"Attenzione|Server non in ascolto ! |info"_s}};
        QTest::newRow("the server address of this PC shows the two-line message window and changes nothing")
            << Press{.server = kDeskIp, .boxes = {u" |Client e Server non devono/coesistere sullo stesso PC !"_s}};
        QTest::newRow("a number file holding no number is told, and the file's path is in the desk's log")
            << Press{.boxes = {u"TQ3MAX|Il file del numero del servizio non contiene un numero ! (NrAllS12.txt)|info"_s},
                     .numberFile = "abc", .logged = "TQ3MAX: Il file del numero del servizio non contiene un numero ! "
                                                    "(NrAllS12.txt) | "};
        QTest::newRow("a datagram refused by the server's PC is told, and the call stays completed")
            << Press{.boxes = {u"Attenzione|Server non in ascolto !|info"_s}, .shown = u"41"_s, .refused = true};
        QTest::newRow("a desk without services is told so and nothing changes")
            << Press{.servicesAt = u"10.9.9.9"_s, .boxes = {u"TQ3MAX|Nessun Servizio associato  !|info"_s}};
    }
    void callFromTheConsole()
    {
        QFETCH(Press, call);
        m_archive->setServerState(call.state);
        execute(u"UPDATE Servizi SET Attesa = %1"_s.arg(call.waiting));
        execute(u"UPDATE ServiziPostazioni SET IpPostazione = '%1'"_s.arg(call.servicesAt));
        QVERIFY(call.numberFile.isEmpty() || m_archive->writeNumberFile(12, call.numberFile));
        if (call.refused) {
            QUdpSocket closed;
            QVERIFY(closed.bind(QHostAddress::LocalHost));
            m_registry->record().portaServer = closed.localPort();
        }
        ModalCloser closer;
        open(call.server);
        QCOMPARE(text(u"Label1_0"_s) + u'|' + text(u"Label1_2"_s),
                 kDesk + u'|' + (call.servicesAt == kDeskIp ? kAnagrafe : u"Servizio non disponibile"_s));
        clickAvanti();
        QTest::qWait(150);  // a refusal would come back within this time

        const bool announced = call.shown != u"0" && call.waiting > 0;
        QCOMPARE(closer.boxes(), call.boxes);
        QCOMPARE(text(u"Label1_1"_s), call.shown);
        // What the call leaves in the archive is the call tests' (tst_calldesks).
        QCOMPARE(m_listener->drain(100), QList<QByteArray>(announced && !call.refused, k41));
        QCOMPARE(historyFile(), announced ? historyLine("41", "Anagrafe") : QByteArray());
        QCOMPARE(history()->topLevelItemCount(), int(announced));
        QVERIFY(form()->refreshTimer()->isActive());
        // The detail the box leaves out: which file, in the desk's log.
        const QByteArray detail = QDir::toNativeSeparators(numberFilePath(m_archive->folder(), 12)).toUtf8();
        QVERIFY(call.logged.isEmpty() || readFile(kLogFileName).value_or("").contains(call.logged + detail));
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
        QCOMPARE(historyFile(), historyLine("7", "Tributi"));
        QCOMPARE(readFile(journalPath), std::optional<QByteArray>(""));
        QCOMPARE(m_archive->numberFile(13), std::optional<QByteArray>("8\r\n"));
        QCOMPARE(m_archive->attesa(13), std::optional<qint64>(2));
        // The next press calls the chosen service, under its own name.
        clickAvanti();
        QCOMPARE(m_listener->receive(1), QList<QByteArray>{"041#Sportello 1#Anagrafe"});
    }

    void headingClickReversesTheOrderOfTheOpenHistory()
    {
        QVERIFY(m_archive->writeNumberFile(12, "8\r\n"));
        open();
        for (int i = 0; i < 3; ++i)
            clickAvanti();  // 8, 9, 10: "10" sorts before "8" as text
        click(u"Label2"_s);  // opens the history
        QTreeWidget *list = history();
        QStringList orders;
        for (const int x : {-1, list->columnWidth(0) + 10, 10}) {  // as it opens, then a click on "Ora", on "Numero"
            if (x >= 0)
                QTest::mouseClick(list->header()->viewport(), Qt::LeftButton, {}, QPoint(x, list->header()->height() / 2));
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                orders << list->topLevelItem(i)->text(0);
        }
        QCOMPARE(orders.join(u' '), u"8 9 10 9 8 10 10 8 9"_s);
    }

    void recallAnnouncesTheLastCallAgain()
    {
        QVERIFY(m_archive->addService(kDeskIp, 13, u"Tributi"_s, 2, 5));
        m_registry->record().secondoSchermoAttivo = true;
        ModalCloser closer;
        open();
        QVERIFY(!child<QAction>(u"SS4"_s)->isEnabled() && !child<QPushButton>(u"Richiama"_s)->isEnabled());
        pressKeys({Qt::Key_F5});  // nothing to recall yet
        clickAvanti();
        // The run's last call outlives the console; the operator has chosen another service since.
        form()->close();
        QTRY_VERIFY(!form());
        open();
        child<QTableView>(u"grid"_s)->selectRow(1);
        pressKeys({Qt::Key_F5}, 3);  // held down: once

        QCOMPARE(closer.boxes(), QStringList{});
        QCOMPARE(m_listener->drain(100), QList<QByteArray>(2, k41));
        // The public's screen, the service menu's mark, then the console's number, blinking.
        auto *panel = m_registry->window<LoSchermo2>().findChild<QFrame *>(u"Gruppo"_s);
        QStringList seen{panel->isVisibleTo(panel->window()) ? u"number panel"_s : u"out of service"_s};
        for (const char *name : {"SS2", "SS3"})
            seen << (child<QAction>(QLatin1String(name))->isChecked() ? QLatin1String(name) : QLatin1String("-"));
        for (const QLabel *label : {panel->findChild<QLabel *>(u"Label2"_s), panel->findChild<QLabel *>(u"Label3"_s),
                                    child(u"Label1_1"_s)})
            seen << label->text();
        QCOMPARE(seen.join(u'|'), u"number panel|SS2|-|Anagrafe|41|41"_s);
        QVERIFY(child<QTimer>(u"Timer2"_s)->isActive());
        // Nothing else: the chosen service, Attesa and the history keep what the call left.
        QCOMPARE(text(u"Label1_2"_s), u"Tributi"_s);
        QCOMPARE(m_archive->attesa(12), std::optional(qint64(2)));
        QCOMPARE(history()->topLevelItemCount(), 0);
        QCOMPARE(historyFile(), historyLine("41", "Anagrafe"));
    }

    void keysCallOncePerPress_data()
    {
        QTest::addColumn<Keys>("pressed");
        QTest::newRow("F12 calls the next number") << Keys{{Qt::Key_F12}};
        QTest::newRow("the keypad's Enter calls the next number") << Keys{{Qt::KeypadModifier | Qt::Key_Enter}};
        QTest::newRow("F12 pressed twice quickly calls twice") << Keys{{Qt::Key_F12, Qt::Key_F12}, 0, 2};
        QTest::newRow("F12 held down calls once") << Keys{{Qt::Key_F12}, 5};
        QTest::newRow("Enter held down calls once") << Keys{{Qt::Key_Return}, 4};
    }
    void keysCallOncePerPress()
    {
        QFETCH(Keys, pressed);
        ModalCloser closer;
        open();
        pressKeys(pressed.keys, pressed.repeats);
        const QList<QByteArray> sent{k41, "042#Sportello 1#Anagrafe", "043#Sportello 1#Anagrafe"};
        QCOMPARE(m_listener->drain(100), sent.first(pressed.calls));
    }

private:
    void execute(const QString &sql) { QVERIFY(m_archive->builder().execute(sql).ok()); }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"

#include "ConsoleTesting.h"

#include "core/calls/ServerLink.h"
#include "core/store/CallJournal.h"
#include "gui/consoles/Form11.h"
#include "gui/windows/LoSchermo2.h"

#include <QAction>
#include <QFrame>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;

namespace {

const QString kDeskIp = u"10.0.0.21"_s;
const QString kOtherIp = u"10.0.0.22"_s;

QString ora(int minute)
{
    return u"2026-12-05 09:%1:00"_s.arg(minute, 2, 10, QLatin1Char('0'));
}

// One press of "Avanti": the queue and settings before it, what the
// operator sees and what the press leaves behind.
struct Press final {
    QString queue = u"seven"_s;  // which tickets wait
    bool numberFolder = true;
    QStringList boxes = {};
    QString number = u"0"_s;
    QString service = u"Servizio"_s;
    QByteArray datagram = {};  // empty: nothing sent, nothing marked
};

} // namespace

Q_DECLARE_METATYPE(Press)

class TestForm11 final : public ConsoleTest<Form11> {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        setUp(kDeskIp);
        m_archive->addDeskService(kDeskIp, 1, u"Anagrafe"_s);
        m_archive->addDeskService(kDeskIp, 2, u"Tributi"_s);
        m_archive->addDeskService(kOtherIp, 3, u"Stato civile"_s);
    }
    void cleanup() { tearDown(); }

    void callFromTheConsole_data()
    {
        QTest::addColumn<Press>("call");
        // The choice of ticket is the call tests' (tst_automaticcall); other desks'
        // tickets only and "False" are shown with the second screen below.
        QTest::newRow("number 7 is sent as 007, shown as 7 and kept in the history")
            << Press{.number = u"7"_s, .service = u"Anagrafe"_s, .datagram = "007#Sportello 1#Anagrafe"};
        QTest::newRow("an empty queue is told in the message window")
            << Press{.queue = u"empty"_s, .boxes = {u" |Al momento coda di attesa vuota !"_s}};
        QTest::newRow("a desk without services says so in the service label, with no box")
            << Press{.queue = u"nodesk"_s, .service = u"Nessun Servizio associato !"_s};
        QTest::newRow("a missing number folder is told and the ticket stays waiting")
            << Press{.numberFolder = false,
                    .boxes = {u" |Cartella NrAll non trovata !/Il biglietto resta in attesa."_s}};
    }
    void callFromTheConsole()
    {
        QFETCH(Press, call);
        if (call.queue == QLatin1String("seven") || call.queue == QLatin1String("nodesk"))
            m_archive->addTicket(1, 7, u"Anagrafe"_s, ora(0));
        if (call.queue == QLatin1String("nodesk"))
            m_registry->record().ipLocale = u"10.9.9.9"_s;
        if (!call.numberFolder)
            QVERIFY(QDir(m_archive->folder()).rmdir(u"NrAll"_s));

        ModalCloser closer;
        open();
        QCOMPARE(text(u"Label1_0"_s), kDesk);
        clickAvanti();
        QTest::qWait(50);

        const bool announced = !call.datagram.isEmpty();
        QCOMPARE(closer.boxes(), call.boxes);
        QCOMPARE(text(u"Label1_1"_s), call.number);
        QCOMPARE(text(u"Label1_2"_s), call.service);
        QCOMPARE(m_listener->drain(100), announced ? QList<QByteArray>{call.datagram} : QList<QByteArray>());
        QCOMPARE(m_archive->calledKeys(), announced ? QList<qint64>{1} : QList<qint64>{});
        QCOMPARE(history()->topLevelItemCount(), int(announced));
        const QByteArray number = call.number.toLatin1();
        QCOMPARE(historyFile(), announced ? historyLine(number, "14.05", "05/12/2026", 0, call.service.toLatin1())
                                          : QByteArray());
    }

    void aTicketMarkedByACallCutShortIsGivenBackAtLoadOrNextPress()
    {
        const qint64 key = m_archive->addTicket(1, 7, u"Anagrafe"_s, ora(0), true);
        const QString journalPath = m_work->filePath(kCallJournalFileName);
        QVERIFY(CallJournal(journalPath).write({.stage = JournalEntry::Stage::Marked, .serviceId = 1,
                                                .service = u"Anagrafe"_s, .desk = kDesk, .number = 7, .ticketKey = key}));
        ModalCloser closer;
        open();
        QCOMPARE(m_archive->calledKeys(), QList<qint64>{});
        QCOMPARE(readFile(journalPath), std::optional<QByteArray>(""));
        clickAvanti();
        QCOMPARE(m_listener->receive(1), QList<QByteArray>{"007#Sportello 1#Anagrafe"});
        // One left by an undo that failed is given back at the next press, before it calls.
        const qint64 older = m_archive->addTicket(1, 5, u"Anagrafe"_s, ora(0).replace(u"09:"_s, u"08:"_s), true);
        QVERIFY(CallJournal(journalPath).write({.stage = JournalEntry::Stage::Marked, .serviceId = 1,
                                                .service = u"Anagrafe"_s, .desk = kDesk, .number = 5, .ticketKey = older}));
        clickAvanti();
        QCOMPARE(m_listener->receive(1), QList<QByteArray>{"005#Sportello 1#Anagrafe"});
        QCOMPARE(closer.boxes(), QStringList{});
    }

    void secondScreenShowsThePreviousCallWhenNothingIsForTheDesk()
    {
        m_registry->record().secondoSchermoAttivo = true;
        m_archive->addTicket(2, 31, u"Tributi"_s, ora(2));
        ModalCloser closer;
        open();
        auto &screen = m_registry->window<LoSchermo2>();
        auto *group = screen.findChild<QFrame *>(u"Gruppo"_s);
        const auto shownOnScreen = [&] {
            QStringList texts{group->isVisibleTo(&screen) ? u"number panel"_s : u"no number panel"_s};
            for (const char *name : {"Label1", "Label2", "Label3"})
                texts << group->findChild<QLabel *>(QLatin1String(name))->text();
            return texts.join(u'|');
        };
        const QString previousCall = u"number panel|Sportello 1|Tributi|31"_s;
        clickAvanti();
        QCOMPARE(m_listener->receive(1).size(), 1);

        // Now only another desk's service has a waiting ticket; then "False"
        // leaves a ticket of the desk waiting. Both refresh the screen.
        m_archive->addTicket(3, 50, u"Stato civile"_s, ora(9));
        for (const QStringList &boxes : {QStringList(), QStringList{u"Attenzione|Server non in ascolto ! |info"_s}}) {
            if (!boxes.isEmpty()) {
                m_archive->addTicket(1, 8, u"Anagrafe"_s, ora(10));
                m_archive->setServerState(u"False"_s);
            }
            screen.MostraFuoriServizio();
            QTest::mouseClick(child<QPushButton>(u"PushButton1"_s), Qt::LeftButton);
            child<QAction>(u"SS3"_s)->trigger();
            QCOMPARE(shownOnScreen().section(u'|', 0, 0), u"no number panel"_s);
            clickAvanti();
            QTest::qWait(50);
            QTRY_COMPARE(closer.boxes(), boxes);
            QCOMPARE(m_archive->calledKeys(), QList<qint64>{1});
            QCOMPARE(shownOnScreen(), previousCall);
            QVERIFY(child<QAction>(u"SS2"_s)->isChecked() && child<QPushButton>(u"PushButton1"_s)->isVisible());
        }
        QVERIFY(m_listener->drain(50).isEmpty());
    }

    void socketErrorsAreShownInPlainBoxes_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("address not available shows its description and then 10049")
            << 10049
            << QStringList{u"TQ3MAX|Cannot assign requested address"_s, u"TQ3MAX|10049"_s};
        QTest::newRow("another error shows its description only")
            << 10065 << QStringList{u"TQ3MAX|Cannot assign requested address"_s};
    }
    void socketErrorsAreShownInPlainBoxes()
    {
        QFETCH(int, code);
        QFETCH(QStringList, boxes);
        ModalCloser closer;
        Form11 &form = open();
        // Loopback cannot produce these errors: the link reports them as the socket would.
        Q_EMIT form.link().socketError(code, u"Cannot assign requested address"_s);
        QTRY_COMPARE(closer.boxes(), boxes);
        QTest::qWait(50);
        QCOMPARE(closer.boxes(), boxes);
        QVERIFY(m_registry->loaded<Form11>());
    }

    void recallTouchesNoTicket()
    {
        m_archive->addTicket(1, 7, u"Anagrafe"_s, ora(0));
        m_archive->addTicket(1, 8, u"Anagrafe"_s, ora(1));
        ModalCloser closer;
        open();
        QVERIFY(!child<QAction>(u"SS4"_s)->isEnabled());
        clickAvanti();
        child<QAction>(u"SS4"_s)->trigger();
        // Opened again with port 0, where no send can go: told as a call's failed
        // send, without a ticket to give back.
        close();
        m_registry->record().portaServer = 0;
        open();
        child<QAction>(u"SS4"_s)->trigger();
        QCOMPARE(closer.boxes(), QStringList{u" |Porta del Server non valida (0) !"_s});
        QCOMPARE(m_listener->drain(100), QList<QByteArray>(2, "007#Sportello 1#Anagrafe"));
        QCOMPARE(text(u"Label1_1"_s), u"7"_s);
        QCOMPARE(m_archive->calledKeys(), QList<qint64>{1});
        QCOMPARE(historyFile(), historyLine("7", "14.05", "05/12/2026", 0, "Anagrafe"));
    }

    void keysCallAsAvantiAndTheHistoryMenuTogglesItsCaption()
    {
        m_archive->addTicket(1, 7, u"Anagrafe"_s, ora(0));
        m_archive->addTicket(2, 12, u"Tributi"_s, ora(1));
        m_archive->addTicket(1, 8, u"Anagrafe"_s, ora(2));
        open();
        pressKeys({Qt::Key_F12});
        pressKeys({Qt::KeypadModifier | Qt::Key_Enter});
        pressKeys({Qt::Key_Return});  // on the button, which has the focus
        QCOMPARE(m_listener->drain(100), (QList<QByteArray>{"007#Sportello 1#Anagrafe", "012#Sportello 1#Tributi",
                                                            "008#Sportello 1#Anagrafe"}));
        child<QAction>(u"cr1"_s)->trigger();
        QCOMPARE(text(u"Label2"_s), u"Chiudi Cronologia chiamate"_s);
        QVERIFY(history()->mapTo(m_registry->loaded<Form11>(), QPoint(0, 0)).y() < m_registry->loaded<Form11>()->height());
        child<QAction>(u"cr1"_s)->trigger();
        QCOMPARE(text(u"Label2"_s), u"Cronologia chiamate"_s);
    }
};

QTEST_MAIN(TestForm11)
#include "tst_form11.moc"

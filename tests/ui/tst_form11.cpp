// The automatic console's own part: a call cut short made good. What it shares
// with the selective console (keys, recall, boxes, the history) is tst_form1's;
// the choice of ticket is the call tests' (tst_calldesks).

#include "ConsoleTesting.h"

#include "core/store/CallJournal.h"
#include "gui/consoles/Form11.h"

using namespace tq3;
using namespace tq3::test;

class TestForm11 final : public ConsoleTest<Form11> {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        setUp(u"10.0.0.21"_s);
        m_archive->addDeskService(u"10.0.0.21"_s, 1, u"Anagrafe"_s);
    }
    void cleanup() { tearDown(); }

    void aTicketMarkedByACallCutShortIsGivenBackAtLoadOrNextPress()
    {
        const auto cutShort = [this](qint64 number, const QString &ora) {
            const qint64 key = m_archive->addTicket(1, number, u"Anagrafe"_s, ora, true);
            QVERIFY(CallJournal(m_work->filePath(kCallJournalFileName))
                        .write({.stage = JournalEntry::Stage::Marked, .serviceId = 1, .service = u"Anagrafe"_s,
                                .desk = kDesk, .number = qint32(number), .ticketKey = key}));
        };
        cutShort(7, u"2026-12-05 09:00:00"_s);
        ModalCloser closer;
        open();
        QCOMPARE(m_archive->calledKeys(), QList<qint64>{});
        QCOMPARE(readFile(m_work->filePath(kCallJournalFileName)), std::optional<QByteArray>(""));
        clickAvanti();
        QCOMPARE(m_listener->receive(1), QList<QByteArray>{"007#Sportello 1#Anagrafe"});
        QCOMPARE(text(u"Label1_1"_s) + u' ' + text(u"Label1_2"_s), u"7 Anagrafe"_s);
        QCOMPARE(historyFile(), historyLine("7", "Anagrafe"));
        // One left by an undo that failed is given back at the next press, before it calls.
        cutShort(5, u"2026-12-05 08:00:00"_s);
        clickAvanti();
        QCOMPARE(m_listener->receive(1), QList<QByteArray>{"005#Sportello 1#Anagrafe"});
        QCOMPARE(closer.boxes(), QStringList{});
    }
};

QTEST_MAIN(TestForm11)
#include "tst_form11.moc"

#include "core/calls/AutomaticCall.h"
#include "core/calls/ServerLink.h"

#include "CallArchive.h"

#include <QDir>
#include <QTest>

#include <functional>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;
using Outcome = CallOutcome::Kind;

namespace {

const QString kIp = u"192.168.1.21"_s;
using Prepare = std::function<void(CallArchive &)>;

QString ora(int minute)
{
    return u"2026-12-05 09:%1:00"_s.arg(minute, 2, 10, QLatin1Char('0'));
}

Prepare sql(const QString &statement)
{
    return [=](CallArchive &a) { QVERIFY(a.builder().execute(statement)); };
}

} // namespace

Q_DECLARE_METATYPE(Prepare)

// The desk "Sportello 1" serves 1 "Anagrafe" and 2 "Tributi"; another desk serves 3.
class TestAutomaticCall final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void callEndsAsItShould_data();
    void callEndsAsItShould();
    void anUnusableTicketLeavesTheQueueSoTheNextOneIsCalled_data();
    void anUnusableTicketLeavesTheQueueSoTheNextOneIsCalled();

private:
    CallOutcome call(const QString &serverAddress = u"127.0.0.1"_s);

    std::optional<CallArchive> m_archive;
    std::optional<DatagramListener> m_listener;
};

void TestAutomaticCall::init()
{
    m_archive.emplace();
    m_listener.emplace();
    QVERIFY(m_archive->addDeskService(kIp, 1, u"Anagrafe"_s) > 0);
    QVERIFY(m_archive->addDeskService(kIp, 2, u"Tributi"_s) > 0);
    QVERIFY(m_archive->addDeskService(u"192.168.1.22"_s, 3, u"Stato civile"_s) > 0);
}

CallOutcome TestAutomaticCall::call(const QString &serverAddress)
{
    ServerLink link;
    link.setDestination(serverAddress, m_listener->port());
    return AutomaticCall(link).run({.archiveFolder = m_archive->folder(), .deskName = u"Sportello 1"_s,
                                    .ipLocale = kIp, .serverAddress = serverAddress,
                                    .numberFilePatience = std::chrono::milliseconds(200)});
}

// Ticket 7 of service 1 "Anagrafe" waits, an older one was called; `prepare`
// changes that. An announced ticket is marked and its number file holds its
// number; any other end leaves the queue and the folder as they were.
void TestAutomaticCall::callEndsAsItShould_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<Prepare>("prepare");
    QTest::addColumn<Outcome>("expected");
    QTest::addColumn<QString>("message");  // the lines joined by |
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("numberFile");
    const QString local = u"127.0.0.1"_s;
    const Prepare allCalled = sql(u"UPDATE CodaFromTotem SET SeChiamato = true"_s);
    QTest::newRow("7 is sent as 007, shown as 7, and a missing number file is created holding 7")
        << local << Prepare() << Outcome::Announced << QString() << "007#Sportello 1#Anagrafe"_ba << u"NrAllS1.txt"_s;
    QTest::newRow("1234 replaces the number of an existing file, not by its successor")
        << local << Prepare([](CallArchive &a) {
               sql(u"UPDATE CodaFromTotem SET NrDaChiamare = 1234"_s)(a);
               a.writeNumberFile(1, "999\r\n");
           })
        << Outcome::Announced << QString() << "1234#Sportello 1#Anagrafe"_ba << u"NrAllS1.txt"_s;
    QTest::newRow("a ticket without service text takes the desk's name of the service")
        << local << sql(u"UPDATE CodaFromTotem SET servizioid = 2, Servizio = NULL"_s) << Outcome::Announced
        << QString() << "007#Sportello 1#Tributi"_ba << u"NrAllS2.txt"_s;
    QTest::newRow("a service id beyond 16 bits is called as itself, not as the id cut to 16 bits")
        << local << Prepare([](CallArchive &a) {
               a.addDeskService(kIp, 70001, u"Sportello unico"_s);
               a.addDeskService(kIp, 4465, u"Altro"_s);
               sql(u"UPDATE CodaFromTotem SET servizioid = 70001"_s)(a);
           })
        << Outcome::Announced << QString() << "007#Sportello 1#Anagrafe"_ba << u"NrAllS70001.txt"_s;
    QTest::newRow("the server address is not set") << u"0.0.0.0"_s << Prepare() << Outcome::UnsetServerAddress
        << u"Indirizzo Host errato !Controllare impostazioni !"_s << QByteArray() << QString();
    QTest::newRow("the server address is this PC's own") << kIp << Prepare() << Outcome::ServerIsThisPc
        << u"Client e Server non devono|coesistere sullo stesso PC !"_s << QByteArray() << QString();
    QTest::newRow("the desk has no service")
        << local << sql(u"DELETE FROM ServiziPostazioni WHERE IpPostazione = '%1'"_s.arg(kIp))
        << Outcome::NoService << QString() << QByteArray() << QString();
    QTest::newRow("no ticket waits at all") << local << allCalled << Outcome::QueueEmpty
        << u"Al momento coda di attesa vuota !"_s << QByteArray() << QString();
    QTest::newRow("only other desks' services have waiting tickets")
        << local << Prepare([=](CallArchive &a) { allCalled(a); a.addTicket(3, 9, u"Stato civile"_s, ora(1)); })
        << Outcome::NothingWaiting << QString() << QByteArray() << QString();
    QTest::newRow("False in the server-state file leaves the ticket waiting")
        << local << Prepare([](CallArchive &a) { a.setServerState(u"False"_s); }) << Outcome::ServerNotListening
        << QString() << QByteArray() << QString();
    QTest::newRow("a missing server-state file is reported")
        << local << Prepare([](CallArchive &a) { a.setServerState({}); }) << Outcome::Failed
        << u"File di stato del Server non trovato !"_s << QByteArray() << QString();
    QTest::newRow("a number file that cannot be written gives the ticket back")
        << local << Prepare([](CallArchive &a) { QDir(a.folder()).rmdir(u"NrAll"_s); }) << Outcome::Failed
        << u"Cartella NrAll non trovata !|Il biglietto resta in attesa."_s << QByteArray() << QString();
    QTest::newRow("an unreachable archive is reported and not created")
        << local << Prepare([](CallArchive &a) { removeQueueDatabase(a.folder()); }) << Outcome::Failed
        << u"Archivio del Server non raggiungibile !|Archivio TQ3MAX.mdb non trovato !"_s << QByteArray() << QString();
}

void TestAutomaticCall::callEndsAsItShould()
{
    QFETCH(QString, server);
    QFETCH(Prepare, prepare);
    QFETCH(Outcome, expected);
    QFETCH(QString, message);
    QFETCH(QByteArray, datagram);
    QFETCH(QString, numberFile);
    m_archive->addTicket(1, 3, u"Anagrafe"_s, ora(0), true);
    const qint64 waiting = m_archive->addTicket(1, 7, u"Anagrafe"_s, ora(1));
    if (prepare)
        prepare(*m_archive);
    const QList<qint64> calledBefore = m_archive->calledKeys();
    const QStringList filesBefore = folderSnapshot(m_archive->folder());

    const CallOutcome result = call(server);
    QCOMPARE(result.kind, expected);
    QCOMPARE(result.message.join(u'|'), message);
    QCOMPARE(m_listener->receive(1, datagram.isEmpty() ? 50 : 3000).value(0), datagram);
    if (datagram.isEmpty()) {
        QCOMPARE(m_archive->calledKeys(), calledBefore);
        QCOMPARE(folderSnapshot(m_archive->folder()), filesBefore);
        return;
    }
    QCOMPARE(result.call.number, datagram.split('#').first().toInt());
    QCOMPARE(m_archive->calledKeys(), calledBefore + QList<qint64>{waiting});
    const QString numberFolder = m_archive->folder() + u"/NrAll/"_s;
    QCOMPARE(QDir(numberFolder).entryList(QDir::Files), QStringList{numberFile});
    QCOMPARE(readFile(numberFolder + numberFile).value_or(""), QByteArray::number(result.call.number) + "\r\n");
}

void TestAutomaticCall::anUnusableTicketLeavesTheQueueSoTheNextOneIsCalled_data()
{
    QTest::addColumn<QString>("spoil");
    QTest::addColumn<QString>("message");
    QTest::newRow("a ticket without a number") << u"NrDaChiamare = NULL"_s
        << u"Biglietto senza numero: tolto dalla coda !|Avvisare il responsabile del Server."_s;
    QTest::newRow("a ticket without a service the desk can name") << u"servizioid = 2, Servizio = NULL"_s
        << u"Biglietto senza servizio: tolto dalla coda !|Avvisare il responsabile del Server."_s;
}

void TestAutomaticCall::anUnusableTicketLeavesTheQueueSoTheNextOneIsCalled()
{
    QFETCH(QString, spoil);
    QFETCH(QString, message);
    QVERIFY(m_archive->builder().execute(u"UPDATE ServiziPostazioni SET ServizioTesto = '' WHERE ServizioID = 2"_s));
    const qint64 spoilt = m_archive->addTicket(1, 5, u"Anagrafe"_s, ora(0));
    QVERIFY(m_archive->builder().execute(u"UPDATE CodaFromTotem SET %1 WHERE Id = %2"_s.arg(spoil).arg(spoilt)));
    m_archive->addTicket(1, 6, u"Anagrafe"_s, ora(1));

    const CallOutcome first = call();
    QCOMPARE(first.kind, Outcome::Failed);
    QCOMPARE(first.message.join(u'|'), message);
    QCOMPARE(m_archive->calledKeys(), QList<qint64>{spoilt});
    QVERIFY(m_listener->receive(1, 50).isEmpty());

    QCOMPARE(call().kind, Outcome::Announced);
    QCOMPARE(m_listener->receive(1).value(0), "006#Sportello 1#Anagrafe"_ba);
}

TQ3_ARCHIVE_TEST_MAIN(TestAutomaticCall)
#include "tst_automaticcall.moc"

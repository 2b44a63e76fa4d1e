#include "console/AutomaticCall.h"
#include "console/ServerLink.h"

#include "CallArchive.h"

#include <QDir>
#include <QTest>

#include <functional>

using namespace tq3;
using namespace tq3::test;

namespace {

const QString kIp = QStringLiteral("192.168.1.21");
using Prepare = std::function<void(CallArchive &)>;

QString ora(int minute)
{
    return QStringLiteral("2026-12-05 09:%1:00").arg(minute, 2, 10, QLatin1Char('0'));
}

} // namespace

Q_DECLARE_METATYPE(Prepare)

// The desk "Sportello 1" serves 1 "Anagrafe" and 2 "Tributi"; another desk serves 3.
class TestAutomaticCall final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void callsFollowTheOldestTicketThenTheRowKey();
    void ticketIsAnnounced_data();
    void ticketIsAnnounced();
    void nothingIsCalledWhen_data();
    void nothingIsCalledWhen();

private:
    AutomaticCallResult call(const QString &serverAddress = QStringLiteral("127.0.0.1"));

    std::optional<CallArchive> m_archive;
    std::optional<DatagramListener> m_listener;
};

void TestAutomaticCall::init()
{
    m_archive.emplace();
    m_listener.emplace();
    QVERIFY(m_archive->addDeskService(kIp, 1, QStringLiteral("Anagrafe")) > 0);
    QVERIFY(m_archive->addDeskService(kIp, 2, QStringLiteral("Tributi")) > 0);
    QVERIFY(m_archive->addDeskService(QStringLiteral("192.168.1.22"), 3, QStringLiteral("Stato civile")) > 0);
}

AutomaticCallResult TestAutomaticCall::call(const QString &serverAddress)
{
    ServerLink link;
    link.setDestination(serverAddress, m_listener->port());
    return AutomaticCall(link).run({.archiveFolder = m_archive->folder(), .deskName = QStringLiteral("Sportello 1"),
                                    .ipLocale = kIp, .serverAddress = serverAddress,
                                    .numberFilePatience = std::chrono::milliseconds(200)});
}

void TestAutomaticCall::callsFollowTheOldestTicketThenTheRowKey()
{
    const qint64 otherDesks = m_archive->addTicket(3, 50, QStringLiteral("Stato civile"), ora(0));
    m_archive->addTicket(2, 30, QStringLiteral("Tributi"), ora(1), true);
    m_archive->addTicket(1, 12, QStringLiteral("Anagrafe"), ora(5));
    const qint64 oldest = m_archive->addTicket(2, 31, QStringLiteral("Tributi"), ora(2));
    m_archive->addTicket(2, 8, QStringLiteral("Tributi"), ora(3));
    m_archive->addTicket(1, 4, QStringLiteral("Anagrafe"), ora(3));  // same time: after by row key

    const AutomaticCallResult first = call();
    QCOMPARE(first.outcome, AutomaticOutcome::Announced);
    QCOMPARE(first.ticketKey, oldest);
    QCOMPARE(m_listener->receive(1), QList<QByteArray>{"031#Sportello 1#Tributi"});
    QList<qint32> next;
    AutomaticCallResult r;
    while ((r = call()).outcome == AutomaticOutcome::Announced)
        next << r.number;
    QCOMPARE(next, (QList<qint32>{8, 4, 12}));
    QCOMPARE(r.outcome, AutomaticOutcome::NothingForDesk);
    QVERIFY(!m_archive->calledKeys().contains(otherDesks));
    QCOMPARE(m_listener->receive(3).size(), 3);
}

void TestAutomaticCall::ticketIsAnnounced_data()
{
    QTest::addColumn<Prepare>("prepare");
    QTest::addColumn<qint64>("servizioId");
    QTest::addColumn<qint32>("number");
    QTest::addColumn<QVariant>("servizio");
    QTest::addColumn<QByteArray>("datagram");
    const Prepare nothing = [](CallArchive &) {};
    QTest::newRow("7 is sent as 007 and a missing number file is created holding 7")
        << nothing << qint64(1) << 7 << QVariant(QStringLiteral("Anagrafe")) << QByteArray("007#Sportello 1#Anagrafe");
    QTest::newRow("1234 is sent as 1234 and replaces the number in an existing file, not by its successor")
        << Prepare([](CallArchive &a) { a.writeNumberFile(1, "999\r\n"); }) << qint64(1) << 1234
        << QVariant(QStringLiteral("Anagrafe")) << QByteArray("1234#Sportello 1#Anagrafe");
    QTest::newRow("false in small letters lets the call go ahead")
        << Prepare([](CallArchive &a) { a.setServerState(QStringLiteral("false")); }) << qint64(1) << 7
        << QVariant(QStringLiteral("Anagrafe")) << QByteArray("007#Sportello 1#Anagrafe");
    QTest::newRow("a ticket without service text takes the desk's name of the service")
        << nothing << qint64(2) << 9 << QVariant() << QByteArray("009#Sportello 1#Tributi");
    QTest::newRow("a service id beyond 16 bits is called as itself, not as the id cut to 16 bits")
        << Prepare([](CallArchive &a) {
               a.addDeskService(kIp, 70001, QStringLiteral("Sportello unico"));
               a.addDeskService(kIp, 4465, QStringLiteral("Altro"));
           })
        << qint64(70001) << 12 << QVariant(QStringLiteral("Sportello unico"))
        << QByteArray("012#Sportello 1#Sportello unico");
}

void TestAutomaticCall::ticketIsAnnounced()
{
    QFETCH(Prepare, prepare);
    QFETCH(qint64, servizioId);
    QFETCH(qint32, number);
    QFETCH(QVariant, servizio);
    QFETCH(QByteArray, datagram);
    prepare(*m_archive);
    const qint64 key = m_archive->addTicket(servizioId, number, servizio, ora(0));

    const AutomaticCallResult result = call();
    QCOMPARE(result.outcome, AutomaticOutcome::Announced);
    QCOMPARE(result.number, number);  // shown as it is, without the leading zeros
    QCOMPARE(m_listener->receive(1), QList<QByteArray>{datagram});
    QCOMPARE(m_archive->calledKeys(), QList<qint64>{key});
    QCOMPARE(m_archive->numberFile(servizioId), std::optional<QByteArray>(QByteArray::number(number) + "\r\n"));
    QCOMPARE(QDir(m_archive->folder() + QStringLiteral("/NrAll")).entryList(QDir::Files),
             QStringList{QStringLiteral("NrAllS%1.txt").arg(servizioId)});
}

void TestAutomaticCall::nothingIsCalledWhen_data()
{
    QTest::addColumn<QString>("serverAddress");
    QTest::addColumn<Prepare>("prepare");
    QTest::addColumn<AutomaticOutcome>("expected");
    QTest::addColumn<QStringList>("message");
    const QString server = QStringLiteral("127.0.0.1");
    const auto sql = [](const char *statement) {
        return Prepare([=](CallArchive &a) { QVERIFY(a.builder().execute(QString::fromUtf8(statement), {kIp})); });
    };
    const Prepare nothing = [](CallArchive &) {};
    const Prepare allCalled = sql("UPDATE CodaFromTotem SET SeChiamato = 1 WHERE ? <> ''");

    QTest::newRow("the server address is not set") << QStringLiteral("0.0.0.0") << nothing
        << AutomaticOutcome::UnsetServerAddress << QStringList{QStringLiteral("Indirizzo Host errato !Controllare impostazioni !")};
    QTest::newRow("the server address is this PC's own") << kIp << nothing << AutomaticOutcome::ServerIsThisPc
        << QStringList{QStringLiteral("Client e Server non devono"), QStringLiteral("coesistere sullo stesso PC !")};
    QTest::newRow("the desk has no service") << server << sql("DELETE FROM ServiziPostazioni WHERE IpPostazione = ?")
        << AutomaticOutcome::NoServiceForDesk << QStringList{};
    QTest::newRow("no ticket waits at all") << server << allCalled << AutomaticOutcome::QueueEmpty
        << QStringList{QStringLiteral("Al momento coda di attesa vuota !")};
    QTest::newRow("only other desks' services have waiting tickets") << server
        << Prepare([=](CallArchive &a) { allCalled(a); a.addTicket(3, 9, QStringLiteral("Stato civile"), ora(1)); })
        << AutomaticOutcome::NothingForDesk << QStringList{};
    QTest::newRow("False in the server-state file leaves the ticket waiting") << server
        << Prepare([](CallArchive &a) { a.setServerState(QStringLiteral("False")); })
        << AutomaticOutcome::ServerNotListening << QStringList{};
    QTest::newRow("a missing server-state file is reported") << server
        << Prepare([](CallArchive &a) { a.setServerState(QString()); }) << AutomaticOutcome::Failed
        << QStringList{QStringLiteral("File di stato del Server non trovato !")};
    QTest::newRow("a ticket without a number is reported and left waiting") << server
        << sql("UPDATE CodaFromTotem SET NrDaChiamare = NULL WHERE ? <> ''") << AutomaticOutcome::Failed
        << QStringList{QStringLiteral("Biglietto senza numero da chiamare !"), QStringLiteral("Avvisare il responsabile del Server.")};
    QTest::newRow("a number file that cannot be written gives the ticket back") << server
        << Prepare([](CallArchive &a) { QDir(a.folder()).rmdir(QStringLiteral("NrAll")); }) << AutomaticOutcome::Failed
        << QStringList{QStringLiteral("Impossibile scrivere il numero chiamato !"), QStringLiteral("Il biglietto resta in attesa.")};
    QTest::newRow("an unreachable archive is reported and not created") << server
        << Prepare([](CallArchive &a) { QFile::remove(a.folder() + QStringLiteral("/TQ3MAX.mdb")); })
        << AutomaticOutcome::Failed
        << QStringList{QStringLiteral("Archivio del Server non raggiungibile !"), QStringLiteral("Archivio TQ3MAX.mdb non trovato !")};
    QTest::newRow("a server name that does not resolve is reported before the mark")
        << QStringLiteral("no-such-host.invalid") << nothing << AutomaticOutcome::Failed
        << QStringList{QStringLiteral("Indirizzo del Server non trovato: no-such-host.invalid ! Controllare impostazioni !")};
}

void TestAutomaticCall::nothingIsCalledWhen()
{
    QFETCH(QString, serverAddress);
    QFETCH(Prepare, prepare);
    QFETCH(AutomaticOutcome, expected);
    QFETCH(QStringList, message);
    m_archive->addTicket(1, 3, QStringLiteral("Anagrafe"), ora(0), true);
    m_archive->addTicket(1, 7, QStringLiteral("Anagrafe"), ora(1));
    prepare(*m_archive);
    const QList<qint64> calledBefore = m_archive->calledKeys();
    const QStringList filesBefore = QDir(m_archive->folder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    const AutomaticCallResult result = call(serverAddress);
    QCOMPARE(result.outcome, expected);
    QCOMPARE(result.message, message);
    QCOMPARE(result.refreshesSecondScreen(),
             expected == AutomaticOutcome::NothingForDesk || expected == AutomaticOutcome::ServerNotListening);
    QCOMPARE(m_archive->calledKeys(), calledBefore);
    QVERIFY(m_listener->drain(50).isEmpty());
    QCOMPARE(QDir(m_archive->folder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), filesBefore);
    QCOMPARE(m_archive->numberFile(1), std::nullopt);
}

QTEST_GUILESS_MAIN(TestAutomaticCall)
#include "tst_automaticcall.moc"

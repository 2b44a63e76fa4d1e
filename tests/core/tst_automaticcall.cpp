#include "console/AutomaticCall.h"
#include "console/ServerLink.h"

#include "automatic_Archive.h"

#include <QTest>

using namespace tq3;

namespace {

const QString kDesk = QStringLiteral("Sportello 1");
const QString kIp = QStringLiteral("192.168.1.21");
const QString kOtherIp = QStringLiteral("192.168.1.22");

QString ora(int minute, int second = 0)
{
    return QStringLiteral("2026-12-05 09:%1:%2").arg(minute, 2, 10, QLatin1Char('0')).arg(second, 2, 10, QLatin1Char('0'));
}

} // namespace

class TestAutomaticCall final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void oldestTicketAcrossTheDesksServices();
    void equalTimesAreTakenByRowKey();
    void nothingIsCalledWhen_data();
    void nothingIsCalledWhen();
    void serverStateDecidesWhetherTheCallGoesAhead_data();
    void serverStateDecidesWhetherTheCallGoesAhead();
    void numberIsSentWithThreeDigitsAndKeptPlain_data();
    void numberIsSentWithThreeDigitsAndKeptPlain();
    void missingNumberFileIsCreatedHoldingTheNumberCalled();
    void unwritableNumberFileGivesTheTicketBack();
    void serviceIdsBeyondSixteenBitsWork();
    void ticketWithoutServiceTextTakesTheDesksName();
    void ticketWithoutNumberIsReportedAndLeftWaiting();
    void unreachableArchiveIsReported();
    void unresolvableServerNameChangesNothing();
    void consecutiveCallsDrainTheDesksQueueInOrder();

private:
    AutomaticCallResult call(const QString &serverAddress = QStringLiteral("127.0.0.1"));

    std::unique_ptr<test::AutomaticArchive> m_archive;
    std::unique_ptr<test::DatagramListener> m_listener;
    std::unique_ptr<ServerLink> m_link;
};

void TestAutomaticCall::init()
{
    m_archive = std::make_unique<test::AutomaticArchive>();
    QVERIFY(m_archive->isValid());
    m_listener = std::make_unique<test::DatagramListener>();
    QVERIFY(m_listener->port() != 0);
    m_link = std::make_unique<ServerLink>();
    m_link->setDestination(QStringLiteral("127.0.0.1"), m_listener->port());
    m_archive->addDeskService(kIp, 1, QStringLiteral("Anagrafe"));
    m_archive->addDeskService(kIp, 2, QStringLiteral("Tributi"));
    m_archive->addDeskService(kOtherIp, 3, QStringLiteral("Stato civile"));
}

void TestAutomaticCall::cleanup()
{
    m_link.reset();
    m_listener.reset();
    m_archive.reset();
}

AutomaticCallResult TestAutomaticCall::call(const QString &serverAddress)
{
    AutomaticCallSetup setup;
    setup.archiveFolder = m_archive->folder();
    setup.deskName = kDesk;
    setup.ipLocale = kIp;
    setup.serverAddress = serverAddress;
    setup.numberFilePatience = std::chrono::milliseconds(200);
    if (serverAddress != QStringLiteral("127.0.0.1"))
        m_link->setDestination(serverAddress, m_listener->port());
    AutomaticCall automatic(*m_link);
    return automatic.run(setup);
}

void TestAutomaticCall::oldestTicketAcrossTheDesksServices()
{
    const qint64 other = m_archive->addTicket(3, 50, QStringLiteral("Stato civile"), ora(0));
    const qint64 later = m_archive->addTicket(1, 12, QStringLiteral("Anagrafe"), ora(5));
    const qint64 oldest = m_archive->addTicket(2, 31, QStringLiteral("Tributi"), ora(2));
    m_archive->addTicket(2, 30, QStringLiteral("Tributi"), ora(1), true);

    const AutomaticCallResult result = call();
    QCOMPARE(result.outcome, AutomaticOutcome::Announced);
    QCOMPARE(result.number, 31);
    QCOMPARE(result.service, QStringLiteral("Tributi"));
    QCOMPARE(result.ticketKey, oldest);
    QCOMPARE(m_listener->receive(1), QList<QByteArray>{QByteArray("031#Sportello 1#Tributi")});
    QCOMPARE(m_archive->isCalled(oldest), std::optional<bool>(true));
    QCOMPARE(m_archive->isCalled(later), std::optional<bool>(false));
    QCOMPARE(m_archive->isCalled(other), std::optional<bool>(false));
    QCOMPARE(m_archive->numberFile(2), std::optional<QByteArray>("31\r\n"));
    QCOMPARE(m_archive->numberFile(1), std::nullopt);
}

void TestAutomaticCall::equalTimesAreTakenByRowKey()
{
    const qint64 first = m_archive->addTicket(2, 8, QStringLiteral("Tributi"), ora(3));
    const qint64 second = m_archive->addTicket(1, 4, QStringLiteral("Anagrafe"), ora(3));
    QCOMPARE(call().ticketKey, first);
    QCOMPARE(call().ticketKey, second);
}

void TestAutomaticCall::nothingIsCalledWhen_data()
{
    QTest::addColumn<QString>("serverAddress");
    QTest::addColumn<bool>("deskHasServices");
    QTest::addColumn<bool>("otherDesksTicketWaits");
    QTest::addColumn<AutomaticOutcome>("expected");
    QTest::addColumn<QStringList>("message");

    QTest::newRow("the server address is not set")
        << QStringLiteral("0.0.0.0") << true << true << AutomaticOutcome::UnsetServerAddress
        << QStringList{QStringLiteral("Indirizzo Host errato !Controllare impostazioni !")};
    QTest::newRow("the server address is this PC's own")
        << kIp << true << true << AutomaticOutcome::ServerIsThisPc
        << QStringList{QStringLiteral("Client e Server non devono"), QStringLiteral("coesistere sullo stesso PC !")};
    QTest::newRow("the desk has no service") << QStringLiteral("127.0.0.1") << false << true
                                             << AutomaticOutcome::NoServiceForDesk << QStringList{};
    QTest::newRow("no ticket waits at all") << QStringLiteral("127.0.0.1") << true << false
                                            << AutomaticOutcome::QueueEmpty
                                            << QStringList{QStringLiteral("Al momento coda di attesa vuota !")};
    QTest::newRow("only other desks' services have waiting tickets")
        << QStringLiteral("127.0.0.1") << true << true << AutomaticOutcome::NothingForDesk << QStringList{};
}

void TestAutomaticCall::nothingIsCalledWhen()
{
    QFETCH(QString, serverAddress);
    QFETCH(bool, deskHasServices);
    QFETCH(bool, otherDesksTicketWaits);
    QFETCH(AutomaticOutcome, expected);
    QFETCH(QStringList, message);

    m_archive->addTicket(1, 3, QStringLiteral("Anagrafe"), ora(0), true);
    if (otherDesksTicketWaits)
        m_archive->addTicket(3, 9, QStringLiteral("Stato civile"), ora(1));
    if (!deskHasServices)
        QVERIFY(m_archive->builder().execute(QStringLiteral("DELETE FROM ServiziPostazioni WHERE IpPostazione = ?"),
                                             {kIp}));
    const QList<qint64> calledBefore = m_archive->calledKeys();

    const AutomaticCallResult result = call(serverAddress);
    QCOMPARE(result.outcome, expected);
    QCOMPARE(result.message, message);
    QCOMPARE(result.refreshesSecondScreen(), expected == AutomaticOutcome::NothingForDesk);
    QCOMPARE(m_archive->calledKeys(), calledBefore);
    QVERIFY(m_listener->drain().isEmpty());
    QCOMPARE(m_archive->numberFile(1), std::nullopt);
}

void TestAutomaticCall::serverStateDecidesWhetherTheCallGoesAhead_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("announced");
    QTest::newRow("False means the server module is not listening") << QStringLiteral("False") << false;
    QTest::newRow("false in other letters lets the call go ahead") << QStringLiteral("false") << true;
    QTest::newRow("True lets the call go ahead") << QStringLiteral("True") << true;
}

void TestAutomaticCall::serverStateDecidesWhetherTheCallGoesAhead()
{
    QFETCH(QString, state);
    QFETCH(bool, announced);
    m_archive->setServerState(state);
    const qint64 key = m_archive->addTicket(1, 7, QStringLiteral("Anagrafe"), ora(0));

    const AutomaticCallResult result = call();
    QCOMPARE(result.outcome, announced ? AutomaticOutcome::Announced : AutomaticOutcome::ServerNotListening);
    QCOMPARE(result.refreshesSecondScreen(), true);
    QCOMPARE(m_archive->isCalled(key), std::optional<bool>(announced));
    QCOMPARE(m_listener->drain().size(), announced ? 1 : 0);
    QCOMPARE(m_archive->numberFile(1).has_value(), announced);

    // The next press after the server module is back calls the same ticket.
    if (!announced) {
        m_archive->setServerState(QStringLiteral("True"));
        QCOMPARE(call().ticketKey, key);
    }
}

void TestAutomaticCall::numberIsSentWithThreeDigitsAndKeptPlain_data()
{
    QTest::addColumn<qint32>("number");
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QByteArray>("numberFile");
    QTest::newRow("7 is sent as 007 and kept as 7") << 7 << QByteArray("007#Sportello 1#Anagrafe") << QByteArray("7\r\n");
    QTest::newRow("1234 is sent and kept as 1234")
        << 1234 << QByteArray("1234#Sportello 1#Anagrafe") << QByteArray("1234\r\n");
}

void TestAutomaticCall::numberIsSentWithThreeDigitsAndKeptPlain()
{
    QFETCH(qint32, number);
    QFETCH(QByteArray, datagram);
    QFETCH(QByteArray, numberFile);
    m_archive->addTicket(1, number, QStringLiteral("Anagrafe"), ora(0));
    const AutomaticCallResult result = call();
    QCOMPARE(result.outcome, AutomaticOutcome::Announced);
    QCOMPARE(result.number, number);
    QCOMPARE(m_listener->receive(1), QList<QByteArray>{datagram});
    QCOMPARE(m_archive->numberFile(1), std::optional<QByteArray>(numberFile));
}

void TestAutomaticCall::missingNumberFileIsCreatedHoldingTheNumberCalled()
{
    QFile old(m_archive->folder() + QStringLiteral("/NrAll/NrAllS2.txt"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("999\r\n");
    old.close();
    m_archive->addTicket(1, 41, QStringLiteral("Anagrafe"), ora(0));
    m_archive->addTicket(2, 5, QStringLiteral("Tributi"), ora(1));
    QCOMPARE(m_archive->numberFile(1), std::nullopt);

    QCOMPARE(call().outcome, AutomaticOutcome::Announced);
    QCOMPARE(m_archive->numberFile(1), std::optional<QByteArray>("41\r\n"));
    // An existing file is replaced by the number called, not its successor.
    QCOMPARE(call().outcome, AutomaticOutcome::Announced);
    QCOMPARE(m_archive->numberFile(2), std::optional<QByteArray>("5\r\n"));
}

void TestAutomaticCall::unwritableNumberFileGivesTheTicketBack()
{
    QVERIFY(QDir(m_archive->folder()).rmdir(QStringLiteral("NrAll")));
    const qint64 key = m_archive->addTicket(1, 7, QStringLiteral("Anagrafe"), ora(0));

    const AutomaticCallResult result = call();
    QCOMPARE(result.outcome, AutomaticOutcome::Failed);
    QCOMPARE(result.message, (QStringList{QStringLiteral("Impossibile scrivere il numero chiamato !"),
                                          QStringLiteral("Il biglietto resta in attesa.")}));
    QVERIFY(!result.refreshesSecondScreen());
    QCOMPARE(m_archive->isCalled(key), std::optional<bool>(false));
    QVERIFY(m_listener->drain().isEmpty());
    QVERIFY(!QDir(m_archive->folder()).exists(QStringLiteral("NrAll")));
}

void TestAutomaticCall::serviceIdsBeyondSixteenBitsWork()
{
    m_archive->addDeskService(kIp, 70001, QStringLiteral("Sportello unico"));
    m_archive->addDeskService(kIp, 4465, QStringLiteral("Altro"));  // 70001 cut to 16 bits
    const qint64 key = m_archive->addTicket(70001, 12, QStringLiteral("Sportello unico"), ora(0));
    const AutomaticCallResult result = call();
    QCOMPARE(result.outcome, AutomaticOutcome::Announced);
    QCOMPARE(result.servizioId, qint64(70001));
    QCOMPARE(m_archive->isCalled(key), std::optional<bool>(true));
    QCOMPARE(m_archive->numberFile(70001), std::optional<QByteArray>("12\r\n"));
    QCOMPARE(m_archive->numberFile(4465), std::nullopt);
}

void TestAutomaticCall::ticketWithoutServiceTextTakesTheDesksName()
{
    m_archive->addTicket(2, 9, QVariant(), ora(0));
    const AutomaticCallResult result = call();
    QCOMPARE(result.outcome, AutomaticOutcome::Announced);
    QCOMPARE(result.service, QStringLiteral("Tributi"));
    QCOMPARE(m_listener->receive(1), QList<QByteArray>{QByteArray("009#Sportello 1#Tributi")});
}

void TestAutomaticCall::ticketWithoutNumberIsReportedAndLeftWaiting()
{
    const qint64 key = m_archive->addTicket(1, QVariant(), QStringLiteral("Anagrafe"), ora(0));
    const AutomaticCallResult result = call();
    QCOMPARE(result.outcome, AutomaticOutcome::Failed);
    QCOMPARE(result.message.value(0), QStringLiteral("Biglietto senza numero da chiamare !"));
    QCOMPARE(m_archive->isCalled(key), std::optional<bool>(false));
    QVERIFY(m_listener->drain().isEmpty());
}

void TestAutomaticCall::unreachableArchiveIsReported()
{
    QVERIFY(QFile::remove(m_archive->folder() + QStringLiteral("/TQ3MAX.mdb")));
    const AutomaticCallResult result = call();
    QCOMPARE(result.outcome, AutomaticOutcome::Failed);
    QCOMPARE(result.message, (QStringList{QStringLiteral("Archivio del Server non raggiungibile !"),
                                          QStringLiteral("Archivio TQ3MAX.mdb non trovato !")}));
    QVERIFY(result.error);
    QVERIFY(!QFile::exists(m_archive->folder() + QStringLiteral("/TQ3MAX.mdb")));
}

void TestAutomaticCall::unresolvableServerNameChangesNothing()
{
    const qint64 key = m_archive->addTicket(1, 7, QStringLiteral("Anagrafe"), ora(0));
    const AutomaticCallResult result = call(QStringLiteral("no-such-host.invalid"));
    QCOMPARE(result.outcome, AutomaticOutcome::Failed);
    QVERIFY(result.message.value(0).contains(QStringLiteral("no-such-host.invalid")));
    QCOMPARE(m_archive->isCalled(key), std::optional<bool>(false));
}

void TestAutomaticCall::consecutiveCallsDrainTheDesksQueueInOrder()
{
    QList<qint32> expected;
    for (int i = 0; i < 12; ++i) {
        const qint64 service = 1 + (i * 7) % 3;  // 1, 2, 3 interleaved
        m_archive->addTicket(service, 100 + i, QStringLiteral("S%1").arg(service), ora(59 - i * 4));
    }
    for (int i = 11; i >= 0; --i) {
        if (1 + (i * 7) % 3 != 3)
            expected << 100 + i;
    }
    QList<qint32> called;
    for (AutomaticCallResult r = call(); r.outcome == AutomaticOutcome::Announced; r = call())
        called << r.number;
    QCOMPARE(called, expected);
    QCOMPARE(call().outcome, AutomaticOutcome::NothingForDesk);
    QCOMPARE(m_listener->receive(int(expected.size())).size(), expected.size());
}

QTEST_GUILESS_MAIN(TestAutomaticCall)
#include "tst_automaticcall.moc"

#include "console/ServerLink.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QUdpSocket>

#include <memory>

#include <cerrno>

using namespace tq3;

namespace {

// A free UDP port on 127.0.0.1 that nothing listens on any more.
quint16 closedPort()
{
    QUdpSocket probe;
    if (!probe.bind(QHostAddress::LocalHost, 0))
        return 0;
    return probe.localPort();
}

QByteArray receiveOne(QUdpSocket &listener, int timeoutMs = 2000)
{
    if (!listener.hasPendingDatagrams() && !listener.waitForReadyRead(timeoutMs))
        return {};
    QByteArray data(int(listener.pendingDatagramSize()), '\0');
    listener.readDatagram(data.data(), data.size());
    return data;
}

} // namespace

class TestServerLink final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void callNumberHasAtLeastThreeDigits_data();
    void callNumberHasAtLeastThreeDigits();
    void callMessageIsOneWindows1252Payload_data();
    void callMessageIsOneWindows1252Payload();
    void socketErrorsCarryTheirWindowsNumbers_data();
    void socketErrorsCarryTheirWindowsNumbers();
    void announcementArrivesAsOneDatagram();
    void twoCallsGiveTwoDatagrams();
    void refusalIsReportedAndNextAnnouncementStillArrives();
    void unusableDestinationIsRefusedBeforeSending_data();
    void unusableDestinationIsRefusedBeforeSending();
    void hostNameIsResolvedAtTheCall();
    void incomingDatagramsAreReadAndDropped();
};

void TestServerLink::callNumberHasAtLeastThreeDigits_data()
{
    QTest::addColumn<qint32>("number");
    QTest::addColumn<QString>("text");
    QTest::newRow("seven is padded to 007") << 7 << QStringLiteral("007");
    QTest::newRow("forty-two is padded to 042") << 42 << QStringLiteral("042");
    QTest::newRow("zero is 000") << 0 << QStringLiteral("000");
    QTest::newRow("one thousand keeps all four digits") << 1000 << QStringLiteral("1000");
    QTest::newRow("1234 stays 1234") << 1234 << QStringLiteral("1234");
}

void TestServerLink::callNumberHasAtLeastThreeDigits()
{
    QFETCH(qint32, number);
    QFETCH(QString, text);
    QCOMPARE(formatCallNumber(number), text);
}

void TestServerLink::callMessageIsOneWindows1252Payload_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("desk");
    QTest::addColumn<QString>("service");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("a plain call is the 24 bytes without a line end")
        << QStringLiteral("007") << QStringLiteral("Sportello 1") << QStringLiteral("Anagrafe")
        << QByteArray("007#Sportello 1#Anagrafe");
    QTest::newRow("an accented letter is one byte")
        << QStringLiteral("041") << QStringLiteral("S1") << QStringLiteral("Identità")
        << QByteArray("041#S1#Identit\xE0");
    QTest::newRow("a hash inside a name goes out unchanged")
        << QStringLiteral("1000") << QStringLiteral("A#B") << QStringLiteral("C")
        << QByteArray("1000#A#B#C");
}

void TestServerLink::callMessageIsOneWindows1252Payload()
{
    QFETCH(QString, number);
    QFETCH(QString, desk);
    QFETCH(QString, service);
    QFETCH(QByteArray, bytes);
    QCOMPARE(callMessage(number, desk, service), bytes);
}

void TestServerLink::socketErrorsCarryTheirWindowsNumbers_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("windowsNumber");
    QTest::newRow("a refusal is 10054") << int(ECONNREFUSED) << 10054;
    QTest::newRow("an address not available is 10049") << int(EADDRNOTAVAIL) << 10049;
    QTest::newRow("an unreachable network is 10051") << int(ENETUNREACH) << 10051;
    QTest::newRow("an unreachable host is 10065") << int(EHOSTUNREACH) << 10065;
}

void TestServerLink::socketErrorsCarryTheirWindowsNumbers()
{
    QFETCH(int, error);
    QFETCH(int, windowsNumber);
    QCOMPARE(windowsSocketsError(error), windowsNumber);
}

void TestServerLink::announcementArrivesAsOneDatagram()
{
    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::LocalHost, 0));
    ServerLink link;
    QSignalSpy refused(&link, &ServerLink::refused);
    link.setDestination(QStringLiteral("127.0.0.1"), listener.localPort());
    QVERIFY(!link.isOpen());
    const QByteArray payload("007#Sportello 1#Anagrafe");
    const Result<void> sent = link.announce(payload);
    QVERIFY2(sent.ok(), qPrintable(sent.ok() ? QString() : sent.error().message));
    QVERIFY(link.isOpen());
    QCOMPARE(receiveOne(listener), payload);
    QTest::qWait(50);
    QCOMPARE(refused.count(), 0);
}

void TestServerLink::twoCallsGiveTwoDatagrams()
{
    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::LocalHost, 0));
    ServerLink link;
    link.setDestination(QStringLiteral("127.0.0.1"), listener.localPort());
    QVERIFY(link.announce("001#A#B").ok());
    QVERIFY(link.announce("002#A#B").ok());
    QCOMPARE(receiveOne(listener), QByteArray("001#A#B"));
    QCOMPARE(receiveOne(listener), QByteArray("002#A#B"));
}

void TestServerLink::refusalIsReportedAndNextAnnouncementStillArrives()
{
    const quint16 port = closedPort();
    QVERIFY(port != 0);
    ServerLink link;
    QSignalSpy refused(&link, &ServerLink::refused);
    QSignalSpy otherErrors(&link, &ServerLink::socketError);
    link.setDestination(QStringLiteral("127.0.0.1"), port);
    QVERIFY(link.announce("041#S1#Anagrafe").ok());
    // The refusal comes back and stays pending on the socket while the event
    // loop does not run: exactly the state that would drop the next send.
    QThread::msleep(100);

    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::LocalHost, port));
    const Result<void> second = link.announce("042#S1#Anagrafe");
    QVERIFY2(second.ok(), qPrintable(second.ok() ? QString() : second.error().message));
    QCOMPARE(receiveOne(listener), QByteArray("042#S1#Anagrafe"));
    QTRY_COMPARE(refused.count(), 1);
    QCOMPARE(otherErrors.count(), 0);
}

void TestServerLink::unusableDestinationIsRefusedBeforeSending_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<qint32>("port");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("messageHolds");
    QTest::newRow("port zero is refused") << QStringLiteral("127.0.0.1") << 0
                                          << int(ErrorKind::InvalidValue) << QStringLiteral("Porta");
    QTest::newRow("a port above 65535 is refused") << QStringLiteral("127.0.0.1") << 70000
                                                   << int(ErrorKind::InvalidValue) << QStringLiteral("70000");
    QTest::newRow("a negative port is refused") << QStringLiteral("127.0.0.1") << -5
                                                << int(ErrorKind::InvalidValue) << QStringLiteral("Porta");
    QTest::newRow("a name that cannot resolve is refused with the name")
        << QStringLiteral("nome server.invalid") << 5000 << int(ErrorKind::Network)
        << QStringLiteral("nome server.invalid");
    QTest::newRow("an empty address is refused") << QString() << 5000 << int(ErrorKind::Network)
                                                 << QStringLiteral("Indirizzo del Server");
}

void TestServerLink::unusableDestinationIsRefusedBeforeSending()
{
    QFETCH(QString, host);
    QFETCH(qint32, port);
    QFETCH(int, kind);
    QFETCH(QString, messageHolds);
    ServerLink link;
    link.setDestination(host, port);
    const Result<void> sent = link.announce("001#A#B");
    QVERIFY(!sent.ok());
    QCOMPARE(int(sent.error().kind), kind);
    QVERIFY2(sent.error().message.contains(messageHolds), qPrintable(sent.error().message));
    QVERIFY(!link.isOpen());
}

void TestServerLink::hostNameIsResolvedAtTheCall()
{
    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::LocalHost, 0));
    ServerLink link;
    link.setDestination(QStringLiteral("localhost"), listener.localPort());
    const Result<void> sent = link.announce("003#A#B");
    QVERIFY2(sent.ok(), qPrintable(sent.ok() ? QString() : sent.error().message));
    QCOMPARE(receiveOne(listener), QByteArray("003#A#B"));
}

void TestServerLink::incomingDatagramsAreReadAndDropped()
{
    QUdpSocket server;
    QVERIFY(server.bind(QHostAddress::LocalHost, 0));
    ServerLink link;
    QSignalSpy refused(&link, &ServerLink::refused);
    QSignalSpy otherErrors(&link, &ServerLink::socketError);
    link.setDestination(QStringLiteral("127.0.0.1"), server.localPort());
    QVERIFY(link.announce("001#A#B").ok());
    QVERIFY(server.waitForReadyRead(2000));
    const QNetworkDatagram got = server.receiveDatagram();
    server.writeDatagram("risposta", got.senderAddress(), quint16(got.senderPort()));
    QTest::qWait(100);
    QVERIFY(link.announce("002#A#B").ok());
    QCOMPARE(receiveOne(server), QByteArray("002#A#B"));
    QCOMPARE(refused.count(), 0);
    QCOMPARE(otherErrors.count(), 0);
}

QTEST_GUILESS_MAIN(TestServerLink)
#include "tst_serverlink.moc"

#include "console/ServerLink.h"

#include "CallArchive.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <cerrno>

using namespace tq3;

class TestServerLink final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void socketErrorsCarryTheirWindowsNumbers();
    void announcementsArrive_data();
    void announcementsArrive();
    void refusalIsReportedAndNextAnnouncementStillArrives();
    void unusableDestinationIsRefusedBeforeSending_data();
    void unusableDestinationIsRefusedBeforeSending();
};

void TestServerLink::socketErrorsCarryTheirWindowsNumbers()
{
    QCOMPARE(windowsSocketsError(ECONNREFUSED), 10054);
    QCOMPARE(windowsSocketsError(EADDRNOTAVAIL), 10049);
}

void TestServerLink::announcementsArrive_data()
{
    QTest::addColumn<QString>("host");
    QTest::newRow("to a dotted address") << QStringLiteral("127.0.0.1");
    QTest::newRow("to a host name resolved at the call") << QStringLiteral("localhost");
}

// Each announcement is one datagram, and a reply from the server is read and
// dropped without disturbing the next one.
void TestServerLink::announcementsArrive()
{
    QFETCH(QString, host);
    QUdpSocket server;
    QVERIFY(server.bind(QHostAddress::LocalHost, 0));
    ServerLink link;
    QSignalSpy refused(&link, &ServerLink::refused);
    QSignalSpy otherErrors(&link, &ServerLink::socketError);
    link.setDestination(host, server.localPort());
    QVERIFY(link.announce("001#A#B").ok());
    QVERIFY(server.waitForReadyRead(2000));
    const QNetworkDatagram first = server.receiveDatagram();
    QCOMPARE(first.data(), QByteArray("001#A#B"));
    server.writeDatagram("risposta", first.senderAddress(), quint16(first.senderPort()));
    QTest::qWait(50);
    QVERIFY(link.announce("002#A#B").ok());
    QVERIFY(server.waitForReadyRead(2000));
    QCOMPARE(server.receiveDatagram().data(), QByteArray("002#A#B"));
    QVERIFY(!server.hasPendingDatagrams());
    QCOMPARE(refused.count() + otherErrors.count(), 0);
}

void TestServerLink::refusalIsReportedAndNextAnnouncementStillArrives()
{
    quint16 port = 0;
    {
        QUdpSocket probe;  // a free port nothing listens on any more
        QVERIFY(probe.bind(QHostAddress::LocalHost, 0));
        port = probe.localPort();
    }
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
    QVERIFY(link.announce("042#S1#Anagrafe").ok());
    QVERIFY(listener.waitForReadyRead(2000));
    QCOMPARE(listener.receiveDatagram().data(), QByteArray("042#S1#Anagrafe"));
    QTRY_COMPARE(refused.count(), 1);
    QCOMPARE(otherErrors.count(), 0);
}

void TestServerLink::unusableDestinationIsRefusedBeforeSending_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<qint32>("port");
    QTest::addColumn<ErrorKind>("kind");
    QTest::addColumn<QString>("message");
    const QString local = QStringLiteral("127.0.0.1");
    QTest::newRow("port zero") << local << 0 << ErrorKind::InvalidValue << QStringLiteral("Porta del Server non valida (0) !");
    QTest::newRow("a port above 65535") << local << 70000 << ErrorKind::InvalidValue
                                        << QStringLiteral("Porta del Server non valida (70000) !");
    QTest::newRow("a name that does not resolve") << QStringLiteral("nome server.invalid") << 5000 << ErrorKind::Network
        << QStringLiteral("Indirizzo del Server non trovato: nome server.invalid ! Controllare impostazioni !");
    QTest::newRow("an empty address") << QString() << 5000 << ErrorKind::Network
                                      << QStringLiteral("Indirizzo del Server non trovato:  ! Controllare impostazioni !");
}

void TestServerLink::unusableDestinationIsRefusedBeforeSending()
{
    QFETCH(QString, host);
    QFETCH(qint32, port);
    QFETCH(ErrorKind, kind);
    QFETCH(QString, message);
    ServerLink link;
    link.setDestination(host, port);
    const Result<void> sent = link.announce("001#A#B");
    QVERIFY(!sent.ok());
    QCOMPARE(sent.error().kind, kind);
    QCOMPARE(sent.error().message, message);
    QVERIFY(!link.isOpen());
}

QTEST_GUILESS_MAIN(TestServerLink)
#include "tst_serverlink.moc"

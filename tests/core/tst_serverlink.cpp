#include "core/calls/ServerLink.h"

#include "CallArchive.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

using namespace tq3;
using namespace Qt::StringLiterals;

class TestServerLink final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aRefusalOrAReplyNeverDropsTheNextAnnouncement();
    void unusableDestinationIsRefusedBeforeSending_data();
    void unusableDestinationIsRefusedBeforeSending();
};

// Each announcement is one datagram to the host name resolved at the call.
// A refusal is reported; it and a reply from the server are read and
// dropped without disturbing the next announcement.
void TestServerLink::aRefusalOrAReplyNeverDropsTheNextAnnouncement()
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
    link.setDestination(u"localhost"_s, port);
    QVERIFY(link.announce("041#S1#Anagrafe").ok());
    // The refusal comes back and stays pending on the socket while the event
    // loop does not run: exactly the state that would drop the next send.
    QThread::msleep(100);

    QUdpSocket server;
    QVERIFY(server.bind(QHostAddress::LocalHost, port));
    QVERIFY(link.announce("042#S1#Anagrafe").ok());
    QVERIFY(server.waitForReadyRead(2000));
    const QNetworkDatagram first = server.receiveDatagram();
    QCOMPARE(first.data(), QByteArray("042#S1#Anagrafe"));
    QTRY_COMPARE(refused.count(), 1);
    server.writeDatagram("risposta", first.senderAddress(), quint16(first.senderPort()));
    QTest::qWait(50);
    QVERIFY(link.announce("043#S1#Anagrafe").ok());
    QVERIFY(server.waitForReadyRead(2000));
    QCOMPARE(server.receiveDatagram().data(), QByteArray("043#S1#Anagrafe"));
    QVERIFY(!server.hasPendingDatagrams());
    QCOMPARE(refused.count(), 1);
    QCOMPARE(otherErrors.count(), 0);
}

void TestServerLink::unusableDestinationIsRefusedBeforeSending_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<qint32>("port");
    QTest::addColumn<QString>("message");
    const QString local = u"127.0.0.1"_s;
    QTest::newRow("port zero") << local << 0 << u"Porta del Server non valida (0) !"_s;
    QTest::newRow("a port above 65535") << local << 70000 << u"Porta del Server non valida (70000) !"_s;
    QTest::newRow("a name that does not resolve") << u"nome server.invalid"_s << 5000
        << u"Indirizzo del Server non trovato: nome server.invalid ! Controllare impostazioni !"_s;
}

void TestServerLink::unusableDestinationIsRefusedBeforeSending()
{
    QFETCH(QString, host);
    QFETCH(qint32, port);
    QFETCH(QString, message);
    ServerLink link;
    link.setDestination(host, port);
    const Result<void> sent = link.announce("001#A#B");
    QCOMPARE(sent ? QString() : sent.error().message, message);
    QVERIFY(!link.isOpen());
}

QTEST_GUILESS_MAIN(TestServerLink)
#include "tst_serverlink.moc"

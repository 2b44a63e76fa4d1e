// The link that sends each call to the server module. A port or a server
// name it cannot use is tst_badinput's, a refusal through the console tst_form1's.

#include "core/calls/ServerLink.h"
#include "platform/DatagramSocket.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QUdpSocket>

#include <cerrno>

using namespace tq3;
using namespace Qt::StringLiterals;

class TestServerLink final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aRefusalOrAReplyNeverDropsTheNextAnnouncement_data()
    {
        QTest::addColumn<bool>("atTheSend");
        QTest::newRow("a refusal still pending from an earlier datagram") << false;
        QTest::newRow("a refusal arriving between the check and the send") << true;
    }

    // Each announcement is one datagram to the host name resolved at the call.
    // A refusal is reported; it and a reply from the server are read and
    // dropped without disturbing the next announcement.
    void aRefusalOrAReplyNeverDropsTheNextAnnouncement()
    {
        QFETCH(bool, atTheSend);
        QUdpSocket server;
        QVERIFY(server.bind(QHostAddress::LocalHost, 0));
        const quint16 port = server.localPort();
        ServerLink link;
        QSignalSpy refused(&link, &ServerLink::refused);
        QSignalSpy otherErrors(&link, &ServerLink::socketError);
        link.setDestination(u"localhost"_s, port);
        if (atTheSend) {  // loopback cannot time it: the first send is told of it
            link.setSender([sends = 0](platform::DatagramSocket &socket, std::string_view bytes) mutable {
                return sends++ == 0 ? ECONNREFUSED : socket.send(bytes);
            });
        } else {
            server.close();  // nothing listens there any more
            QVERIFY(link.announce("041#S1#Anagrafe").ok());
            // The refusal comes back and stays pending on the socket while the
            // event loop does not run: exactly the state that would drop the next send.
            QThread::msleep(100);
            QVERIFY(server.bind(QHostAddress::LocalHost, port));
        }
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
};

QTEST_GUILESS_MAIN(TestServerLink)
#include "tst_serverlink.moc"

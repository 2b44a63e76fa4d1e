#include "startup/LocalAddress.h"
#include "startup/ClientEnvironment.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QTest>

using namespace tq3;

Q_DECLARE_METATYPE(QList<tq3::InterfaceView>)

namespace {

InterfaceView nic(const QString &name, QStringList addresses, bool upAndRunning = true,
                  const QString &human = {})
{
    InterfaceView view;
    view.name = name;
    view.humanName = human.isEmpty() ? name : human;
    view.up = upAndRunning;
    view.running = upAndRunning;
    for (const QString &a : addresses)
        view.addresses.append(QHostAddress(a));
    return view;
}

InterfaceView loopback()
{
    InterfaceView view = nic(QStringLiteral("lo"), {QStringLiteral("127.0.0.1"), QStringLiteral("::1")});
    view.loopback = true;
    return view;
}

} // namespace

class TestLocalAddress final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void choosesByAFixedRule_data();
    void choosesByAFixedRule();
    void theOrderTheSystemListsThemInDoesNotMatter();
    void thisMachineGivesADottedIpv4OfItsOwn();
};

void TestLocalAddress::choosesByAFixedRule_data()
{
    QTest::addColumn<QList<InterfaceView>>("interfaces");
    QTest::addColumn<QString>("chosen");

    const QString eth0 = QStringLiteral("eth0");
    QTest::newRow("the one network card's address")
        << QList<InterfaceView>{loopback(), nic(eth0, {QStringLiteral("192.168.1.20"), QStringLiteral("fe80::1")})}
        << QStringLiteral("192.168.1.20");
    QTest::newRow("no network at all gives 127.0.0.1")
        << QList<InterfaceView>{loopback()} << QStringLiteral("127.0.0.1");
    QTest::newRow("nothing listed gives 127.0.0.1") << QList<InterfaceView>{} << QStringLiteral("127.0.0.1");
    QTest::newRow("only IPv6 gives 127.0.0.1")
        << QList<InterfaceView>{nic(eth0, {QStringLiteral("2001:db8::5")})} << QStringLiteral("127.0.0.1");
    QTest::newRow("a card that is down is left out")
        << QList<InterfaceView>{nic(eth0, {QStringLiteral("10.0.0.2")}, false),
                                nic(QStringLiteral("eth1"), {QStringLiteral("192.168.5.5")})}
        << QStringLiteral("192.168.5.5");
    QTest::newRow("the lowest of two cards")
        << QList<InterfaceView>{nic(eth0, {QStringLiteral("192.168.1.20")}),
                                nic(QStringLiteral("eth1"), {QStringLiteral("10.20.0.7")})}
        << QStringLiteral("10.20.0.7");
    QTest::newRow("the lowest of two addresses on one card, by number not by text")
        << QList<InterfaceView>{nic(eth0, {QStringLiteral("10.0.0.100"), QStringLiteral("10.0.0.9")})}
        << QStringLiteral("10.0.0.9");
    QTest::newRow("container and VPN adapters are left out")
        << QList<InterfaceView>{nic(QStringLiteral("docker0"), {QStringLiteral("172.17.0.1")}),
                                nic(QStringLiteral("tun0"), {QStringLiteral("10.8.0.2")}),
                                nic(eth0, {QStringLiteral("192.168.1.20")})}
        << QStringLiteral("192.168.1.20");
    QTest::newRow("virtual machine adapters named by Windows are left out")
        << QList<InterfaceView>{nic(QStringLiteral("ethernet_1"), {QStringLiteral("172.20.0.1")}, true,
                                    QStringLiteral("vEthernet (WSL)")),
                                nic(QStringLiteral("ethernet_2"), {QStringLiteral("192.168.56.1")}, true,
                                    QStringLiteral("VirtualBox Host-Only Network")),
                                nic(QStringLiteral("ethernet_3"), {QStringLiteral("192.168.10.30")}, true,
                                    QStringLiteral("Ethernet"))}
        << QStringLiteral("192.168.10.30");
    QTest::newRow("a self-assigned address only when there is nothing else")
        << QList<InterfaceView>{nic(eth0, {QStringLiteral("169.254.3.4")}),
                                nic(QStringLiteral("eth1"), {QStringLiteral("192.168.0.8")})}
        << QStringLiteral("192.168.0.8");
    QTest::newRow("a self-assigned address rather than none")
        << QList<InterfaceView>{loopback(), nic(eth0, {QStringLiteral("169.254.3.4")})}
        << QStringLiteral("169.254.3.4");
}

void TestLocalAddress::choosesByAFixedRule()
{
    QFETCH(QList<InterfaceView>, interfaces);
    QFETCH(QString, chosen);
    QCOMPARE(chooseLocalIpv4(interfaces), chosen);
}

void TestLocalAddress::theOrderTheSystemListsThemInDoesNotMatter()
{
    QList<InterfaceView> interfaces{nic(QStringLiteral("eth1"), {QStringLiteral("192.168.1.20")}),
                                    nic(QStringLiteral("eth0"), {QStringLiteral("192.168.1.3")}), loopback()};
    const QString chosen = chooseLocalIpv4(interfaces);
    std::reverse(interfaces.begin(), interfaces.end());
    QCOMPARE(chooseLocalIpv4(interfaces), chosen);
    QCOMPARE(chosen, QStringLiteral("192.168.1.3"));
}

void TestLocalAddress::thisMachineGivesADottedIpv4OfItsOwn()
{
    const QString address = localIpv4Address();
    QHostAddress parsed;
    QVERIFY(parsed.setAddress(address));
    QCOMPARE(parsed.protocol(), QAbstractSocket::IPv4Protocol);
    QCOMPARE(parsed.toString(), address);  // dotted, as stored in the database
    QVERIFY(address == QStringLiteral("127.0.0.1") || QNetworkInterface::allAddresses().contains(parsed));
    QCOMPARE(localIpv4Address(), address);  // the same on every call
}

QTEST_GUILESS_MAIN(TestLocalAddress)
#include "tst_localaddress.moc"

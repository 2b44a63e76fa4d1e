// What a desk works out at start-up: its own address, and the server's port
// from the archive. The start-up paths run through the real launcher (tst_lamain).

#include "core/startup/LocalAddress.h"
#include "core/startup/StartupSequence.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QTest>

#include <initializer_list>

using namespace tq3;

Q_DECLARE_METATYPE(QList<tq3::InterfaceView>)

namespace {

InterfaceView nic(const char *name, std::initializer_list<const char *> addresses, bool upAndRunning = true,
                  const char *humanName = nullptr)
{
    InterfaceView view;
    view.name = QString::fromLatin1(name);
    view.humanName = QString::fromLatin1(humanName ? humanName : name);
    view.up = upAndRunning;
    view.running = upAndRunning;
    for (const char *address : addresses)
        view.addresses.append(QHostAddress(QString::fromLatin1(address)));
    return view;
}

InterfaceView loopback()
{
    InterfaceView view = nic("lo", {"127.0.0.1", "::1"});
    view.loopback = true;
    return view;
}

} // namespace

class TestStartup final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void choosesByAFixedRule_data();
    void choosesByAFixedRule();
    void thisMachineGivesADottedIpv4OfItsOwn();
    void portNumbersComeInAnyFormTheArchiveHolds_data();
    void portNumbersComeInAnyFormTheArchiveHolds();
};

void TestStartup::choosesByAFixedRule_data()
{
    QTest::addColumn<QList<InterfaceView>>("interfaces");
    QTest::addColumn<QString>("chosen");
    auto row = [](const char *name, const QList<InterfaceView> &interfaces, const char *chosen) {
        QTest::newRow(name) << interfaces << QString::fromLatin1(chosen);
    };
    row("the one network card's address", {loopback(), nic("eth0", {"192.168.1.20", "fe80::1"})}, "192.168.1.20");
    row("only IPv6 gives 127.0.0.1", {loopback(), nic("eth0", {"2001:db8::5"})}, "127.0.0.1");
    row("a card that is down is left out", {nic("eth0", {"10.0.0.2"}, false), nic("eth1", {"192.168.5.5"})},
        "192.168.5.5");
    row("the lowest of two cards, whatever their names", {nic("eth0", {"192.168.1.20"}), nic("eth1", {"10.20.0.7"})},
        "10.20.0.7");
    row("the lowest of two addresses on one card, by number not by text", {nic("eth0", {"10.0.0.100", "10.0.0.9"})},
        "10.0.0.9");
    row("container and VPN adapters are left out",
        {nic("docker0", {"172.17.0.1"}), nic("tun0", {"10.8.0.2"}), nic("eth0", {"192.168.1.20"})}, "192.168.1.20");
    row("virtual machine adapters named by Windows are left out",
        {nic("ethernet_1", {"172.20.0.1"}, true, "vEthernet (WSL)"),
         nic("ethernet_2", {"192.168.56.1"}, true, "VirtualBox Host-Only Network"),
         nic("ethernet_3", {"192.168.10.30"}, true, "Ethernet")},
        "192.168.10.30");
    row("a self-assigned address only when there is nothing else",
        {nic("eth0", {"169.254.3.4"}), nic("eth1", {"192.168.0.8"})}, "192.168.0.8");
    row("a self-assigned address rather than none", {loopback(), nic("eth0", {"169.254.3.4"})}, "169.254.3.4");
}

void TestStartup::choosesByAFixedRule()
{
    QFETCH(QList<InterfaceView>, interfaces);
    QFETCH(QString, chosen);
    QCOMPARE(chooseLocalIpv4(interfaces), chosen);
    // The order the system lists them in does not matter.
    std::reverse(interfaces.begin(), interfaces.end());
    QCOMPARE(chooseLocalIpv4(interfaces), chosen);
}

void TestStartup::thisMachineGivesADottedIpv4OfItsOwn()
{
    const QString address = localIpv4Address();
    const QHostAddress parsed(address);
    QCOMPARE(parsed.protocol(), QAbstractSocket::IPv4Protocol);
    QCOMPARE(parsed.toString(), address);  // dotted, as stored in the database
    QVERIFY(address == QStringLiteral("127.0.0.1") || QNetworkInterface::allAddresses().contains(parsed));
    QCOMPARE(localIpv4Address(), address);  // the same on every call
}

void TestStartup::portNumbersComeInAnyFormTheArchiveHolds_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("expected");  // -1: none
    QTest::newRow("an integer is the port") << QVariant(qint64(4000)) << 4000;
    QTest::newRow("text of digits is the port") << QVariant(QStringLiteral("4000")) << 4000;
    QTest::newRow("text with blanks around is the port") << QVariant(QStringLiteral(" 4000 ")) << 4000;
    QTest::newRow("a whole real is the port") << QVariant(4000.0) << 4000;
    QTest::newRow("a fraction is none") << QVariant(4000.5) << -1;
    QTest::newRow("null is none") << QVariant() << -1;
    QTest::newRow("letters are none") << QVariant(QStringLiteral("abc")) << -1;
    QTest::newRow("more than 32 bits is none") << QVariant(qint64(5000000000)) << -1;
}

void TestStartup::portNumbersComeInAnyFormTheArchiveHolds()
{
    QFETCH(QVariant, value);
    QFETCH(int, expected);
    QCOMPARE(portNumber(value), expected < 0 ? std::nullopt : std::optional<qint32>(expected));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"

// The address a desk gives itself: one fixed rule over the machine's network
// cards, whatever order the system lists them in.

#include "core/startup/LocalAddress.h"

#include <QTest>

#include <algorithm>

using namespace tq3;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(QList<tq3::InterfaceView>)

namespace {

InterfaceView nic(const char *name, std::initializer_list<const char *> addresses, bool up = true,
                  const char *humanName = nullptr)
{
    InterfaceView view;
    view.name = QString::fromLatin1(name);
    view.humanName = QString::fromLatin1(humanName ? humanName : name);
    view.up = view.running = up;
    view.loopback = view.name == QLatin1String("lo");
    for (const char *address : addresses)
        view.addresses.append(QHostAddress(QString::fromLatin1(address)));
    return view;
}

} // namespace

class TestStartup final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theDeskAddressFollowsAFixedRule_data()
    {
        QTest::addColumn<QList<InterfaceView>>("interfaces");
        QTest::addColumn<QString>("chosen");
        const InterfaceView lo = nic("lo", {"127.0.0.1", "::1"});
        QTest::newRow("the one network card's address") << QList{lo, nic("eth0", {"192.168.1.20", "fe80::1"})} << u"192.168.1.20"_s;
        QTest::newRow("only IPv6 gives 127.0.0.1") << QList{lo, nic("eth0", {"2001:db8::5"})} << u"127.0.0.1"_s;
        QTest::newRow("a card that is down is left out")
            << QList{nic("eth0", {"10.0.0.2"}, false), nic("eth1", {"192.168.5.5"})} << u"192.168.5.5"_s;
        QTest::newRow("the lowest address by number, not by text")
            << QList{nic("eth0", {"192.168.1.20", "10.0.0.100"}), nic("eth1", {"10.0.0.9"})} << u"10.0.0.9"_s;
        QTest::newRow("container, VPN and Windows virtual adapters are left out")
            << QList{nic("docker0", {"172.17.0.1"}), nic("tun0", {"10.8.0.2"}),
                     nic("ethernet_1", {"172.20.0.1"}, true, "vEthernet (WSL)"), nic("eth0", {"192.168.1.20"})}
            << u"192.168.1.20"_s;
        QTest::newRow("a self-assigned address only when there is nothing else")
            << QList{nic("eth0", {"169.254.3.4"}), nic("eth1", {"192.168.0.8"})} << u"192.168.0.8"_s;
        QTest::newRow("a self-assigned address rather than none") << QList{lo, nic("eth0", {"169.254.3.4"})} << u"169.254.3.4"_s;
    }

    void theDeskAddressFollowsAFixedRule()
    {
        QFETCH(QList<InterfaceView>, interfaces);
        QFETCH(QString, chosen);
        QCOMPARE(chooseLocalIpv4(interfaces), chosen);
        std::reverse(interfaces.begin(), interfaces.end());
        QCOMPARE(chooseLocalIpv4(interfaces), chosen);
    }
};

QTEST_APPLESS_MAIN(TestStartup)
#include "tst_startup.moc"

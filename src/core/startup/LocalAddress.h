#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

namespace tq3 {

// One network interface as the address rule sees it.
struct InterfaceView final {
    QString name;           // system name: "eth0", "{GUID}" ...
    QString humanName;      // "Ethernet", "vEthernet (WSL)" ...
    bool up = false;
    bool running = false;
    bool loopback = false;
    bool virtualType = false;  // the system reports it as a virtual interface
    QList<QHostAddress> addresses;
};

// IpLocale is the desk's key in the queue database, so the same PC must give
// the same address on every run. The rule:
// 1. only interfaces that are up, running, not loopback, not reported as
//    virtual, and whose name does not mark a virtual adapter (VPN tunnels,
//    container bridges, virtual machine networks: see isVirtualLooking);
// 2. only their IPv4 addresses, leaving out loopback (127/8) and
//    self-assigned link-local addresses (169.254/16), which a PC takes when
//    its network is not answering and which change from run to run;
// 3. of those, the numerically lowest address.
// When none is left, the self-assigned ones are tried by the same rule, and
// when there is still none, "127.0.0.1".
QString chooseLocalIpv4(const QList<InterfaceView> &interfaces);

bool isVirtualLooking(const InterfaceView &interface);

// This PC's interfaces, from the system.
QList<InterfaceView> systemInterfaces();

// IpLocale: the rule applied to this PC's interfaces.
QString localIpv4Address();

inline const QString kNoNetworkAddress = QStringLiteral("127.0.0.1");

} // namespace tq3

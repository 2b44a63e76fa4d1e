#include "core/startup/LocalAddress.h"


#include <QNetworkInterface>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace tq3 {

namespace {

bool isLinkLocal(const QHostAddress &address)
{
    return (address.toIPv4Address() >> 16) == 0xA9FE;  // 169.254/16
}

std::optional<quint32> lowest(const QList<InterfaceView> &interfaces, bool linkLocal)
{
    std::optional<quint32> best;
    for (const InterfaceView &interface : interfaces) {
        if (!interface.up || !interface.running || interface.loopback || interface.virtualType
            || isVirtualLooking(interface))
            continue;
        for (const QHostAddress &address : interface.addresses) {
            if (address.protocol() != QAbstractSocket::IPv4Protocol || address.isLoopback()
                || isLinkLocal(address) != linkLocal)
                continue;
            const quint32 value = address.toIPv4Address();
            if (value == 0)
                continue;
            if (!best || value < *best)
                best = value;
        }
    }
    return best;
}

} // namespace

bool isVirtualLooking(const InterfaceView &interface)
{
    static const QStringList prefixes = {
        QStringLiteral("docker"), QStringLiteral("veth"),    QStringLiteral("br-"),
        QStringLiteral("virbr"),  QStringLiteral("vmnet"),   QStringLiteral("vboxnet"),
        QStringLiteral("tun"),    QStringLiteral("tap"),     QStringLiteral("wg"),
        QStringLiteral("zt"),     QStringLiteral("lxc"),     QStringLiteral("lxd"),
        QStringLiteral("cni"),    QStringLiteral("flannel"), QStringLiteral("tailscale"),
        QStringLiteral("ppp"),
    };
    static const QStringList words = {
        QStringLiteral("virtual"), QStringLiteral("vmware"),   QStringLiteral("virtualbox"),
        QStringLiteral("hyper-v"), QStringLiteral("vethernet"), QStringLiteral("vpn"),
        QStringLiteral("tap-"),    QStringLiteral("wintun"),   QStringLiteral("wireguard"),
        QStringLiteral("loopback"),
    };
    const QString name = interface.name.toLower();
    for (const QString &prefix : prefixes) {
        if (name.startsWith(prefix))
            return true;
    }
    const QString human = interface.humanName.toLower();
    for (const QString &word : words) {
        if (human.contains(word))
            return true;
    }
    return false;
}

QString chooseLocalIpv4(const QList<InterfaceView> &interfaces)
{
    std::optional<quint32> chosen = lowest(interfaces, false);
    if (!chosen)
        chosen = lowest(interfaces, true);
    return chosen ? QHostAddress(*chosen).toString() : kNoNetworkAddress;
}

QList<InterfaceView> systemInterfaces()
{
    QList<InterfaceView> views;
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : all) {
        InterfaceView view;
        view.name = interface.name();
        view.humanName = interface.humanReadableName();
        const QNetworkInterface::InterfaceFlags flags = interface.flags();
        view.up = flags.testFlag(QNetworkInterface::IsUp);
        view.running = flags.testFlag(QNetworkInterface::IsRunning);
        view.loopback = flags.testFlag(QNetworkInterface::IsLoopBack)
            || interface.type() == QNetworkInterface::Loopback;
        view.virtualType = interface.type() == QNetworkInterface::Virtual;
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries)
            view.addresses.append(entry.ip());
        views.append(std::move(view));
    }
    return views;
}

QString localIpv4Address()
{
    return chooseLocalIpv4(systemInterfaces());
}

} // namespace tq3

#include "core/calls/ServerLink.h"

#include "core/store/Text1252.h"
#include "platform/DatagramSocket.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QMetaObject>
#include <QSocketNotifier>

#include <array>

namespace tq3 {

QString formatCallNumber(qint32 number)
{
    if (number < 0)
        return QLatin1Char('-') + QString::number(-static_cast<qint64>(number)).rightJustified(3, QLatin1Char('0'));
    return QString::number(number).rightJustified(3, QLatin1Char('0'));
}

QByteArray callMessage(const QString &numberText, const QString &desk, const QString &service)
{
    return cp1252::encodeLossy(numberText + QLatin1Char('#') + desk + QLatin1Char('#') + service);
}

namespace {

using platform::isRefusal;
using platform::windowsSocketsError;

QString describe(int error)
{
    return qt_error_string(error);
}

// 0, or the system's error number.
int openSocket(platform::DatagramSocket &socket, const QHostAddress &address, quint16 port)
{
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        return socket.open(std::span(bytes.c), port);
    }
    const quint32 host = address.toIPv4Address();
    const std::array<std::uint8_t, 4> bytes{std::uint8_t(host >> 24), std::uint8_t(host >> 16), std::uint8_t(host >> 8),
                                            std::uint8_t(host)};
    return socket.open(bytes, port);
}

} // namespace

// The platform's own socket: Qt's UDP socket cannot be used here. On Linux
// it peeks at the socket whenever it becomes readable and so swallows the
// refusal the kernel reports to a connected socket, and on Windows it
// switches the refusal report (SIO_UDP_CONNRESET) off.
struct ServerLink::Impl final {
    QString host;
    qint32 port = 0;
    platform::DatagramSocket socket;
    std::unique_ptr<QSocketNotifier> notifier;
    Sender send = [](platform::DatagramSocket &to, std::string_view bytes) { return to.send(bytes); };
};

ServerLink::ServerLink(QObject *parent)
    : QObject(parent)
    , m_impl(std::make_unique<Impl>())
{
}

ServerLink::~ServerLink()
{
    close();
}

void ServerLink::setDestination(const QString &host, qint32 port)
{
    close();
    m_impl->host = host;
    m_impl->port = port;
}

void ServerLink::close()
{
    m_impl->notifier.reset();
    m_impl->socket.close();
}

void ServerLink::setSender(Sender sender)
{
    m_impl->send = std::move(sender);
}

bool ServerLink::isOpen() const
{
    return m_impl->socket.isOpen();
}

Result<void> ServerLink::prepare()
{
    if (isOpen())
        return {};
    if (m_impl->port < 1 || m_impl->port > 65535) {
        return makeError(ErrorKind::InvalidValue,
                         QStringLiteral("Porta del Server non valida (%1) !").arg(m_impl->port),
                         QStringLiteral("port outside 1..65535"));
    }
    const QString host = m_impl->host.trimmed();
    QHostAddress address;
    if (!address.setAddress(host)) {
        // A host name is resolved at each opening, so a changed address
        // of the server module is found without restarting the desk.
        const QHostInfo info = host.isEmpty() ? QHostInfo() : QHostInfo::fromName(host);
        address.clear();
        for (const QHostAddress &candidate : info.addresses()) {
            if (candidate.protocol() == QAbstractSocket::IPv4Protocol) {
                address = candidate;
                break;
            }
        }
        if (address.isNull() && !info.addresses().isEmpty())
            address = info.addresses().constFirst();
        if (address.isNull()) {
            return makeError(ErrorKind::Network,
                             QStringLiteral("Indirizzo del Server non trovato: %1 ! Controllare impostazioni !")
                                 .arg(host),
                             info.errorString());
        }
    }
    if (const int error = openSocket(m_impl->socket, address, quint16(m_impl->port)); error != 0) {
        return makeError(ErrorKind::Network,
                         QStringLiteral("Collegamento al Server non riuscito (errore %1) !")
                             .arg(windowsSocketsError(error)),
                         describe(error));
    }
    m_impl->notifier = std::make_unique<QSocketNotifier>(qintptr(m_impl->socket.handle()), QSocketNotifier::Read);
    connect(m_impl->notifier.get(), &QSocketNotifier::activated, this, &ServerLink::onReadable);
    return {};
}

Result<void> ServerLink::announce(const QByteArray &payload)
{
    if (Result<void> opened = prepare(); !opened)
        return opened;

    // A refusal still pending from an earlier datagram would make this send
    // fail and drop the announcement: collect it first.
    if (const int pending = m_impl->socket.takePendingError(); pending != 0)
        reportPendingError(pending);

    const std::string_view bytes(payload.constData(), static_cast<std::size_t>(payload.size()));
    int error = m_impl->send(m_impl->socket, bytes);
    if (isRefusal(error)) {
        // The refusal arrived between the check and the send.
        reportPendingError(error);
        error = m_impl->send(m_impl->socket, bytes);
    }
    if (error != 0 && !isRefusal(error)) {
        // A connected socket keeps the local address it had when it was
        // opened: after this PC's address changed, only a new socket sends.
        close();
        if (Result<void> reopened = prepare(); reopened)
            error = m_impl->send(m_impl->socket, bytes);
    }
    if (error != 0) {
        return makeError(ErrorKind::Network,
                         QStringLiteral("Invio della chiamata al Server non riuscito (errore %1) !")
                             .arg(windowsSocketsError(error)),
                         describe(error));
    }
    return {};
}

void ServerLink::reportPendingError(int error)
{
    // Reported from the event loop, never from inside a call.
    if (isRefusal(error)) {
        QMetaObject::invokeMethod(this, &ServerLink::refused, Qt::QueuedConnection);
        return;
    }
    const int code = windowsSocketsError(error);
    const QString description = describe(error);
    QMetaObject::invokeMethod(
        this, [this, code, description] { Q_EMIT socketError(code, description); }, Qt::QueuedConnection);
}

void ServerLink::onReadable()
{
    if (!isOpen())
        return;
    // Whatever the server module sends is read and dropped; of the read's
    // failures only a refusal means something to the operator.
    if (const int pending = m_impl->socket.takePendingError(); isRefusal(pending))
        reportPendingError(pending);
    for (int i = 0; i < 64 && isOpen(); ++i) {
        const int error = m_impl->socket.discardOne();
        if (error == platform::DatagramSocket::kNoneWaiting)
            break;
        if (isRefusal(error))
            reportPendingError(error);
    }
}

} // namespace tq3

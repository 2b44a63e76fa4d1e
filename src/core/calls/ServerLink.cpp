#include "core/calls/ServerLink.h"

#include "core/store/Text1252.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QMetaObject>
#include <QSocketNotifier>

#ifdef Q_OS_WIN
#  include <winsock2.h>
#  include <ws2tcpip.h>
#else
#  include <arpa/inet.h>
#  include <netinet/in.h>
#  include <sys/socket.h>
#  include <unistd.h>
#  include <cerrno>
#endif

#include <cstring>

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

// The socket itself, behind a seam per platform. Qt's own UDP socket cannot
// be used here: on Linux it peeks at the socket whenever it becomes readable
// and so swallows the refusal the kernel reports to a connected socket, and
// on Windows it switches the refusal report (SIO_UDP_CONNRESET) off.
#ifdef Q_OS_WIN
using NativeHandle = SOCKET;
constexpr NativeHandle kNoSocket = INVALID_SOCKET;
int lastSocketError() { return WSAGetLastError(); }
void closeNative(NativeHandle handle) { ::closesocket(handle); }
constexpr int kRefused = WSAECONNRESET;
constexpr int kRefusedAlso = WSAECONNREFUSED;
constexpr int kWouldBlock = WSAEWOULDBLOCK;
#else
using NativeHandle = int;
constexpr NativeHandle kNoSocket = -1;
int lastSocketError() { return errno; }
void closeNative(NativeHandle handle) { ::close(handle); }
constexpr int kRefused = ECONNREFUSED;
constexpr int kRefusedAlso = ECONNRESET;
constexpr int kWouldBlock = EAGAIN;
#endif

bool isRefusal(int error) { return error == kRefused || error == kRefusedAlso; }

QString describe(int error)
{
    return qt_error_string(error);
}

// Collects (and clears) the error the socket holds from an earlier datagram.
int takePendingError(NativeHandle handle)
{
    int error = 0;
#ifdef Q_OS_WIN
    int length = sizeof error;
    ::getsockopt(handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &length);
#else
    socklen_t length = sizeof error;
    ::getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &length);
#endif
    return error;
}

struct Connected final {
    NativeHandle handle = kNoSocket;
    int error = 0;
};

Connected connectTo(const QHostAddress &address, quint16 port)
{
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = AF_INET;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        family = AF_INET6;
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        length = sizeof(sockaddr_in6);
    } else {
        auto *in4 = reinterpret_cast<sockaddr_in *>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof(sockaddr_in);
    }
#ifdef Q_OS_WIN
    NativeHandle handle = ::socket(family, SOCK_DGRAM, IPPROTO_UDP);
    if (handle == kNoSocket)
        return {kNoSocket, lastSocketError()};
    u_long nonBlocking = 1;
    ::ioctlsocket(handle, FIONBIO, &nonBlocking);
#else
    NativeHandle handle = ::socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (handle == kNoSocket)
        return {kNoSocket, lastSocketError()};
#endif
    if (::connect(handle, reinterpret_cast<const sockaddr *>(&storage), length) != 0) {
        const int error = lastSocketError();
        closeNative(handle);
        return {kNoSocket, error};
    }
    return {handle, 0};
}

// One datagram; the platform's error number when it did not go out.
int sendOnce(NativeHandle handle, const QByteArray &payload)
{
#ifdef Q_OS_WIN
    const int sent = ::send(handle, payload.constData(), int(payload.size()), 0);
#else
    const ssize_t sent = ::send(handle, payload.constData(), size_t(payload.size()), MSG_NOSIGNAL);
#endif
    return sent < 0 ? lastSocketError() : 0;
}

// Reads one waiting datagram and drops it: 0, kWouldBlock when none waits,
// or the error the read reported.
int discardOne(NativeHandle handle)
{
    char buffer[2048];
#ifdef Q_OS_WIN
    const int got = ::recv(handle, buffer, int(sizeof buffer), 0);
    if (got < 0) {
        const int error = lastSocketError();
        return error == WSAEMSGSIZE ? 0 : error;
    }
#else
    const ssize_t got = ::recv(handle, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got < 0)
        return lastSocketError() == EWOULDBLOCK ? kWouldBlock : lastSocketError();
#endif
    return 0;
}

} // namespace

int windowsSocketsError(int error)
{
#ifdef Q_OS_WIN
    return error;
#else
    switch (error) {
    case ECONNREFUSED:
    case ECONNRESET: return 10054;
    case EADDRNOTAVAIL: return 10049;
    case EADDRINUSE: return 10048;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case EMSGSIZE: return 10040;
    case EACCES: return 10013;
    case ENOBUFS: return 10055;
    case ETIMEDOUT: return 10060;
    default: return error;
    }
#endif
}

struct ServerLink::Impl final {
    QString host;
    qint32 port = 0;
    NativeHandle handle = kNoSocket;
    std::unique_ptr<QSocketNotifier> notifier;
};

ServerLink::ServerLink(QObject *parent)
    : QObject(parent)
    , m_impl(std::make_unique<Impl>())
{
#ifdef Q_OS_WIN
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    Q_UNUSED(started);
#endif
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
    if (m_impl->handle != kNoSocket) {
        closeNative(m_impl->handle);
        m_impl->handle = kNoSocket;
    }
}

bool ServerLink::isOpen() const
{
    return m_impl->handle != kNoSocket;
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
    const Connected connected = connectTo(address, quint16(m_impl->port));
    if (connected.handle == kNoSocket) {
        return makeError(ErrorKind::Network,
                         QStringLiteral("Collegamento al Server non riuscito (errore %1) !")
                             .arg(windowsSocketsError(connected.error)),
                         describe(connected.error));
    }
    m_impl->handle = connected.handle;
    m_impl->notifier = std::make_unique<QSocketNotifier>(qintptr(connected.handle), QSocketNotifier::Read);
    connect(m_impl->notifier.get(), &QSocketNotifier::activated, this, &ServerLink::onReadable);
    return {};
}

Result<void> ServerLink::announce(const QByteArray &payload)
{
    if (Result<void> opened = prepare(); !opened)
        return opened;

    // A refusal still pending from an earlier datagram would make this send
    // fail and drop the announcement: collect it first.
    if (const int pending = takePendingError(m_impl->handle); pending != 0)
        reportPendingError(pending);

    int error = sendOnce(m_impl->handle, payload);
    if (isRefusal(error)) {
        // The refusal arrived between the check and the send.
        reportPendingError(error);
        error = sendOnce(m_impl->handle, payload);
    }
    if (error != 0 && !isRefusal(error)) {
        // A connected socket keeps the local address it had when it was
        // opened: after this PC's address changed, only a new socket sends.
        close();
        if (Result<void> reopened = prepare(); reopened)
            error = sendOnce(m_impl->handle, payload);
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
    if (const int pending = takePendingError(m_impl->handle); isRefusal(pending))
        reportPendingError(pending);
    for (int i = 0; i < 64 && isOpen(); ++i) {
        const int error = discardOne(m_impl->handle);
        if (error == kWouldBlock)
            break;
        if (isRefusal(error))
            reportPendingError(error);
    }
}

} // namespace tq3

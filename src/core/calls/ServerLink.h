#pragma once

#include "core/store/Result.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string_view>

namespace tq3 {

namespace platform {
class DatagramSocket;
}

// The "000" pattern: at least three digits, zero-padded on the left.
QString formatCallNumber(qint32 number);

// number#desk#service as one Windows-1252 payload, no terminator; a character
// the code page cannot hold goes out as '?'.
QByteArray callMessage(const QString &numberText, const QString &desk, const QString &service);

// A console's UDP link to the server module: one datagram per call.
class ServerLink final : public QObject {
    Q_OBJECT

public:
    explicit ServerLink(QObject *parent = nullptr);
    ~ServerLink() override;

    // Destination host (dotted address or host name) and port; closes the socket.
    void setDestination(const QString &host, qint32 port);

    // Closes the socket; no effect when it is closed.
    void close();
    bool isOpen() const;

    // Opens the socket when it is closed: resolves the host and connects the
    // socket to it, so that a refusal by the destination is heard. Lets a call
    // find an unusable destination before it changes anything.
    Result<void> prepare();

    // Sends the payload as one datagram, opening the socket when it is closed
    // (a host name is resolved then). A refusal still pending from an earlier
    // datagram never swallows this one. Network error with an operator
    // message when the name does not resolve, the port is unusable or the
    // send fails.
    Result<void> announce(const QByteArray &payload);

    // How a datagram leaves the open socket: 0, or the error number. The
    // socket's own send, unless a test brings about what loopback cannot: a
    // refusal arriving between the check for a pending one and the send.
    using Sender = std::function<int(platform::DatagramSocket &, std::string_view)>;
    void setSender(Sender sender);

Q_SIGNALS:
    // The destination refused an earlier datagram: nothing listens there
    // (Windows Sockets error 10054).
    void refused();
    // Any other error the socket reports by itself, with its Windows Sockets
    // number where one applies (10049: address not available).
    void socketError(int code, const QString &description);

private:
    void onReadable();
    void reportPendingError(int error);

    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace tq3

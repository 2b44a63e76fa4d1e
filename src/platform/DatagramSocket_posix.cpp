#include "platform/DatagramSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tq3::platform {

int DatagramSocket::open(std::span<const std::uint8_t> address, std::uint16_t port)
{
    close();
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.size() == 16) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        std::memcpy(&in6->sin6_addr, address.data(), 16);
        length = sizeof(sockaddr_in6);
    } else if (address.size() == 4) {
        auto *in4 = reinterpret_cast<sockaddr_in *>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        std::memcpy(&in4->sin_addr, address.data(), 4);
        length = sizeof(sockaddr_in);
    } else {
        return EAFNOSUPPORT;
    }
    const int fd = ::socket(storage.ss_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return errno;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&storage), length) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    m_handle = fd;
    return 0;
}

void DatagramSocket::close()
{
    if (isOpen())
        ::close(static_cast<int>(m_handle));
    m_handle = kNone;
}

int DatagramSocket::send(std::string_view bytes)
{
    return ::send(static_cast<int>(m_handle), bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0 ? errno : 0;
}

int DatagramSocket::takePendingError()
{
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(static_cast<int>(m_handle), SOL_SOCKET, SO_ERROR, &error, &length);
    return error;
}

int DatagramSocket::discardOne()
{
    // A longer datagram is cut to the buffer, and dropped all the same.
    char buffer[2048];
    if (::recv(static_cast<int>(m_handle), buffer, sizeof buffer, MSG_DONTWAIT) >= 0)
        return 0;
    return errno == EAGAIN || errno == EWOULDBLOCK ? kNoneWaiting : errno;
}

bool isRefusal(int error)
{
    return error == ECONNREFUSED || error == ECONNRESET;
}

int windowsSocketsError(int error)
{
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
}

} // namespace tq3::platform

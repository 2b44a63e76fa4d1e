#include "platform/DatagramSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>

#include <cstring>

namespace tq3::platform {

namespace {

SOCKET asSocket(std::intptr_t handle)
{
    return static_cast<SOCKET>(handle);
}

bool started()
{
    static const bool done = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return done;
}

} // namespace

int DatagramSocket::open(std::span<const std::uint8_t> address, std::uint16_t port)
{
    close();
    if (!started())
        return WSANOTINITIALISED;
    sockaddr_storage storage{};
    int length = 0;
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
        return WSAEAFNOSUPPORT;
    }
    const SOCKET socket = WSASocketW(storage.ss_family, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0,
                                     WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET)
        return WSAGetLastError();
    // On by default for a socket of our own (Qt switches it off for its
    // own): the refusal is what tells the operator that nothing listens.
    BOOL report = TRUE;
    DWORD unused = 0;
    WSAIoctl(socket, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &unused, nullptr, nullptr);
    u_long nonBlocking = 1;
    if (ioctlsocket(socket, FIONBIO, &nonBlocking) != 0
        || ::connect(socket, reinterpret_cast<const sockaddr *>(&storage), length) != 0) {
        const int error = WSAGetLastError();
        closesocket(socket);
        return error;
    }
    m_handle = static_cast<std::intptr_t>(socket);
    return 0;
}

void DatagramSocket::close()
{
    if (isOpen())
        closesocket(asSocket(m_handle));
    m_handle = kNone;
}

int DatagramSocket::send(std::string_view bytes)
{
    return ::send(asSocket(m_handle), bytes.data(), static_cast<int>(bytes.size()), 0) == SOCKET_ERROR
        ? WSAGetLastError()
        : 0;
}

int DatagramSocket::takePendingError()
{
    int error = 0;
    int length = sizeof error;
    getsockopt(asSocket(m_handle), SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &length);
    return error;
}

int DatagramSocket::discardOne()
{
    char buffer[2048];
    if (::recv(asSocket(m_handle), buffer, sizeof buffer, 0) != SOCKET_ERROR)
        return 0;
    const int error = WSAGetLastError();
    // A longer datagram is cut to the buffer, and dropped all the same.
    if (error == WSAEMSGSIZE)
        return 0;
    return error == WSAEWOULDBLOCK ? kNoneWaiting : error;
}

bool isRefusal(int error)
{
    // Windows names it a reset; Wine, on top of Linux, a refusal.
    return error == WSAECONNRESET || error == WSAECONNREFUSED;
}

int windowsSocketsError(int error)
{
    return error;
}

} // namespace tq3::platform

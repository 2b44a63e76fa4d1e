#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tq3::platform {

// A datagram socket connected to one destination, so that the system reports
// back to it that nothing listens there (a refusal). Error numbers are the
// system's own: errno here, Windows Sockets numbers on Windows.
class DatagramSocket final {
public:
    static constexpr int kNoneWaiting = -1;

    DatagramSocket() = default;
    ~DatagramSocket() { close(); }
    DatagramSocket(const DatagramSocket &) = delete;
    DatagramSocket &operator=(const DatagramSocket &) = delete;

    // A non-blocking socket, not inherited by child processes, connected to
    // `address` (4 bytes for IPv4, 16 for IPv6, in network order) and `port`:
    // 0, or the error number. Closes the socket it had.
    int open(std::span<const std::uint8_t> address, std::uint16_t port);
    bool isOpen() const { return m_handle != kNone; }
    void close();

    // One datagram: 0, or the error number.
    int send(std::string_view bytes);
    // Collects (and so clears) the error the socket holds from an earlier
    // datagram: 0 when there is none.
    int takePendingError();
    // Reads one waiting datagram and drops it: 0, kNoneWaiting, or the error
    // the read reported.
    int discardOne();

    // For a notifier of readability.
    std::intptr_t handle() const { return m_handle; }

private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t m_handle = kNone;
};

// A refusal, however this system names it.
bool isRefusal(int error);

// The Windows Sockets number the messages name (10054 refused, 10049 address
// not available, ...): the error itself on Windows, its counterpart here.
int windowsSocketsError(int error);

} // namespace tq3::platform

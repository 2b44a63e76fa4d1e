#include "platform/InstanceGuard.h"

#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tq3::platform {

InstanceGuard::~InstanceGuard()
{
    if (isClaimed())
        ::close(static_cast<int>(m_handle));
}

bool InstanceGuard::claim(const std::string &name)
{
    if (isClaimed())
        return true;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.size() + 1 > sizeof address.sun_path)
        return false;
    // A leading zero byte puts the name in the abstract namespace: it lives
    // exactly as long as the socket, which the kernel closes with the process.
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    // Not inherited: a child process must not keep the claim alive.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), length) != 0) {
        ::close(fd);  // EADDRINUSE: another process holds the name
        return false;
    }
    m_handle = fd;
    return true;
}

} // namespace tq3::platform

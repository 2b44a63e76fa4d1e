#include "platform/ExclusiveFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tq3::platform {

namespace {

OpenStatus statusOf(int code)
{
    switch (code) {
    case ENOENT:
    case ENOTDIR:
        return OpenStatus::Missing;
    case EAGAIN:
    case EACCES:  // what some systems answer for a lock held elsewhere
        return OpenStatus::Held;
    default:
        return OpenStatus::Failed;
    }
}

int openFile(const std::filesystem::path &path, int flags)
{
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// 0, or the error number.
int readRest(int fd, std::string &bytes)
{
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(bytes.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

bool lockExclusively(int fd)
{
#ifdef F_OFD_SETLK
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;  // the whole file, however long it grows
    lock.l_pid = 0;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
#else
    // flock locks also belong to the open file description.
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
#endif
}

template <class Call>
int retryInterrupted(Call call)
{
    int status = 0;
    do {
        status = call();
    } while (status != 0 && errno == EINTR);
    return status == 0 ? 0 : errno;
}

} // namespace

WholeFile readWholeFile(const std::filesystem::path &path)
{
    WholeFile result;
    const int fd = openFile(path, O_RDONLY);
    if (fd < 0) {
        result.error = errno;
        // Readers share: nothing but a missing file or folder is worth telling apart here.
        result.status = statusOf(result.error) == OpenStatus::Missing ? OpenStatus::Missing : OpenStatus::Failed;
        return result;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode))
        result.error = EISDIR;
    else
        result.error = readRest(fd, result.bytes);
    result.status = result.error == 0 ? OpenStatus::Opened : OpenStatus::Failed;
    ::close(fd);
    return result;
}

OpenStatus ExclusiveFile::tryOpen(const std::filesystem::path &path, bool createIfMissing)
{
    close();
    const int fd = openFile(path, O_RDWR | (createIfMissing ? O_CREAT : 0));
    if (fd < 0) {
        m_error = errno;
        // Permission denied on open is a matter of rights, not of a holder.
        return m_error == EACCES ? OpenStatus::Failed : statusOf(m_error);
    }
    if (!lockExclusively(fd)) {
        m_error = errno;
        ::close(fd);
        return m_error == EWOULDBLOCK || m_error == EAGAIN || m_error == EACCES ? OpenStatus::Held
                                                                               : OpenStatus::Failed;
    }
    m_handle = fd;
    return OpenStatus::Opened;
}

void ExclusiveFile::close()
{
    if (isOpen())
        ::close(static_cast<int>(m_handle));  // releases the lock with the description
    m_handle = kClosed;
}

std::optional<std::string> ExclusiveFile::readAll()
{
    if (!isOpen())
        return std::nullopt;
    std::string bytes;
    if (const int error = readRest(static_cast<int>(m_handle), bytes); error != 0) {
        m_error = error;
        return std::nullopt;
    }
    return bytes;
}

bool ExclusiveFile::writeFromStart(std::string_view bytes)
{
    if (!isOpen())
        return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::pwrite(static_cast<int>(m_handle), bytes.data() + done, bytes.size() - done,
                                         static_cast<off_t>(done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return succeeded(errno);
        done += static_cast<std::size_t>(written);
    }
    return true;
}

bool ExclusiveFile::flushToDisk()
{
    if (!isOpen())
        return false;
    return succeeded(retryInterrupted([this] { return ::fsync(static_cast<int>(m_handle)); }));
}

bool ExclusiveFile::truncate(std::int64_t length)
{
    if (!isOpen())
        return false;
    return succeeded(
        retryInterrupted([&] { return ::ftruncate(static_cast<int>(m_handle), static_cast<off_t>(length)); }));
}

} // namespace tq3::platform

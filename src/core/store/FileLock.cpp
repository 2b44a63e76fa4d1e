#include "core/store/FileLock.h"

#include <QDir>
#include <QFile>

#include <utility>

#ifdef Q_OS_WIN
#include <qt_windows.h>

#include <string>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tq3 {

namespace {

QString systemError(qint64 code)
{
    return QStringLiteral("%1 (%2)").arg(qt_error_string(static_cast<int>(code))).arg(code);
}

constexpr qsizetype kReadChunk = 4096;

} // namespace

#ifdef Q_OS_WIN

namespace {

HANDLE asHandle(qintptr handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

OpenStatus statusOf(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
        return OpenStatus::Missing;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return OpenStatus::Held;
    default:
        return OpenStatus::Failed;
    }
}

std::wstring nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

bool readRest(HANDLE handle, QByteArray &bytes, QString &error)
{
    char buffer[kReadChunk];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(handle, buffer, sizeof buffer, &got, nullptr)) {
            error = systemError(GetLastError());
            return false;
        }
        if (got == 0)
            return true;
        bytes.append(buffer, static_cast<qsizetype>(got));
    }
}

bool seekToStart(HANDLE handle, QString &error)
{
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(handle, zero, nullptr, FILE_BEGIN)) {
        error = systemError(GetLastError());
        return false;
    }
    return true;
}

} // namespace

WholeFile readWholeFile(const QString &path)
{
    WholeFile result;
    const HANDLE handle = CreateFileW(nativePath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        result.status = statusOf(code);
        result.detail = systemError(code);
        return result;
    }
    result.status = readRest(handle, result.bytes, result.detail) ? OpenStatus::Opened : OpenStatus::Failed;
    CloseHandle(handle);
    return result;
}

OpenStatus ExclusiveFile::tryOpen(const QString &path, bool createIfMissing)
{
    close();
    // No sharing at all: while this handle is open, no other program can open
    // the file, neither to read nor to write.
    const HANDLE handle = CreateFileW(nativePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      createIfMissing ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                      nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        m_error = systemError(code);
        return statusOf(code);
    }
    m_handle = reinterpret_cast<qintptr>(handle);
    return OpenStatus::Opened;
}

void ExclusiveFile::close()
{
    if (m_handle != -1)
        CloseHandle(asHandle(m_handle));
    m_handle = -1;
}

std::optional<QByteArray> ExclusiveFile::readAll()
{
    QByteArray bytes;
    if (!isOpen() || !seekToStart(asHandle(m_handle), m_error) || !readRest(asHandle(m_handle), bytes, m_error))
        return std::nullopt;
    return bytes;
}

bool ExclusiveFile::writeFromStart(const QByteArray &bytes)
{
    if (!isOpen() || !seekToStart(asHandle(m_handle), m_error))
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(asHandle(m_handle), bytes.constData() + done, static_cast<DWORD>(bytes.size() - done),
                       &written, nullptr)) {
            m_error = systemError(GetLastError());
            return false;
        }
        done += static_cast<qsizetype>(written);
    }
    return true;
}

bool ExclusiveFile::flushToDisk()
{
    if (!isOpen())
        return false;
    if (!FlushFileBuffers(asHandle(m_handle))) {
        m_error = systemError(GetLastError());
        return false;
    }
    return true;
}

bool ExclusiveFile::truncate(qint64 length)
{
    if (!isOpen())
        return false;
    LARGE_INTEGER position{};
    position.QuadPart = length;
    if (!SetFilePointerEx(asHandle(m_handle), position, nullptr, FILE_BEGIN) || !SetEndOfFile(asHandle(m_handle))) {
        m_error = systemError(GetLastError());
        return false;
    }
    return true;
}

#else // POSIX

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

int openFile(const QString &path, int flags)
{
    const QByteArray native = QFile::encodeName(path);
    int fd = -1;
    do {
        fd = ::open(native.constData(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool readRest(int fd, QByteArray &bytes, QString &error)
{
    char buffer[kReadChunk];
    for (;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(bytes.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = systemError(errno);
            return false;
        }
        if (got == 0)
            return true;
        bytes.append(buffer, static_cast<qsizetype>(got));
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

} // namespace

WholeFile readWholeFile(const QString &path)
{
    WholeFile result;
    const int fd = openFile(path, O_RDONLY);
    if (fd < 0) {
        const int code = errno;
        // Readers share: nothing but a missing file or folder is worth telling apart here.
        result.status = statusOf(code) == OpenStatus::Missing ? OpenStatus::Missing : OpenStatus::Failed;
        result.detail = systemError(code);
        return result;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        result.detail = systemError(EISDIR);
        ::close(fd);
        return result;
    }
    result.status = readRest(fd, result.bytes, result.detail) ? OpenStatus::Opened : OpenStatus::Failed;
    ::close(fd);
    return result;
}

OpenStatus ExclusiveFile::tryOpen(const QString &path, bool createIfMissing)
{
    close();
    const int fd = openFile(path, O_RDWR | (createIfMissing ? O_CREAT : 0));
    if (fd < 0) {
        const int code = errno;
        m_error = systemError(code);
        // Permission denied on open is a matter of rights, not of a holder.
        return code == EACCES ? OpenStatus::Failed : statusOf(code);
    }
    if (!lockExclusively(fd)) {
        const int code = errno;
        m_error = systemError(code);
        ::close(fd);
        return code == EWOULDBLOCK || code == EAGAIN || code == EACCES ? OpenStatus::Held : OpenStatus::Failed;
    }
    m_handle = fd;
    return OpenStatus::Opened;
}

void ExclusiveFile::close()
{
    if (m_handle != -1)
        ::close(static_cast<int>(m_handle));  // releases the lock with the description
    m_handle = -1;
}

std::optional<QByteArray> ExclusiveFile::readAll()
{
    QByteArray bytes;
    if (!isOpen() || !readRest(static_cast<int>(m_handle), bytes, m_error))
        return std::nullopt;
    return bytes;
}

bool ExclusiveFile::writeFromStart(const QByteArray &bytes)
{
    if (!isOpen())
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::pwrite(static_cast<int>(m_handle), bytes.constData() + done,
                                         static_cast<size_t>(bytes.size() - done), static_cast<off_t>(done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0) {
            m_error = systemError(errno);
            return false;
        }
        done += written;
    }
    return true;
}

bool ExclusiveFile::flushToDisk()
{
    if (!isOpen())
        return false;
    int status = 0;
    do {
        status = ::fsync(static_cast<int>(m_handle));
    } while (status != 0 && errno == EINTR);
    if (status != 0) {
        m_error = systemError(errno);
        return false;
    }
    return true;
}

bool ExclusiveFile::truncate(qint64 length)
{
    if (!isOpen())
        return false;
    int status = 0;
    do {
        status = ::ftruncate(static_cast<int>(m_handle), static_cast<off_t>(length));
    } while (status != 0 && errno == EINTR);
    if (status != 0) {
        m_error = systemError(errno);
        return false;
    }
    return true;
}

#endif

ExclusiveFile::~ExclusiveFile()
{
    close();
}

ExclusiveFile::ExclusiveFile(ExclusiveFile &&other) noexcept
    : m_handle(std::exchange(other.m_handle, -1))
    , m_error(std::move(other.m_error))
{
}

ExclusiveFile &ExclusiveFile::operator=(ExclusiveFile &&other) noexcept
{
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, -1);
        m_error = std::move(other.m_error);
    }
    return *this;
}

bool ExclusiveFile::isOpen() const
{
    return m_handle != -1;
}

const QString &ExclusiveFile::errorText() const
{
    return m_error;
}

} // namespace tq3

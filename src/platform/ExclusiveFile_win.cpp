#include "platform/ExclusiveFile.h"

#include <windows.h>

namespace tq3::platform {

namespace {

HANDLE asHandle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

int lastError()
{
    return static_cast<int>(GetLastError());
}

OpenStatus statusOf(int code)
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

// 0, or the error number.
int readRest(HANDLE handle, std::string &bytes)
{
    char buffer[4096];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(handle, buffer, sizeof buffer, &got, nullptr))
            return lastError();
        if (got == 0)
            return 0;
        bytes.append(buffer, got);
    }
}

int seekTo(HANDLE handle, std::int64_t position)
{
    LARGE_INTEGER where{};
    where.QuadPart = position;
    return SetFilePointerEx(handle, where, nullptr, FILE_BEGIN) ? 0 : lastError();
}

} // namespace

WholeFile readWholeFile(const std::filesystem::path &path)
{
    WholeFile result;
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        result.error = lastError();
        result.status = statusOf(result.error);
        return result;
    }
    result.error = readRest(handle, result.bytes);
    result.status = result.error == 0 ? OpenStatus::Opened : OpenStatus::Failed;
    CloseHandle(handle);
    return result;
}

OpenStatus ExclusiveFile::tryOpen(const std::filesystem::path &path, bool createIfMissing)
{
    close();
    // No sharing at all: while this handle is open, no other program can open
    // the file, neither to read nor to write. Handles are not inherited unless
    // asked for.
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      createIfMissing ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        m_error = lastError();
        return statusOf(m_error);
    }
    m_handle = reinterpret_cast<std::intptr_t>(handle);
    return OpenStatus::Opened;
}

void ExclusiveFile::close()
{
    if (isOpen())
        CloseHandle(asHandle(m_handle));
    m_handle = kClosed;
}

std::optional<std::string> ExclusiveFile::readAll()
{
    std::string bytes;
    if (!isOpen() || !succeeded(seekTo(asHandle(m_handle), 0)) || !succeeded(readRest(asHandle(m_handle), bytes)))
        return std::nullopt;
    return bytes;
}

bool ExclusiveFile::writeFromStart(std::string_view bytes)
{
    if (!isOpen() || !succeeded(seekTo(asHandle(m_handle), 0)))
        return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(asHandle(m_handle), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                       nullptr))
            return succeeded(lastError());
        done += written;
    }
    return true;
}

bool ExclusiveFile::flushToDisk()
{
    return isOpen() && succeeded(FlushFileBuffers(asHandle(m_handle)) ? 0 : lastError());
}

bool ExclusiveFile::truncate(std::int64_t length)
{
    return isOpen() && succeeded(seekTo(asHandle(m_handle), length))
        && succeeded(SetEndOfFile(asHandle(m_handle)) ? 0 : lastError());
}

} // namespace tq3::platform

#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The files that several desks share, through the operating system alone.
// Error numbers are the system's own: errno here, GetLastError() on Windows.
namespace tq3::platform {

enum class OpenStatus {
    Opened,
    Missing,  // the file, or a folder on its path, does not exist
    Held,     // another handle keeps it from being opened now
    Failed,   // anything else (rights, a folder in place of the file, ...)
};

struct WholeFile final {
    OpenStatus status = OpenStatus::Failed;
    std::string bytes;
    int error = 0;  // why, when not Opened
};

// Reads a file that others may have open for reading too, in one attempt.
WholeFile readWholeFile(const std::filesystem::path &path);
// The same, trying again while the file is held (on Windows a writer that
// shares nothing keeps readers out too) until `patience` has passed.
WholeFile readWholeFile(const std::filesystem::path &path, std::chrono::milliseconds patience);

// A file open for reading and writing that no other desk can open while this
// handle stays open: on Windows a share mode of none, so that every other
// program is kept out; elsewhere an open-file-description lock (on Linux
// F_OFD_SETLK; classic POSIX locks would drop as soon as any other handle of
// this process to the same file closed). The handle is never inherited by a
// child process, which would otherwise keep the lock alive.
class ExclusiveFile final {
public:
    ExclusiveFile() = default;
    ~ExclusiveFile();
    ExclusiveFile(ExclusiveFile &&other) noexcept;
    ExclusiveFile &operator=(ExclusiveFile &&other) noexcept;
    ExclusiveFile(const ExclusiveFile &) = delete;
    ExclusiveFile &operator=(const ExclusiveFile &) = delete;

    // One attempt, without waiting. With createIfMissing a missing file is
    // created empty, but never a missing folder.
    OpenStatus tryOpen(const std::filesystem::path &path, bool createIfMissing);

    bool isOpen() const { return m_handle != kClosed; }
    void close();

    // The last failure's error number.
    int errorNumber() const { return m_error; }

    std::optional<std::string> readAll();
    // Writes from the first byte on, leaving any longer old content after it.
    bool writeFromStart(std::string_view bytes);
    // Down to the disk, so that a later cut never reaches it before the data.
    bool flushToDisk();
    bool truncate(std::int64_t length);

private:
    // Keeps a failure's error number; true for 0.
    bool succeeded(int error)
    {
        if (error != 0)
            m_error = error;
        return error == 0;
    }

    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t m_handle = kClosed;
    int m_error = 0;
};

// Opens `file`, trying again while another handle holds it until `patience`
// has passed; every other outcome is final at once.
OpenStatus openExclusive(ExclusiveFile &file, const std::filesystem::path &path, bool createIfMissing,
                         std::chrono::milliseconds patience);

} // namespace tq3::platform

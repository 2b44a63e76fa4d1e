#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The platform seam for the files that several desks share.
namespace tq3 {

enum class OpenStatus {
    Opened,
    Missing,  // the file, or a folder on its path, does not exist
    Held,     // another handle keeps it from being opened now
    Failed,   // anything else (rights, a folder in place of the file, ...)
};

// A whole small file read in one go; `detail` says why when not Opened.
struct WholeFile final {
    OpenStatus status = OpenStatus::Failed;
    QByteArray bytes;
    QString detail;
};

// Reads a file that others may have open for reading too.
WholeFile readWholeFile(const QString &path);

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
    OpenStatus tryOpen(const QString &path, bool createIfMissing);

    bool isOpen() const;
    void close();

    // The system's text for the last failure, with its error number.
    const QString &errorText() const;

    std::optional<QByteArray> readAll();
    // Writes from the first byte on, leaving any longer old content after it.
    bool writeFromStart(const QByteArray &bytes);
    // Down to the disk, so that a later cut never reaches it before the data.
    bool flushToDisk();
    bool truncate(qint64 length);

private:
    qintptr m_handle = -1;
    QString m_error;
};

} // namespace tq3

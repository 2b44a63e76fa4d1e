#pragma once

#include "core/store/Result.h"

#include <QString>

#include <chrono>
#include <memory>

namespace tq3 {

// Paths are formed by plain joining with the native separator, as the archive
// folder is written: a trailing separator gives a doubled one.
QString archiveFilePath(const QString &archiveFolder, const QString &name);
QString serverStateFilePath(const QString &archiveFolder);          // ...UConnDP.txt
QString numberFilePath(const QString &archiveFolder, qint64 serviceId); // ...NrAll/NrAllS<id>.txt

// The first field of UConnDP.txt; NotFound when the file is missing.
Result<QString> readServerState(const QString &archiveFolder);

// "False", exactly, means the server module is not listening.
bool serverNotListening(const QString &serverState);

// Longer than the queue database's busy timeout, so that a desk waiting on a
// number file never gives up before one waiting on the database would.
inline constexpr std::chrono::milliseconds kNumberFilePatience{8000};

// One open of a number file, holding an exclusive lock from open to
// destruction, so that a number can be read and its successor written
// without another desk in between.
class NumberFile final {
public:
    enum class Mode { ExistingOnly, CreateIfMissing };

    // NotFound (file or NrAll folder missing, ExistingOnly), InUse after
    // `patience` of retries, Io otherwise. Never returns an unopened file.
    static Result<NumberFile> open(const QString &path, Mode mode,
                                   std::chrono::milliseconds patience = kNumberFilePatience);

    NumberFile(NumberFile &&) noexcept;
    NumberFile &operator=(NumberFile &&) noexcept;
    ~NumberFile();

    // NotANumber for an empty file or one that holds no 32-bit number.
    Result<qint32> read();

    // Writes the number record over the old one, then cuts the file to its
    // length: a crash in between never leaves the file empty. Succeeds once
    // the file reads as the new number, even if the cut then fails (the old
    // record's rest stays after a line end and is never read).
    Result<void> write(qint32 number);

    const QString &path() const;

private:
    struct Impl;
    explicit NumberFile(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

// number + 1, or NoSuccessor at the 32-bit maximum.
Result<qint32> successor(qint32 number);

} // namespace tq3

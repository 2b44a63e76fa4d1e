// A number file and UConnDP.txt holding any bytes, through the real files:
// read or refused, and a number written over any old content reads back.

#include "FuzzInput.h"

#include "core/store/CallFiles.h"
#include "core/store/RecordSyntax.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace tq3;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir archive;
    static const bool made = QDir(archive.path()).mkpath(QStringLiteral("NrAll"));
    fuzz::require(made, "a temporary archive folder");
    const QByteArray bytes = fuzz::bytesOf(data, size);
    for (const QString &path : {serverStateFilePath(archive.path()), numberFilePath(archive.path(), 1)}) {
        QFile file(path);
        fuzz::require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size(),
                      "the input written to the file");
    }

    (void)readServerState(archive.path());
    Result<NumberFile> numberFile =
        NumberFile::open(numberFilePath(archive.path(), 1), NumberFile::Mode::ExistingOnly, {});
    fuzz::require(numberFile.ok(), "the number file opens");
    const Result<qint32> number = numberFile->read();
    const Result<qint32> next = number ? successor(*number) : Result<qint32>(7);
    if (!next)
        return 0;
    fuzz::require(numberFile->write(*next).ok(), "the next number is written");
    const Result<qint32> reread = numberFile->read();
    fuzz::require(reread.ok() && *reread == *next, "the number written reads back");
    QFile written(numberFile->path());
    fuzz::require(written.open(QIODevice::ReadOnly) && written.readAll() == record::numberRecord(*next),
                  "nothing of the old content is left");
    return 0;
}

#include "core/store/CallFiles.h"

#include "core/store/FaultPoint.h"
#include "core/store/PlatformFile.h"
#include "core/store/RecordSyntax.h"

#include <QDir>

#include <limits>

namespace tq3 {

using platform::OpenStatus;

namespace {

// The server module may hold UConnDP.txt for a moment while it rewrites it.
constexpr std::chrono::milliseconds kServerStatePatience{2000};

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString withDetail(const QString &path, const QString &what)
{
    return QStringLiteral("%1: %2").arg(native(path), what);
}

QString shown(const QByteArray &bytes)
{
    constexpr qsizetype kShown = 40;
    QString text = QString::fromLatin1(bytes.left(kShown).toPercentEncoding(" +-_.,\""));
    if (bytes.size() > kShown)
        text += QStringLiteral("...");
    return text;
}

} // namespace

QString archiveFilePath(const QString &archiveFolder, const QString &name)
{
    return archiveFolder + QDir::separator() + name;
}

QString serverStateFilePath(const QString &archiveFolder)
{
    return archiveFilePath(archiveFolder, QStringLiteral("UConnDP.txt"));
}

QString numberFilePath(const QString &archiveFolder, qint64 serviceId)
{
    return archiveFilePath(archiveFolder, QStringLiteral("NrAll") + QDir::separator() + QStringLiteral("NrAllS")
                                              + QString::number(serviceId) + QStringLiteral(".txt"));
}

Result<QString> readServerState(const QString &archiveFolder)
{
    const QString path = serverStateFilePath(archiveFolder);
    const platform::WholeFile file = platform::readWholeFile(platformPath(path), kServerStatePatience);
    switch (file.status) {
    case OpenStatus::Opened:
        break;
    case OpenStatus::Missing:
        return makeError(ErrorKind::NotFound, QStringLiteral("File di stato del Server non trovato !"),
                         withDetail(path, systemError(file.error)));
    case OpenStatus::Held:
        return makeError(ErrorKind::InUse, QStringLiteral("File di stato del Server in uso !"),
                         withDetail(path, systemError(file.error)));
    case OpenStatus::Failed:
        return makeError(ErrorKind::Io, QStringLiteral("Impossibile leggere il file di stato del Server !"),
                         withDetail(path, systemError(file.error)));
    }
    record::FieldReader reader(QByteArray::fromStdString(file.bytes));
    std::optional<QString> state = reader.next();
    if (!state)
        return makeError(ErrorKind::TooFewFields, QStringLiteral("File di stato del Server vuoto !"),
                         withDetail(path, QStringLiteral("no field")));
    return *state;
}

bool serverNotListening(const QString &serverState)
{
    return serverState == QStringLiteral("False");
}

struct NumberFile::Impl {
    QString path;
    platform::ExclusiveFile file;
};

NumberFile::NumberFile(std::unique_ptr<Impl> impl)
    : m_impl(std::move(impl))
{
}

NumberFile::NumberFile(NumberFile &&) noexcept = default;
NumberFile &NumberFile::operator=(NumberFile &&) noexcept = default;
NumberFile::~NumberFile() = default;

Result<NumberFile> NumberFile::open(const QString &path, Mode mode, std::chrono::milliseconds patience)
{
    const bool create = mode == Mode::CreateIfMissing;
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    const auto error = [&] { return systemError(impl->file.errorNumber()); };
    switch (platform::openExclusive(impl->file, platformPath(path), create, patience)) {
    case OpenStatus::Opened:
        break;
    case OpenStatus::Missing:
        return makeError(ErrorKind::NotFound,
                         create ? QStringLiteral("Cartella NrAll non trovata !")
                                : QStringLiteral("File del numero del servizio non trovato !"),
                         withDetail(path, error()));
    case OpenStatus::Failed:
        return makeError(ErrorKind::Io, QStringLiteral("Impossibile aprire il file del numero del servizio !"),
                         withDetail(path, error()));
    case OpenStatus::Held:
        return makeError(ErrorKind::InUse, QStringLiteral("File del numero in uso da un'altra postazione !Riprovare !"),
                         withDetail(path, QStringLiteral("still locked after %1 ms: %2").arg(patience.count()).arg(error())));
    }
    return NumberFile(std::move(impl));
}

Result<qint32> NumberFile::read()
{
    if (!m_impl || !m_impl->file.isOpen())
        return makeError(ErrorKind::Io, QStringLiteral("Impossibile leggere il file del numero del servizio !"),
                         QStringLiteral("the number file is not open"));
    const std::optional<std::string> read = m_impl->file.readAll();
    if (!read)
        return makeError(ErrorKind::Io, QStringLiteral("Impossibile leggere il file del numero del servizio !"),
                         withDetail(m_impl->path, systemError(m_impl->file.errorNumber())));
    const QByteArray bytes = QByteArray::fromStdString(*read);
    record::FieldReader reader(bytes);
    const std::optional<QString> field = reader.next();
    const std::optional<qint32> number = field ? record::toNumber(*field) : std::nullopt;
    if (!number)
        return makeError(ErrorKind::NotANumber, QStringLiteral("Il file del numero del servizio non contiene un numero !"),
                         withDetail(m_impl->path, bytes.isEmpty() ? QStringLiteral("empty file")
                                                                  : QStringLiteral("holds ") + shown(bytes)));
    return *number;
}

Result<void> NumberFile::write(qint32 number)
{
    if (!m_impl || !m_impl->file.isOpen())
        return makeError(ErrorKind::Io, QStringLiteral("Impossibile scrivere il file del numero del servizio !"),
                         QStringLiteral("the number file is not open"));
    const QByteArray bytes = record::numberRecord(number);
    // Over the old record first, then cut: the file is never empty, and until
    // it is cut whatever is left of a longer old record follows a line end,
    // so the file already reads as the new number.
    if (!m_impl->file.writeFromStart(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))))
        return makeError(ErrorKind::Io, QStringLiteral("Impossibile scrivere il file del numero del servizio !"),
                         withDetail(m_impl->path, systemError(m_impl->file.errorNumber())));
    faultPoint(fault::kNumberWritten);
    // The record reaches the disk before the cut, so that not even a power
    // failure can leave the old digits cut to the new length. Neither step
    // can change what the file reads as any more: a failure of either is no
    // reason to report the number unwritten, and the cut waits for the flush.
    if (m_impl->file.flushToDisk())
        m_impl->file.truncate(bytes.size());
    faultPoint(fault::kNumberTruncated);
    return {};
}

const QString &NumberFile::path() const
{
    static const QString none;
    return m_impl ? m_impl->path : none;
}

Result<qint32> successor(qint32 number)
{
    if (number == std::numeric_limits<qint32>::max())
        return makeError(ErrorKind::NoSuccessor,
                         QStringLiteral("Numero massimo raggiunto !Azzerare la numerazione del servizio !"),
                         QStringLiteral("%1 has no 32-bit successor").arg(number));
    return number + 1;
}

} // namespace tq3

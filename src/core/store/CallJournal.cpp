#include "core/store/CallJournal.h"

#include "core/store/PlatformFile.h"
#include "core/store/RecordSyntax.h"
#include "core/store/Text1252.h"

#include <QDir>
#include <QFileInfo>

#include <array>

namespace tq3 {

namespace {

using platform::OpenStatus;
using Stage = JournalEntry::Stage;

constexpr std::array<std::pair<Stage, const char *>, 5> kStages{{
    {Stage::Lowering, "AttesaDaRidurre"},
    {Stage::Lowered, "AttesaRidotta"},
    {Stage::NumberTaken, "NumeroPreso"},
    {Stage::Marking, "BigliettoDaSegnare"},
    {Stage::Marked, "BigliettoSegnato"},
}};

// A double quote becomes ' and a line break a blank, so the line always reads back.
QByteArray quoted(QString text)
{
    text.replace(u'"', u'\'').replace(u'\r', u' ').replace(u'\n', u' ');
    return '"' + cp1252::encodeLossy(text) + '"';
}

Error journalError(const QString &path, const QString &what, const QString &detail)
{
    return makeError(ErrorKind::Io, QStringLiteral("Impossibile %1 il file %2 !").arg(what, kCallJournalFileName),
                     QDir::toNativeSeparators(path) + QStringLiteral(": ") + detail);
}

} // namespace

QString callJournalPath(const QString &settingsFilePath)
{
    return QFileInfo(settingsFilePath).dir().filePath(kCallJournalFileName);
}

struct CallJournal::Impl {
    platform::ExclusiveFile file;
    // The texts as last converted, so that the entry following a change in
    // the archive is written at once, with nothing to convert first.
    QString service;
    QString desk;
    QByteArray serviceBytes;
    QByteArray deskBytes;
    qsizetype unflushed = -1;  // the length of an entry written but not yet flushed and cut

    QByteArray line(const JournalEntry &entry)
    {
        if (serviceBytes.isEmpty() || entry.service != service)
            serviceBytes = quoted(service = entry.service);
        if (deskBytes.isEmpty() || entry.desk != desk)
            deskBytes = quoted(desk = entry.desk);
        QByteArray stage;
        for (const auto &[value, name] : kStages) {
            if (value == entry.stage)
                stage = name;
        }
        return '"' + stage + "\"," + QByteArray::number(entry.serviceId) + ',' + serviceBytes + ',' + deskBytes + ','
            + QByteArray::number(entry.number) + ',' + QByteArray::number(entry.ticketKey) + "\r\n";
    }
};

CallJournal::CallJournal(QString path)
    : m_path(std::move(path))
{
}

CallJournal::~CallJournal() = default;

Result<void> CallJournal::write(const JournalEntry &entry, Flush when)
{
    if (m_path.isEmpty())
        return {};
    if (!m_impl) {
        auto impl = std::make_unique<Impl>();
        if (impl->file.tryOpen(platformPath(m_path), true) != OpenStatus::Opened)
            return journalError(m_path, QStringLiteral("scrivere"), systemError(impl->file.errorNumber()));
        m_impl = std::move(impl);
    }
    const QByteArray line = m_impl->line(entry);
    if (!m_impl->file.writeFromStart(std::string_view(line.constData(), static_cast<std::size_t>(line.size()))))
        return journalError(m_path, QStringLiteral("scrivere"), systemError(m_impl->file.errorNumber()));
    m_impl->unflushed = line.size();
    return when == Flush::Now ? flush() : Result<void>();
}

Result<void> CallJournal::flush()
{
    if (!m_impl || m_impl->unflushed < 0)
        return {};
    // Down to the disk, then cut: until the cut, what is left of a longer old
    // entry follows the new one's line end, and only the first record is read.
    if (!m_impl->file.flushToDisk() || !m_impl->file.truncate(m_impl->unflushed))
        return journalError(m_path, QStringLiteral("scrivere"), systemError(m_impl->file.errorNumber()));
    m_impl->unflushed = -1;
    return {};
}

Result<void> CallJournal::clear()
{
    if (!m_impl && (m_path.isEmpty() || !QFileInfo::exists(m_path)))
        return {};
    if (!m_impl) {
        m_impl = std::make_unique<Impl>();
        if (m_impl->file.tryOpen(platformPath(m_path), false) != OpenStatus::Opened) {
            const QString detail = systemError(m_impl->file.errorNumber());
            m_impl.reset();
            return journalError(m_path, QStringLiteral("scrivere"), detail);
        }
    }
    const bool cleared = m_impl->file.truncate(0) && m_impl->file.flushToDisk();
    const QString detail = systemError(m_impl->file.errorNumber());
    m_impl.reset();
    if (!cleared)
        return journalError(m_path, QStringLiteral("scrivere"), detail);
    return {};
}

Result<std::optional<JournalEntry>> CallJournal::read(const QString &path)
{
    const platform::WholeFile file = platform::readWholeFile(platformPath(path));
    if (file.status == OpenStatus::Missing)
        return std::optional<JournalEntry>();
    if (file.status != OpenStatus::Opened)
        return journalError(path, QStringLiteral("leggere"), systemError(file.error));
    const QByteArray bytes = QByteArray::fromStdString(file.bytes);
    if (bytes.trimmed().isEmpty())
        return std::optional<JournalEntry>();

    record::FieldReader reader(bytes);
    std::array<QString, 6> fields;
    for (QString &field : fields)
        field = reader.next().value_or(QString());
    JournalEntry entry;
    bool known = false;
    for (const auto &[value, name] : kStages) {
        if (fields[0] == QLatin1String(name)) {
            entry.stage = value;
            known = true;
        }
    }
    bool idOk = false;
    bool keyOk = false;
    entry.serviceId = fields[1].toLongLong(&idOk);
    entry.service = fields[2];
    entry.desk = fields[3];
    const std::optional<qint32> number = record::toNumber(fields[4]);
    entry.number = number.value_or(0);
    entry.ticketKey = fields[5].toLongLong(&keyOk);
    if (!known || !idOk || !number || !keyOk) {
        return makeError(ErrorKind::InvalidValue,
                         QStringLiteral("Chiamata interrotta illeggibile (%1) !").arg(kCallJournalFileName),
                         QDir::toNativeSeparators(path) + QStringLiteral(": holds ")
                             + QString::fromLatin1(bytes.left(80).toPercentEncoding(" ,\"")));
    }
    return std::optional<JournalEntry>(entry);
}

} // namespace tq3

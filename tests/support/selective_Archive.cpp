#include "selective_Archive.h"

#include "DatabaseFixture.h"
#include "store/QueueDatabase.h"

#include <QDir>
#include <QFile>

namespace tq3::test {

namespace {

bool writeWhole(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

} // namespace

bool createSelectiveArchive(const QString &folder, const QString &deskIp,
                            const QList<SelectiveService> &services, const QByteArray &serverState,
                            qint64 rhPort)
{
    if (!QDir().mkpath(QDir(folder).filePath(QStringLiteral("NrAll"))))
        return false;
    std::unique_ptr<ArchiveBuilder> builder = createQueueDatabase(folder);
    if (!builder)
        return false;
    if (!builder->setConfigurazione(2, rhPort, QStringLiteral("127.0.0.1"), QStringLiteral("SERVER")))
        return false;
    for (const SelectiveService &service : services) {
        if (service.inServizi && !builder->addService(service.id, service.name, true, service.attesa))
            return false;
        if (!builder->addDeskService(deskIp, service.id, service.name))
            return false;
        if (service.number
            && !writeNumberFile(folder, service.id, QByteArray::number(*service.number) + "\r\n"))
            return false;
    }
    return writeServerState(folder, serverState);
}

bool writeServerState(const QString &folder, const QByteArray &bytes)
{
    return writeWhole(QDir(folder).filePath(QStringLiteral("UConnDP.txt")), bytes);
}

bool writeNumberFile(const QString &folder, qint64 serviceId, const QByteArray &bytes)
{
    return writeWhole(QDir(folder).filePath(QStringLiteral("NrAll/NrAllS%1.txt").arg(serviceId)), bytes);
}

QByteArray numberFileBytes(const QString &folder, qint64 serviceId)
{
    QFile file(QDir(folder).filePath(QStringLiteral("NrAll/NrAllS%1.txt").arg(serviceId)));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<missing>");
    return file.readAll();
}

std::optional<qint64> storedAttesa(const QString &folder, qint64 serviceId)
{
    Result<std::unique_ptr<QueueDatabase>> db = QueueDatabase::open(folder);
    if (!db)
        return std::nullopt;
    Result<std::optional<QVariant>> waiting = (*db)->serviceWaiting(serviceId);
    if (!waiting || !waiting->has_value() || (*waiting)->isNull())
        return std::nullopt;
    return (*waiting)->toLongLong();
}

} // namespace tq3::test

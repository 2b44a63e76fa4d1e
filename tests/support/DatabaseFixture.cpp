#include "DatabaseFixture.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace tq3::test {

std::unique_ptr<ArchiveBuilder> createQueueDatabase(const QString &folder, const QString &fileName)
{
    Result<std::unique_ptr<ArchiveBuilder>> created = ArchiveBuilder::create(QDir(folder).filePath(fileName));
    if (!created) {
        qWarning("cannot create the queue database: %s", qPrintable(created.error().detail));
        return nullptr;
    }
    return std::move(created).value();
}

std::unique_ptr<QueueDatabase> buildAndOpen(const QString &folder,
                                            const std::function<bool(ArchiveBuilder &)> &fill)
{
    {
        auto builder = QDir().mkpath(folder) ? createQueueDatabase(folder) : nullptr;
        if (!builder || (fill && !fill(*builder)))
            return nullptr;
    }
    Result<std::unique_ptr<QueueDatabase>> opened = QueueDatabase::open(folder);
    if (!opened) {
        qWarning("cannot open the queue database: %s", qPrintable(opened.error().detail));
        return nullptr;
    }
    return std::move(opened).value();
}

QStringList folderSnapshot(const QString &folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        entries.append(info.filePath() + u' ' + QString::number(info.size()));
    }
    entries.sort();
    return entries;
}

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace tq3::test

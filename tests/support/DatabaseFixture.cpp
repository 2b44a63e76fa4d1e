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

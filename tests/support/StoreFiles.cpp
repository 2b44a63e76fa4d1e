#include "StoreFiles.h"

#include <QFile>

#include <algorithm>
#include <limits>

namespace tq3::test {

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool allOverlap(const QList<std::pair<qint64, qint64>> &spans)
{
    qint64 latestStart = 0;
    qint64 earliestEnd = std::numeric_limits<qint64>::max();
    for (const auto &[start, end] : spans) {
        if (start <= 0 || end < start)
            return false;
        latestStart = std::max(latestStart, start);
        earliestEnd = std::min(earliestEnd, end);
    }
    return !spans.isEmpty() && latestStart <= earliestEnd;
}

} // namespace tq3::test

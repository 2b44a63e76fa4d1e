#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace tq3::test {

// The whole file, or "<unreadable>" when it cannot be opened.
QByteArray contentOf(const QString &path);

// Replaces the file's content; false when it cannot be written.
bool writeBytes(const QString &path, const QByteArray &bytes = {});

// True when one moment lies inside every (start, end) span: the processes
// that reported them really ran at the same time.
bool allOverlap(const QList<std::pair<qint64, qint64>> &spans);

} // namespace tq3::test

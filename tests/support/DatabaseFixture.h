#pragma once

#include "store/ArchiveBuilder.h"
#include "store/QueueDatabase.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace tq3::test {

// A new queue database with the schema in `folder`; null (with a warning)
// when it cannot be made.
std::unique_ptr<ArchiveBuilder> createQueueDatabase(const QString &folder,
                                                    const QString &fileName = QStringLiteral("TQ3MAX.mdb"));

// A new queue database in `folder` (made when missing), filled through `fill`
// (false when a step failed), then opened as a desk opens it; null (with a
// warning) on any failure.
std::unique_ptr<QueueDatabase> buildAndOpen(const QString &folder,
                                            const std::function<bool(ArchiveBuilder &)> &fill = {});

// Names and sizes of everything under `folder`, to show that nothing changed.
QStringList folderSnapshot(const QString &folder);

// Milliseconds since the epoch, for the start and end marks of driver processes.
qint64 nowMs();

} // namespace tq3::test

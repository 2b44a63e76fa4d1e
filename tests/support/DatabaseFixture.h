#pragma once

#include "store/ArchiveBuilder.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace tq3::test {

// A new queue database with the schema in `folder`; null (with a warning)
// when it cannot be made.
std::unique_ptr<ArchiveBuilder> createQueueDatabase(const QString &folder,
                                                    const QString &fileName = QStringLiteral("TQ3MAX.mdb"));

// Names and sizes of everything under `folder`, to show that nothing changed.
QStringList folderSnapshot(const QString &folder);

// Milliseconds since the epoch, for the start and end marks of driver processes.
qint64 nowMs();

} // namespace tq3::test

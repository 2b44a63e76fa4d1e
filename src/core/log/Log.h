#pragma once

#include <QLoggingCategory>
#include <QString>

namespace tq3 {

Q_DECLARE_LOGGING_CATEGORY(lcApp)       // tq3.app: start and end of the client
Q_DECLARE_LOGGING_CATEGORY(lcOperator)  // tq3.operator: every message the operator is shown

// The desk's log, in its working folder, for the administrator to read or send.
inline const QString kLogFileName = QStringLiteral("tq3max-client.log");
inline constexpr qint64 kLogFileCap = 1024 * 1024;

// Sends every message of the program, Qt's own included, to standard error
// and to kLogFileName in `folder`. A line that would take the file past
// `cap` bytes first moves it to kLogFileName + ".1", the one older file
// kept. A folder that cannot be written leaves standard error alone.
void startLog(const QString &folder, qint64 cap = kLogFileCap);
// Back to Qt's own handler; the file is closed.
void stopLog();

} // namespace tq3

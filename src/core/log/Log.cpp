#include "core/log/Log.h"

#include <QDir>
#include <QFile>
#include <QMutex>

#include <cstdio>

namespace tq3 {

Q_LOGGING_CATEGORY(lcApp, "tq3.app", QtInfoMsg)
Q_LOGGING_CATEGORY(lcOperator, "tq3.operator", QtInfoMsg)

namespace {

struct Sink final {
    QMutex mutex;
    QFile file;
    qint64 cap = kLogFileCap;
    QtMessageHandler previous = nullptr;
    bool installed = false;
};

// Never destroyed: Qt may still log while the program's statics go.
Sink &sink()
{
    static Sink *const s = new Sink;
    return *s;
}

// The file's own operations may log; such a message goes to standard error only.
thread_local bool inHandler = false;

void moveToOlder(Sink &s)
{
    const QString path = s.file.fileName();
    s.file.close();
    QFile::remove(path + QStringLiteral(".1"));
    const bool moved = QFile::rename(path, path + QStringLiteral(".1"));
    // A file that cannot be moved is emptied rather than let grow.
    (void)s.file.open(moved ? QIODevice::Append : QIODevice::WriteOnly | QIODevice::Truncate);
}

void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const QByteArray line = (qFormatLogMessage(type, context, text) + u'\n').toUtf8();
    Sink &s = sink();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
    if (inHandler)
        return;
    inHandler = true;
    {
        const QMutexLocker lock(&s.mutex);
        if (s.file.isOpen()) {
            if (s.file.size() > 0 && s.file.size() + line.size() > s.cap)
                moveToOlder(s);
            if (s.file.isOpen()) {
                s.file.write(line);
                s.file.flush();
            }
        }
    }
    inHandler = false;
}

} // namespace

void startLog(const QString &folder, qint64 cap)
{
    Sink &s = sink();
    {
        const QMutexLocker lock(&s.mutex);
        s.file.close();
        s.file.setFileName(QDir(folder).absoluteFilePath(kLogFileName));
        s.cap = cap;
        (void)s.file.open(QIODevice::Append);
    }
    qSetMessagePattern(QStringLiteral("%{time yyyy-MM-dd hh:mm:ss.zzz} %{type} %{category}: %{message}"));
    if (!s.installed) {
        s.previous = qInstallMessageHandler(handle);
        s.installed = true;
    }
    if (!s.file.isOpen())
        qCWarning(lcApp).noquote() << "log file not written:" << s.file.fileName() << s.file.errorString();
}

void stopLog()
{
    Sink &s = sink();
    if (s.installed) {
        qInstallMessageHandler(s.previous);
        s.installed = false;
    }
    const QMutexLocker lock(&s.mutex);
    s.file.close();
}

} // namespace tq3

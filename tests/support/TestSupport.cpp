#include "TestSupport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

namespace tq3::test {

QString binDir()
{
    const QString fromEnv = QProcessEnvironment::systemEnvironment().value(QStringLiteral("TQ3_BIN_DIR"));
    return fromEnv.isEmpty() ? QCoreApplication::applicationDirPath() : fromEnv;
}

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

static QString readyFile(const QString &go, qint64 pid)
{
    return go + QLatin1Char('.') + QString::number(pid);
}

void waitForGo(const QString &go)
{
    QFile(readyFile(go, QCoreApplication::applicationPid())).open(QIODevice::WriteOnly);
    for (int i = 0; i < 600000 && !QFile::exists(go); ++i)
        QThread::usleep(100);
    print(QStringLiteral("start %1").arg(nowMs()));
}

void print(const QString &line)
{
    const QByteArray bytes = (line.isEmpty() ? QStringLiteral("end %1").arg(nowMs()) : line).toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

RunTogether runTogether(const QString &program, const QList<QStringList> &arguments, const QString &go,
                        const std::function<void()> &meanwhile)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const QStringList &args : arguments) {
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->start(program, args);
        processes.back()->waitForStarted(10000);
    }
    for (const auto &p : processes) {
        if (!QTest::qWaitFor([&] { return QFile::exists(readyFile(go, p->processId())); }, 30000))
            qWarning("a driver never stood at the barrier");
    }
    QFile(go).open(QIODevice::WriteOnly);

    RunTogether result;
    for (QDeadlineTimer deadline(180000); !deadline.hasExpired();) {
        if (meanwhile)
            meanwhile();
        bool running = false;
        for (const auto &p : processes)
            running = !p->waitForFinished(5) && p->state() != QProcess::NotRunning ? true : running;
        if (!running)
            break;
    }
    if (meanwhile)
        meanwhile();
    qint64 latestStart = 0;
    qint64 earliestEnd = std::numeric_limits<qint64>::max();
    for (const auto &p : processes) {
        DriverRun run;
        run.exitCode = p->state() == QProcess::NotRunning && p->exitStatus() == QProcess::NormalExit ? p->exitCode()
                                                                                                     : -1;
        const QByteArray errors = p->readAllStandardError();
        const QStringList out = QString::fromUtf8(p->readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        // Marks on either channel (the stand-in prints its own on stderr); lines only from stdout.
        const QStringList all = out + QString::fromUtf8(errors).split(u'\n');
        for (qsizetype i = 0; i < all.size(); ++i) {
            if (all.at(i).startsWith(u"start ") || all.at(i).startsWith(u"end "))
                (all.at(i).startsWith(u's') ? run.start : run.end) = all.at(i).section(u' ', 1).toLongLong();
            else if (i < out.size())
                run.lines << all.at(i);
        }
        if (run.exitCode != 0)
            qWarning("%s %s: %s", qPrintable(program), qPrintable(arguments.value(result.runs.size()).join(u' ')),
                     errors.constData());
        latestStart = std::max(latestStart, run.start);
        earliestEnd = std::min(earliestEnd, run.end);
        result.runs << run;
    }
    result.overlapped = !result.runs.isEmpty() && latestStart > 0 && latestStart <= earliestEnd;
    return result;
}

} // namespace tq3::test

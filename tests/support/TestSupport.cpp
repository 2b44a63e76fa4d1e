#include "TestSupport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <cstdio>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace tq3::test {

QString binDir()
{
    const QString fromEnv = qEnvironmentVariable("TQ3_BIN_DIR");
    return fromEnv.isEmpty() ? QCoreApplication::applicationDirPath() : fromEnv;
}

static QString readyFile(const QString &go, qint64 pid) { return go + u'.' + QString::number(pid); }

void waitForGo(const QString &go)
{
    QFile(readyFile(go, QCoreApplication::applicationPid())).open(QIODevice::WriteOnly);
    for (int i = 0; i < 600000 && !QFile::exists(go); ++i)
        QThread::usleep(100);
    print(u"start %1"_s.arg(QDateTime::currentMSecsSinceEpoch()));
}

void print(const QString &line)
{
    const QByteArray bytes = (line.isEmpty() ? u"end %1"_s.arg(QDateTime::currentMSecsSinceEpoch()) : line).toUtf8();
    std::fprintf(stdout, "%s\n", bytes.constData());
    std::fflush(stdout);
}

RunTogether runTogether(const QString &program, const QList<QStringList> &arguments, const QString &go,
                        const Together &how)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    RunTogether result{QList<DriverRun>(arguments.size())};
    QList<DriverRun> &runs = result.runs;
    const auto start = [&](int i) {
        auto process = std::make_unique<QProcess>();
        if (how.prepare)
            how.prepare(i, runs[i].crashes, *process);
        process->start(program, arguments.at(i));
        process->waitForStarted(10000);
        return process;
    };
    // Marks on either channel (the stand-in prints its own on stderr); lines only from stdout.
    const auto collect = [&](int i) {
        QProcess &p = *processes[size_t(i)];
        DriverRun &run = runs[i];
        run.exitCode = p.state() == QProcess::NotRunning && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        const QByteArray errors = p.readAllStandardError();
        const QStringList out = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        const QStringList all = out + QString::fromUtf8(errors).split(u'\n');
        for (qsizetype k = 0; k < all.size(); ++k) {
            const bool isStart = all.at(k).startsWith(u"start ");
            if (isStart ? run.start == 0 : all.at(k).startsWith(u"end "))
                (isStart ? run.start : run.end) = all.at(k).section(u' ', 1).toLongLong();
            else if (k < out.size() && !isStart)
                run.lines << all.at(k);
        }
        if (run.exitCode != 0 && p.exitStatus() != QProcess::CrashExit)
            qWarning("%s %s: %s", qPrintable(program), qPrintable(arguments.at(i).join(u' ')), errors.constData());
    };
    for (int i = 0; i < arguments.size(); ++i)
        processes.push_back(start(i));
    for (const auto &p : processes) {
        if (!QTest::qWaitFor([&] { return QFile::exists(readyFile(go, p->processId())); }, 30000))
            qWarning("a driver never stood at the barrier");
    }
    QFile(go).open(QIODevice::WriteOnly);
    QList<QProcess *> running;
    for (QDeadlineTimer deadline(how.timeoutMs); !deadline.hasExpired();) {
        running.clear();
        for (int i = 0; i < int(processes.size()); ++i) {
            QProcess &p = *processes[size_t(i)];
            if (p.waitForFinished(5) || p.state() == QProcess::NotRunning) {
                if (p.exitStatus() != QProcess::CrashExit || !how.restartCrashed)
                    continue;
                collect(i);
                if (runs[i].end != 0)
                    continue;  // killed on its way out: its work was done
                ++runs[i].crashes;
                processes[size_t(i)] = start(i);
            }
            running << processes[size_t(i)].get();
        }
        if (running.isEmpty())
            break;
        if (how.meanwhile)
            how.meanwhile(running);
    }
    if (how.meanwhile)
        how.meanwhile({});
    for (int i = 0; i < int(processes.size()); ++i)
        collect(i);
    const auto latestStart = std::ranges::max(runs, {}, &DriverRun::start).start;
    const auto earliestEnd = std::ranges::min(runs, {}, &DriverRun::end).end;
    result.overlapped = !runs.isEmpty() && latestStart > 0 && latestStart <= earliestEnd;
    return result;
}

} // namespace tq3::test

#include "TestSupport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <cstdio>
#include <memory>

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
    RunTogether result{QList<DriverRun>(arguments.size())};
    QList<std::shared_ptr<QProcess>> processes(arguments.size());
    const auto start = [&](int i) {  // returns once the driver stands at the barrier, or went past it
        processes[i] = std::make_shared<QProcess>();
        if (how.prepare)
            how.prepare(i, result.runs[i].crashes, *processes[i]);
        processes[i]->start(program, arguments.at(i));
        if (!processes[i]->waitForStarted(10000)
            || !QTest::qWaitFor([&] { return QFile::exists(readyFile(go, processes[i]->processId())); }, 30000))
            qWarning("a driver never stood at the barrier");
    };
    // Marks on either channel (the stand-in prints its own on stderr); lines only from stdout.
    const auto collect = [&](int i) {
        QProcess &p = *processes[i];
        DriverRun &run = result.runs[i];
        run.exitCode = p.state() == QProcess::NotRunning && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        const QByteArray errors = p.readAllStandardError();
        const QStringList out = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        for (const QString &line : out + QString::fromUtf8(errors).split(u'\n')) {
            if (line.startsWith(u"start ") && run.start == 0)
                run.start = line.mid(6).toLongLong();
            else if (line.startsWith(u"end "))
                run.end = line.mid(4).toLongLong();
        }
        run.lines += out.filter(QRegularExpression(u"^(?!start |end )"_s));
        if (run.exitCode != 0 && p.exitStatus() != QProcess::CrashExit)
            qWarning("%s %s: %s", qPrintable(program), qPrintable(arguments.at(i).join(u' ')), errors.constData());
    };
    for (int i = 0; i < arguments.size(); ++i)
        start(i);
    QFile(go).open(QIODevice::WriteOnly);
    QList<QProcess *> running;
    for (QDeadlineTimer deadline(how.timeoutMs); !deadline.hasExpired();) {
        running.clear();
        for (int i = 0; i < arguments.size(); ++i) {
            QProcess &p = *processes[i];
            if (p.waitForFinished(5) || p.state() == QProcess::NotRunning) {
                if (p.exitStatus() != QProcess::CrashExit || !how.restartCrashed)
                    continue;
                collect(i);
                if (result.runs[i].end != 0)
                    continue;  // killed on its way out: its work was done
                ++result.runs[i].crashes;
                start(i);
            }
            running << processes[i].get();
        }
        if (running.isEmpty())
            break;
        if (how.meanwhile)
            how.meanwhile(running);
    }
    if (how.meanwhile)
        how.meanwhile({});
    for (int i = 0; i < arguments.size(); ++i)
        collect(i);
    const qint64 latestStart = std::ranges::max(result.runs, {}, &DriverRun::start).start;
    result.overlapped = latestStart > 0 && latestStart <= std::ranges::min(result.runs, {}, &DriverRun::end).end;
    return result;
}

} // namespace tq3::test

#pragma once

#include <QStringList>

#include <functional>

class QProcess;

namespace tq3::test {

// Folder holding the built programs (drivers, stand-in, client).
QString binDir();

// Driver side of runTogether: says it stands at the barrier, waits for the
// `go` file, then prints "start <ms>" on standard output.
void waitForGo(const QString &go);
// Driver side: one line on standard output; "end <ms>" when `line` is empty.
void print(const QString &line = {});

// One driver process as runTogether saw it: its output lines without the marks.
struct DriverRun {
    QStringList lines;
    int exitCode = -1;
    qint64 start = 0;
    qint64 end = 0;
    int crashes = 0;  // deaths by a signal, each followed by a new start when restarts are on
};

struct RunTogether {
    QList<DriverRun> runs;
    bool overlapped = false;  // one moment lay inside every start..end span
};

// What runTogether does while the drivers run, beyond waiting for them.
struct Together {
    // Called over and over with the running processes (a test may kill one).
    std::function<void(const QList<QProcess *> &running)> meanwhile = {};
    // A driver that dies by a signal is started again at once, with the same
    // arguments, after `prepare` (also called before the first start) has
    // set its environment for that start (0 the first).
    bool restartCrashed = false;
    std::function<void(int driver, int start, QProcess &process)> prepare = {};
    int timeoutMs = 180000;
};

// Starts `program` once per argument list, writes the `go` file when each
// stands at the barrier (a file `go`.<pid>, as waitForGo writes) and
// collects what each printed.
RunTogether runTogether(const QString &program, const QList<QStringList> &arguments, const QString &go,
                        const Together &how = {});

} // namespace tq3::test

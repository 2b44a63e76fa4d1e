// A desk's store work as a separate process, built with its own copy of the
// store files, where the fault points are live.
//
// store_crasher <point> settings <path> <field 1> <field 2> <field 3> <field 4>
// store_crasher <point> number <path> <number>
//   runs the write and dies at the point, as a desk whose PC loses power or
//   whose process is killed there; exits 3 when the write never passed it
// store_crasher lower <folder> <service id> <attempts> <go file>
//   at the go file, lowers the service's count `attempts` times; prints "lowered <n>"
// store_crasher hold <folder> <milliseconds> <ready file>
//   holds a lock that keeps every desk from changing Servizi for a while

#include "core/store/CallFiles.h"
#include "core/store/FaultPoint.h"
#include "core/store/SettingsFile.h"

#include "CallArchive.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace tq3;
using namespace Qt::StringLiterals;

namespace {
const char *g_point = "";

int fail(const QString &what)
{
    std::fprintf(stderr, "store_crasher: %s\n", qPrintable(what));
    return 1;
}

int lower(const QStringList &args)
{
    auto db = QueueDatabase::open(args.at(2));
    if (!db)
        return fail(db.error().detail);
    test::waitForGo(args.at(5));
    int lowered = 0;
    for (int i = 0; i < args.at(4).toInt(); ++i) {
        Result<bool> done = (*db)->lowerWaiting(args.at(3).toLongLong());
        // A busy archive is worth another press, as the operator would.
        while (!done && done.error().kind == ErrorKind::InUse)
            done = (*db)->lowerWaiting(args.at(3).toLongLong());
        if (!done)
            return fail(done.error().detail);
        lowered += *done ? 1 : 0;
    }
    test::print(u"lowered %1"_s.arg(lowered));
    test::print();
    return 0;
}

int hold(const QStringList &args)
{
    auto builder = ArchiveBuilder::openArchive(args.at(2));
    const bool locked = builder
        && ((*builder)->engine() == DatabaseEngine::Sqlite
                ? (*builder)->execute(u"BEGIN EXCLUSIVE"_s).ok()
                : (*builder)->execute(u"BEGIN"_s).ok()
                      && (*builder)->execute(u"LOCK TABLE Servizi IN EXCLUSIVE MODE"_s).ok());
    if (!locked || !test::writeFile(args.at(4)))
        return fail(u"cannot hold "_s + args.at(2));
    QThread::msleep(args.at(3).toULong());
    return (*builder)->execute(u"COMMIT"_s).ok() ? 0 : fail(u"COMMIT"_s);
}

} // namespace

void tq3::faultPoint(const char *name)
{
    if (std::strcmp(name, g_point) != 0)
        return;
#ifdef Q_OS_UNIX
    ::kill(::getpid(), SIGKILL);
#endif
    std::_Exit(9);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 6 && args.at(1) == u"lower")
        return lower(args);
    if (args.size() == 5 && args.at(1) == u"hold")
        return hold(args);
    g_point = argc > 1 ? argv[1] : "";
    Result<void> written = makeError(ErrorKind::InvalidValue, {}, u"bad arguments"_s);
    if (args.size() == 8 && args.at(2) == u"settings") {
        written = SettingsFile{args.at(4), args.at(5), args.at(6), args.at(7)}.save(args.at(3));
    } else if (args.size() == 5 && args.at(2) == u"number") {
        Result<NumberFile> file = NumberFile::open(args.at(3), NumberFile::Mode::ExistingOnly);
        written = file ? file->write(args.at(4).toInt()) : Result<void>(file.error());
    }
    return written ? 3 : fail(written.error().detail);
}

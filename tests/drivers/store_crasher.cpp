// Runs one store write and dies at the named fault point, as a desk whose PC
// loses power or whose process is killed there. Built with its own copy of
// the store files, where the fault points are live.
//
// store_crasher <point> settings <path> <field 1> <field 2> <field 3> <field 4>
// store_crasher <point> number <path> <number>
// Exits 3 when the write ended without passing the point.

#include "core/store/CallFiles.h"
#include "core/store/FaultPoint.h"
#include "core/store/SettingsFile.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {
const char *g_point = "";
}

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
    g_point = argc > 1 ? argv[1] : "";
    tq3::Result<void> written = tq3::makeError(tq3::ErrorKind::InvalidValue, {}, QStringLiteral("bad arguments"));
    if (args.size() == 8 && args.at(2) == u"settings") {
        written = tq3::SettingsFile{args.at(4), args.at(5), args.at(6), args.at(7)}.save(args.at(3));
    } else if (args.size() == 5 && args.at(2) == u"number") {
        tq3::Result<tq3::NumberFile> file = tq3::NumberFile::open(args.at(3), tq3::NumberFile::Mode::ExistingOnly);
        written = file ? file->write(args.at(4).toInt()) : tq3::Result<void>(file.error());
    }
    if (!written)
        std::fprintf(stderr, "store_crasher: %s\n", qPrintable(written.error().detail));
    return written ? 3 : 1;
}

// Runs one store write and dies at the named fault point, as a desk whose PC
// loses power or whose process is killed there. Built with its own copy of
// the store files, where the fault points are live.
//
// store_crasher <point> settings <path> <field 1> <field 2> <field 3> <field 4>
// store_crasher <point> number <path> <number>
// Exits 3 when the write ended without passing the point.

#include "store/CallFiles.h"
#include "store/FaultPoint.h"
#include "store/SettingsFile.h"

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
    if (argc < 4) {
        std::fprintf(stderr, "usage: store_crasher <point> settings|number <path> <values...>\n");
        return 2;
    }
    g_point = argv[1];
    const QStringList args = app.arguments();
    const QString what = args.at(2);
    const QString path = args.at(3);

    if (what == QLatin1String("settings") && args.size() == 8) {
        const tq3::SettingsFile settings{args.at(4), args.at(5), args.at(6), args.at(7)};
        const tq3::Result<void> saved = settings.save(path);
        if (!saved)
            std::fprintf(stderr, "store_crasher: %s\n", qPrintable(saved.error().detail));
        return saved ? 3 : 1;
    }
    if (what == QLatin1String("number") && args.size() == 5) {
        tq3::Result<tq3::NumberFile> file = tq3::NumberFile::open(path, tq3::NumberFile::Mode::ExistingOnly);
        if (!file) {
            std::fprintf(stderr, "store_crasher: %s\n", qPrintable(file.error().detail));
            return 1;
        }
        const tq3::Result<void> written = file->write(args.at(4).toInt());
        return written ? 3 : 1;
    }
    std::fprintf(stderr, "store_crasher: bad arguments\n");
    return 2;
}

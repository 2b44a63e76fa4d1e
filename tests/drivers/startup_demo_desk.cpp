// Lays out a desk for a real client run: PercorsiClient.txt in the working
// folder and an archive folder with a queue database.
//
// startup_demo_desk <working folder> <archive folder> <ModoClient> <RHPort> <SecondoSchermo> [desk name]

#include "CallArchive.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6 && args.size() != 7) {
        std::fprintf(stderr, "usage: startup_demo_desk <working folder> <archive folder> <ModoClient> <RHPort> "
                             "<SecondoSchermo> [desk name]\n");
        return 2;
    }
    const QString working = args.at(1);
    const QString archive = args.at(2);
    const QString desk = args.size() == 7 ? args.at(6) : QStringLiteral("Sportello 1");
    if (!QDir().mkpath(working)
        || !tq3::test::createStartupArchive(archive, tq3::test::StartupDatabase::WithConfigurazione,
                                            args.at(3).toLongLong(), args.at(4).toLongLong())
        || !tq3::test::writeStartupSettings(QDir(working).filePath(QStringLiteral("PercorsiClient.txt")), archive,
                                            desk, QStringLiteral("127.0.0.1"), args.at(5))) {
        std::fprintf(stderr, "startup_demo_desk: cannot lay out the desk\n");
        return 1;
    }
    return 0;
}

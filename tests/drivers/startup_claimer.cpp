// A client's start as far as the single-instance claim: waits for the go
// file, claims, reports, then keeps the claim until the release file appears
// (or it is killed).
//
// startup_claimer <lock folder> <go file> <result file> <release file>
// The result file gets "claimed <start ms> <end ms>" or "refused <start ms> <end ms>".

#include "startup/SingleInstance.h"
#include "TestSupport.h"
#include "DatabaseFixture.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) {
        std::fprintf(stderr, "usage: startup_claimer <lock folder> <go file> <result file> <release file>\n");
        return 2;
    }
    for (int i = 0; i < 3000 && !QFile::exists(args.at(2)); ++i)
        QThread::msleep(5);

    tq3::SingleInstance instance(args.at(1));
    const qint64 start = tq3::test::nowMs();
    const bool claimed = instance.claim();
    // Stay in the claim for a moment so that every start overlaps the others.
    QThread::msleep(200);
    const qint64 end = tq3::test::nowMs();

    QFile result(args.at(3));
    if (!result.open(QIODevice::WriteOnly))
        return 1;
    result.write(QStringLiteral("%1 %2 %3")
                     .arg(claimed ? QStringLiteral("claimed") : QStringLiteral("refused"))
                     .arg(start)
                     .arg(end)
                     .toLatin1());
    result.close();

    for (int i = 0; i < 12000 && !QFile::exists(args.at(4)); ++i)
        QThread::msleep(5);
    return 0;
}

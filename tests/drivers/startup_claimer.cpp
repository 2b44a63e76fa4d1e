// A client's start as far as the single-instance claim: at the go file it
// claims, prints "claimed" or "refused", keeps the claim for `hold ms`
// (so that every start overlaps the others) and marks its end.
//
// startup_claimer <lock folder> <go file> <hold ms>

#include "core/startup/SingleInstance.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QThread>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    tq3::test::waitForGo(args.at(2));
    tq3::SingleInstance instance(args.at(1));
    tq3::test::print(instance.claim() ? QStringLiteral("claimed") : QStringLiteral("refused"));
    QThread::msleep(args.at(3).toULong());
    tq3::test::print();
    return 0;
}

// A desk working on a number file, as a separate process.
//
// numberfile_desk hold <number file> <ready file> <release file>
//   holds the file open, as a desk in the middle of a call, until the release
//   file appears (or it is killed); before it signals ready it also opens and
//   closes the file through a second, unlocked handle, which must not drop the lock.
// numberfile_desk take <number file> <go file> <count> <hold µs>
//   at the go file, takes `count` numbers, each read and its successor written
//   under one open, and prints each number taken.

#include "core/store/CallFiles.h"

#include "CallArchive.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <cstdio>

using namespace tq3;

namespace {

int fail(const QString &what)
{
    std::fprintf(stderr, "numberfile_desk: %s\n", qPrintable(what));
    return 1;
}

int hold(const QStringList &args)
{
    const Result<NumberFile> held = NumberFile::open(args.at(2), NumberFile::Mode::ExistingOnly);
    if (!held)
        return fail(held.error().detail);
    test::readFile(args.at(2));
    if (!test::writeFile(args.at(3)))
        return fail(args.at(3));
    for (int i = 0; i < 60000 && !QFile::exists(args.at(4)); ++i)
        QThread::usleep(500);
    return 0;
}

int take(const QStringList &args)
{
    test::waitForGo(args.at(3));
    for (int i = 0; i < args.at(4).toInt(); ++i) {
        Result<NumberFile> file = NumberFile::open(args.at(2), NumberFile::Mode::ExistingOnly);
        const Result<qint32> number = file ? file->read() : Result<qint32>(file.error());
        // Between reading and writing, where a broken lock would let another
        // desk read the same number.
        QThread::usleep(args.at(5).toULong());
        const Result<qint32> next = number ? successor(*number) : number;
        const Result<void> written = next ? file->write(*next) : Result<void>(next.error());
        if (!written)
            return fail(written.error().detail);
        test::print(QString::number(*number));
    }
    test::print();
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args.at(1) == u"hold")
        return hold(args);
    if (args.size() == 6 && args.at(1) == u"take")
        return take(args);
    return fail(QStringLiteral("usage: hold <file> <ready> <release> | take <file> <go> <count> <µs>"));
}

// Takes numbers from one number file, as a desk does: under one open, read the
// number and write its successor. Started several times at once by the
// concurrency test; all copies wait for the "go" file, then run together.
//
// numberfile_taker <number file> <go file> <count> <hold µs> <report file>
// The report holds the start and end time (µs since the epoch) on its first
// line, then each number taken, one a line.

#include "store/CallFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <chrono>
#include <cstdio>

namespace {

qint64 nowMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int fail(const QString &what)
{
    std::fprintf(stderr, "numberfile_taker: %s\n", qPrintable(what));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6)
        return fail(QStringLiteral("usage: numberfile_taker <number file> <go file> <count> <hold us> <report>"));
    const QString numberFile = args.at(1);
    const QString goFile = args.at(2);
    const int count = args.at(3).toInt();
    const unsigned long holdMicros = args.at(4).toULong();

    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!QFileInfo::exists(goFile)) {
        if (std::chrono::steady_clock::now() > giveUp)
            return fail(QStringLiteral("no go file"));
        QThread::usleep(500);
    }

    const qint64 start = nowMicros();
    QList<qint32> taken;
    for (int i = 0; i < count; ++i) {
        tq3::Result<tq3::NumberFile> file =
            tq3::NumberFile::open(numberFile, tq3::NumberFile::Mode::ExistingOnly, std::chrono::seconds(20));
        if (!file)
            return fail(file.error().detail);
        const tq3::Result<qint32> number = file->read();
        if (!number)
            return fail(number.error().detail);
        // Between reading and writing, where a broken lock would let another
        // copy read the same number.
        QThread::usleep(holdMicros);
        const tq3::Result<qint32> next = tq3::successor(*number);
        if (!next)
            return fail(next.error().detail);
        if (const tq3::Result<void> written = file->write(*next); !written)
            return fail(written.error().detail);
        taken.append(*number);
    }
    const qint64 end = nowMicros();

    QByteArray report = QByteArray::number(start) + ' ' + QByteArray::number(end) + '\n';
    for (qint32 number : taken)
        report += QByteArray::number(number) + '\n';
    QFile out(args.at(5));
    if (!out.open(QIODevice::WriteOnly) || out.write(report) != report.size())
        return fail(QStringLiteral("cannot write the report"));
    return 0;
}

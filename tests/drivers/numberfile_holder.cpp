// Holds a number file open, as a desk in the middle of a call does, until a
// release file appears (or it is killed).
//
// numberfile_holder <number file> <ready file> <release file>
// Before it signals ready it also opens and closes the same file through a
// second, unlocked handle: the lock must outlive that handle's close.

#include "store/CallFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <chrono>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: numberfile_holder <number file> <ready file> <release file>\n");
        return 2;
    }
    tq3::Result<tq3::NumberFile> held = tq3::NumberFile::open(args.at(1), tq3::NumberFile::Mode::ExistingOnly,
                                                              std::chrono::seconds(5));
    if (!held) {
        std::fprintf(stderr, "numberfile_holder: %s\n", qPrintable(held.error().detail));
        return 1;
    }
    {
        QFile other(args.at(1));
        if (other.open(QIODevice::ReadOnly))
            other.readAll();
    }

    QFile ready(args.at(2));
    if (!ready.open(QIODevice::WriteOnly))
        return 1;
    ready.close();

    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!QFileInfo::exists(args.at(3)) && std::chrono::steady_clock::now() < giveUp)
        QThread::msleep(5);
    return 0;
}

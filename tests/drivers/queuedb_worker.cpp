// A desk as a separate process, for the queue database's concurrency tests.
//
//   queuedb_worker claim <folder> <desk ip> <go file>
//     calls the oldest waiting ticket of the desk until none is left; prints each key claimed
//   queuedb_worker lower <folder> <service id> <attempts> <go file>
//     lowers the service's waiting count `attempts` times; prints "lowered <n>"
//   queuedb_worker hold <folder> <milliseconds> <ready file>
//     holds a lock that keeps every desk from changing Servizi for a while

#include "CallArchive.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>

using namespace tq3;
using namespace Qt::StringLiterals;

namespace {

int fail(const QString &what)
{
    std::fprintf(stderr, "queuedb_worker: %s\n", qPrintable(what));
    return 2;
}

// A desk that finds the archive busy beyond the busy timeout tries again, as
// its operator would press again.
template <typename Operation>
auto retryWhileBusy(Operation operation)
{
    for (;;) {
        auto result = operation();
        if (result.ok() || result.error().kind != ErrorKind::InUse)
            return result;
    }
}

int claim(QueueDatabase &db, const QString &desk)
{
    for (;;) {
        const auto ticket = retryWhileBusy([&] { return db.oldestWaitingTicket(desk); });
        if (!ticket)
            return fail(ticket.error().detail);
        if (!ticket->has_value())
            return 0;
        const auto marked = retryWhileBusy([&] { return db.markTicketCalled((*ticket)->key); });
        if (!marked)
            return fail(marked.error().detail);
        if (*marked) {
            test::print(QString::number((*ticket)->key));
            QThread::usleep(500);  // the operator serves the customer
        }
    }
}

int lower(QueueDatabase &db, qint64 serviceId, int attempts)
{
    int lowered = 0;
    for (int i = 0; i < attempts; ++i) {
        const auto done = retryWhileBusy([&] { return db.lowerWaiting(serviceId); });
        if (!done)
            return fail(done.error().detail);
        lowered += *done ? 1 : 0;
    }
    test::print(u"lowered %1"_s.arg(lowered));
    return 0;
}

int hold(const QString &folder, unsigned long ms, const QString &readyPath)
{
    auto builder = ArchiveBuilder::openArchive(folder);
    if (!builder)
        return fail(builder.error().detail);
    ArchiveBuilder &b = **builder;
    const bool locked = b.engine() == DatabaseEngine::Sqlite
        ? b.execute(u"BEGIN EXCLUSIVE"_s).ok()
        : b.execute(u"BEGIN"_s).ok() && b.execute(u"LOCK TABLE Servizi IN EXCLUSIVE MODE"_s).ok();
    if (!locked || !test::writeFile(readyPath))
        return fail(folder);
    QThread::msleep(ms);
    return b.execute(u"COMMIT"_s).ok() ? 0 : fail(u"COMMIT"_s);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() == 5 && a.at(1) == u"hold")
        return hold(a.at(2), a.at(3).toULong(), a.at(4));
    const bool claiming = a.size() == 5 && a.at(1) == u"claim";
    if (!claiming && !(a.size() == 6 && a.at(1) == u"lower"))
        return fail(u"usage: claim|lower|hold ..."_s);
    auto opened = QueueDatabase::open(a.at(2));
    if (!opened)
        return fail(opened.error().detail);
    test::waitForGo(a.last());
    const int code = claiming ? claim(**opened, a.at(3)) : lower(**opened, a.at(3).toLongLong(), a.at(4).toInt());
    test::print();
    return code;
}

// A desk as a separate process, for the queue database's concurrency tests.
//
//   queuedb_worker claim <folder> <desk ip> <barrier file> <result file>
//     calls the oldest waiting ticket of the desk until none is left
//   queuedb_worker lower <folder> <service id> <attempts> <barrier file> <result file>
//     lowers the service's waiting count `attempts` times
//   queuedb_worker hold <database file> <milliseconds> <ready file>
//     holds the database's write lock for a while
//
// Every worker opens the database, writes "<result file>.ready", waits for
// the barrier file, then writes "start <ms>", its
// results and "end <ms>" into the result file.

#include "DatabaseFixture.h"
#include "store/QueueDatabase.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>

#include <cstdio>

using namespace tq3;

namespace {

// Tells the test this worker is ready (its database open), then waits for
// the barrier that lets every worker go at once.
void readyThenWait(const QString &resultPath, const QString &barrier)
{
    QFile ready(resultPath + QStringLiteral(".ready"));
    if (ready.open(QIODevice::WriteOnly))
        ready.close();
    while (!QFileInfo::exists(barrier))
        QThread::usleep(200);
}

// A desk that finds the archive busy beyond the busy timeout tries again, as
// its operator would press again.
template <typename Operation>
auto retryWhileBusy(Operation operation, int &retries)
{
    for (;;) {
        auto result = operation();
        if (result.ok() || result.error().kind != ErrorKind::InUse)
            return result;
        ++retries;
    }
}

int fail(const QString &what)
{
    std::fprintf(stderr, "queuedb_worker at %lld: %s\n", test::nowMs(), qPrintable(what));
    return 2;
}

int claim(const QStringList &args)
{
    const QString folder = args.at(2), desk = args.at(3), barrier = args.at(4), resultPath = args.at(5);
    auto opened = QueueDatabase::open(folder);
    if (!opened)
        return fail(opened.error().detail);
    QueueDatabase &db = **opened;
    readyThenWait(resultPath, barrier);
    const qint64 start = test::nowMs();
    QStringList claimed;
    int lost = 0;
    int retries = 0;
    for (;;) {
        const auto ticket = retryWhileBusy([&] { return db.oldestWaitingTicket(desk); }, retries);
        if (!ticket)
            return fail(ticket.error().detail);
        if (!ticket->has_value())
            break;
        const qint64 key = (*ticket)->key;
        const auto marked = retryWhileBusy([&] { return db.markTicketCalled(key); }, retries);
        if (!marked)
            return fail(marked.error().detail);
        if (*marked) {
            claimed << QString::number(key);
            QThread::usleep(500);  // the operator serves the customer
        } else {
            ++lost;
        }
    }
    const qint64 end = test::nowMs();
    QFile out(resultPath);
    if (!out.open(QIODevice::WriteOnly))
        return fail(resultPath);
    out.write(QStringLiteral("start %1\nend %2\nlost %3\nretries %4\nclaimed %5\n")
                  .arg(start)
                  .arg(end)
                  .arg(lost)
                  .arg(retries)
                  .arg(claimed.join(u' '))
                  .toUtf8());
    return 0;
}

int lower(const QStringList &args)
{
    const QString folder = args.at(2), barrier = args.at(5), resultPath = args.at(6);
    const qint64 serviceId = args.at(3).toLongLong();
    const int attempts = args.at(4).toInt();
    auto opened = QueueDatabase::open(folder);
    if (!opened)
        return fail(opened.error().detail);
    QueueDatabase &db = **opened;
    readyThenWait(resultPath, barrier);
    const qint64 start = test::nowMs();
    int successes = 0;
    int retries = 0;
    for (int i = 0; i < attempts; ++i) {
        const auto lowered = retryWhileBusy([&] { return db.lowerWaiting(serviceId); }, retries);
        if (!lowered)
            return fail(lowered.error().detail);
        successes += *lowered ? 1 : 0;
    }
    const qint64 end = test::nowMs();
    QFile out(resultPath);
    if (!out.open(QIODevice::WriteOnly))
        return fail(resultPath);
    out.write(QStringLiteral("start %1\nend %2\nretries %3\nsuccesses %4\n")
                  .arg(start)
                  .arg(end)
                  .arg(retries)
                  .arg(successes)
                  .toUtf8());
    return 0;
}

int hold(const QStringList &args)
{
    const QString databasePath = args.at(2), readyPath = args.at(4);
    const unsigned long ms = args.at(3).toULong();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("hold"));
        db.setDatabaseName(databasePath);
        if (!db.open())
            return fail(databasePath);
        QSqlQuery begin(db);
        if (!begin.exec(QStringLiteral("BEGIN EXCLUSIVE")))
            return fail(QStringLiteral("BEGIN EXCLUSIVE"));
        QFile ready(readyPath);
        if (!ready.open(QIODevice::WriteOnly))
            return fail(readyPath);
        ready.close();
        QThread::msleep(ms);
        QSqlQuery commit(db);
        if (!commit.exec(QStringLiteral("COMMIT")))
            return fail(QStringLiteral("COMMIT"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("hold"));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 6 && args.at(1) == u"claim")
        return claim(args);
    if (args.size() == 7 && args.at(1) == u"lower")
        return lower(args);
    if (args.size() == 5 && args.at(1) == u"hold")
        return hold(args);
    return fail(QStringLiteral("usage: claim|lower|hold ..."));
}

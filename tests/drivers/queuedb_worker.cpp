// A desk as a separate process, for the queue database's concurrency tests.
//
//   queuedb_worker claim <folder> <desk ip> <barrier file> <result file>
//     calls the oldest waiting ticket of the desk until none is left
//   queuedb_worker lower <folder> <service id> <attempts> <barrier file> <result file>
//     lowers the service's waiting count `attempts` times
//   queuedb_worker hold <database file> <milliseconds> <ready file>
//     holds the database's write lock for a while
//
// A claiming or lowering worker opens the database, writes "<result file>.ready",
// waits for the barrier file, then writes "start <ms>", "end <ms>",
// "retries <n>" and its results into the result file, one a line.

#include "DatabaseFixture.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>

#include <cstdio>

using namespace tq3;
using namespace Qt::StringLiterals;

namespace {

int fail(const QString &what)
{
    std::fprintf(stderr, "queuedb_worker at %lld: %s\n", test::nowMs(), qPrintable(what));
    return 2;
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

using Work = std::function<Result<QString>(QueueDatabase &, int &retries)>;

int runAtBarrier(const QString &folder, const QString &barrier, const QString &resultPath, const Work &work)
{
    auto opened = QueueDatabase::open(folder);
    if (!opened)
        return fail(opened.error().detail);
    if (QFile ready(resultPath + u".ready"_s); !ready.open(QIODevice::WriteOnly))
        return fail(ready.fileName());
    while (!QFileInfo::exists(barrier))
        QThread::usleep(200);
    const qint64 start = test::nowMs();
    int retries = 0;
    const Result<QString> results = work(**opened, retries);
    const qint64 end = test::nowMs();
    if (!results)
        return fail(results.error().detail);
    QFile out(resultPath);
    const QByteArray text =
        u"start %1\nend %2\nretries %3\n%4"_s.arg(start).arg(end).arg(retries).arg(*results).toUtf8();
    return out.open(QIODevice::WriteOnly) && out.write(text) == text.size() ? 0 : fail(resultPath);
}

Result<QString> claim(QueueDatabase &db, const QString &desk, int &retries)
{
    QStringList claimed;
    int lost = 0;
    for (;;) {
        const auto ticket = retryWhileBusy([&] { return db.oldestWaitingTicket(desk); }, retries);
        if (!ticket || !ticket->has_value())
            return ticket ? Result<QString>(u"lost %1\nclaimed %2\n"_s.arg(lost).arg(claimed.join(u' ')))
                          : ticket.error();
        const auto marked = retryWhileBusy([&] { return db.markTicketCalled((*ticket)->key); }, retries);
        if (!marked)
            return marked.error();
        if (*marked) {
            claimed << QString::number((*ticket)->key);
            QThread::usleep(500);  // the operator serves the customer
        } else {
            ++lost;
        }
    }
}

Result<QString> lower(QueueDatabase &db, qint64 serviceId, int attempts, int &retries)
{
    int successes = 0;
    for (int i = 0; i < attempts; ++i) {
        const auto lowered = retryWhileBusy([&] { return db.lowerWaiting(serviceId); }, retries);
        if (!lowered)
            return lowered.error();
        successes += *lowered ? 1 : 0;
    }
    return u"successes %1\n"_s.arg(successes);
}

int hold(const QString &databasePath, unsigned long ms, const QString &readyPath)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"hold"_s);
        db.setDatabaseName(databasePath);
        QSqlQuery query(db);
        if (!db.open() || !query.exec(u"BEGIN EXCLUSIVE"_s))
            return fail(databasePath);
        if (QFile ready(readyPath); !ready.open(QIODevice::WriteOnly))
            return fail(readyPath);
        QThread::msleep(ms);
        if (!query.exec(u"COMMIT"_s))
            return fail(u"COMMIT"_s);
    }
    QSqlDatabase::removeDatabase(u"hold"_s);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() == 6 && a.at(1) == u"claim")
        return runAtBarrier(a.at(2), a.at(4), a.at(5), [&](QueueDatabase &db, int &retries) {
            return claim(db, a.at(3), retries);
        });
    if (a.size() == 7 && a.at(1) == u"lower")
        return runAtBarrier(a.at(2), a.at(5), a.at(6), [&](QueueDatabase &db, int &retries) {
            return lower(db, a.at(3).toLongLong(), a.at(4).toInt(), retries);
        });
    if (a.size() == 5 && a.at(1) == u"hold")
        return hold(a.at(2), a.at(3).toULong(), a.at(4));
    return fail(u"usage: claim|lower|hold ..."_s);
}

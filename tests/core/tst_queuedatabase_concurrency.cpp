#include "DatabaseFixture.h"
#include "TestSupport.h"
#include "store/ArchiveBuilder.h"
#include "store/QueueDatabase.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <memory>
#include <vector>

using namespace tq3;

namespace {

struct WorkerRun final {
    qint64 start = 0;
    qint64 end = 0;
    QMap<QString, QString> values;
};

QString workerPath()
{
    return QDir(test::binDir()).filePath(QStringLiteral("queuedb_worker"));
}

WorkerRun readRun(const QString &path)
{
    WorkerRun run;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return run;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const qsizetype blank = line.indexOf(u' ');
        const QString key = blank < 0 ? line : line.left(blank);
        run.values.insert(key, blank < 0 ? QString() : line.mid(blank + 1));
    }
    run.start = run.values.value(QStringLiteral("start")).toLongLong();
    run.end = run.values.value(QStringLiteral("end")).toLongLong();
    return run;
}

// Starts the workers, lets them all go at once through the barrier file and
// waits for them; returns their result files.
QList<WorkerRun> runTogether(const QString &folder, const QList<QStringList> &argumentLists,
                             const QString &barrier)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const QStringList &arguments : argumentLists) {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(workerPath(), arguments);
        if (!process->waitForStarted(10000))
            qWarning("worker did not start: %s", qPrintable(process->errorString()));
        processes.push_back(std::move(process));
    }
    // Let them go only when every one stands at the barrier.
    for (int index = 0; index < argumentLists.size(); ++index) {
        const QString ready = QDir(folder).filePath(QStringLiteral("result-%1.txt.ready").arg(index));
        for (int tries = 0; tries < 3000 && !QFileInfo::exists(ready); ++tries)
            QThread::msleep(10);
    }
    QFile go(barrier);
    if (go.open(QIODevice::WriteOnly))
        go.close();
    QList<WorkerRun> runs;
    int index = 0;
    for (auto &process : processes) {
        if (!process->waitForFinished(120000) || process->exitCode() != 0) {
            qWarning("worker %d failed with exit code %d", index, process->exitCode());
            runs.append(WorkerRun{});
        } else {
            runs.append(readRun(QDir(folder).filePath(QStringLiteral("result-%1.txt").arg(index))));
        }
        ++index;
    }
    return runs;
}

// True when one moment lies inside every run: the workers really overlapped.
bool allOverlap(const QList<WorkerRun> &runs)
{
    qint64 latestStart = 0;
    qint64 earliestEnd = std::numeric_limits<qint64>::max();
    for (const WorkerRun &run : runs) {
        if (run.start == 0 || run.end < run.start)
            return false;
        latestStart = std::max(latestStart, run.start);
        earliestEnd = std::min(earliestEnd, run.end);
    }
    return latestStart <= earliestEnd;
}

} // namespace

class TestQueueDatabaseConcurrency final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void everyWaitingTicketIsCalledExactlyOnce_data();
    void everyWaitingTicketIsCalledExactlyOnce();
    void concurrentLoweringsAddUpAndNeverPassZero_data();
    void concurrentLoweringsAddUpAndNeverPassZero();
    void aDeskWaitsForADatabaseLockedByAnother();

private:
    QTemporaryDir m_dir;
    int m_folders = 0;
};

void TestQueueDatabaseConcurrency::initTestCase()
{
    QVERIFY2(QFileInfo::exists(workerPath()), qPrintable(workerPath()));
}

void TestQueueDatabaseConcurrency::everyWaitingTicketIsCalledExactlyOnce_data()
{
    QTest::addColumn<int>("desks");
    QTest::addColumn<QList<qint64>>("services");
    QTest::addColumn<int>("tickets");

    QTest::newRow("four desks take one service's queue") << 4 << QList<qint64>{1} << 240;
    QTest::newRow("five desks take three services' queues") << 5 << QList<qint64>{1, 2, 3} << 300;
}

void TestQueueDatabaseConcurrency::everyWaitingTicketIsCalledExactlyOnce()
{
    QFETCH(int, desks);
    QFETCH(QList<qint64>, services);
    QFETCH(int, tickets);

    const QString folder = m_dir.filePath(QStringLiteral("claim-%1").arg(++m_folders));
    QVERIFY(QDir().mkpath(folder));
    QList<qint64> waiting;
    {
        auto builder = test::createQueueDatabase(folder);
        QVERIFY(builder);
        for (int desk = 0; desk < desks; ++desk) {
            for (const qint64 service : services)
                QVERIFY(builder->addDeskService(QStringLiteral("10.0.0.%1").arg(desk + 1), service,
                                                QStringLiteral("S%1").arg(service))
                            .ok());
        }
        // Every third ticket is already called; the others wait.
        QVERIFY(builder->fillTickets(services, tickets, 1, QDateTime(QDate(2026, 2, 1), QTime(8, 0))).ok());
        QVERIFY(builder->execute(QStringLiteral("UPDATE CodaFromTotem SET SeChiamato = 1 WHERE Id % 3 = 0")).ok());
        QSqlQuery select(QSqlDatabase::database(builder->connectionName()));
        QVERIFY(select.exec(QStringLiteral("SELECT Id FROM CodaFromTotem WHERE SeChiamato = 0 ORDER BY Id")));
        while (select.next())
            waiting << select.value(0).toLongLong();
    }
    QVERIFY(waiting.size() > tickets / 2);

    const QString barrier = QDir(folder).filePath(QStringLiteral("go"));
    QList<QStringList> arguments;
    for (int desk = 0; desk < desks; ++desk) {
        arguments << QStringList{QStringLiteral("claim"), folder, QStringLiteral("10.0.0.%1").arg(desk + 1), barrier,
                                 QDir(folder).filePath(QStringLiteral("result-%1.txt").arg(desk))};
    }
    const QList<WorkerRun> runs = runTogether(folder, arguments, barrier);
    QCOMPARE(runs.size(), desks);
    QVERIFY2(allOverlap(runs), "the desks did not run at the same time");

    QList<qint64> claimed;
    int desksThatCalled = 0;
    for (const WorkerRun &run : runs) {
        QList<qint64> own;
        for (const QString &key : run.values.value(QStringLiteral("claimed")).split(u' ', Qt::SkipEmptyParts))
            own << key.toLongLong();
        // Each desk calls in queue order: tickets were drawn in key order.
        QVERIFY(std::is_sorted(own.begin(), own.end()));
        desksThatCalled += own.isEmpty() ? 0 : 1;
        claimed << own;
    }
    std::sort(claimed.begin(), claimed.end());
    QCOMPARE(claimed, waiting);  // every waiting ticket once, no other, none twice
    QStringList summary;
    for (const WorkerRun &run : runs) {
        summary << QStringLiteral("%1-%2 lost %3 retries %4 called %5")
                       .arg(run.start)
                       .arg(run.end)
                       .arg(run.values.value(QStringLiteral("lost")), run.values.value(QStringLiteral("retries")))
                       .arg(run.values.value(QStringLiteral("claimed")).count(u' ') + 1);
    }
    // SQLite does not share its lock fairly, so one desk may take most of the
    // queue; what matters is that no ticket is lost or called twice.
    qInfo("%d desks called; per desk: %s", desksThatCalled, qPrintable(summary.join(QStringLiteral("; "))));

    auto db = QueueDatabase::open(folder);
    QVERIFY(db.ok());
    QCOMPARE((*db)->anyWaitingTicket().value(), false);
}

void TestQueueDatabaseConcurrency::concurrentLoweringsAddUpAndNeverPassZero_data()
{
    QTest::addColumn<int>("desks");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<int>("startCount");

    QTest::newRow("more calls than waiting tickets end at zero") << 4 << 50 << 120;
    QTest::newRow("fewer calls than waiting tickets lower by exactly the calls") << 4 << 40 << 1000;
}

void TestQueueDatabaseConcurrency::concurrentLoweringsAddUpAndNeverPassZero()
{
    QFETCH(int, desks);
    QFETCH(int, attempts);
    QFETCH(int, startCount);

    const QString folder = m_dir.filePath(QStringLiteral("lower-%1").arg(++m_folders));
    QVERIFY(QDir().mkpath(folder));
    {
        auto builder = test::createQueueDatabase(folder);
        QVERIFY(builder);
        QVERIFY(builder->addService(4, QStringLiteral("Servizi Sociali"), true, startCount).ok());
        QVERIFY(builder->addService(5, QStringLiteral("Anagrafe"), true, 17).ok());
    }
    const QString barrier = QDir(folder).filePath(QStringLiteral("go"));
    QList<QStringList> arguments;
    for (int desk = 0; desk < desks; ++desk) {
        arguments << QStringList{QStringLiteral("lower"), folder, QStringLiteral("4"), QString::number(attempts),
                                 barrier, QDir(folder).filePath(QStringLiteral("result-%1.txt").arg(desk))};
    }
    const QList<WorkerRun> runs = runTogether(folder, arguments, barrier);
    QCOMPARE(runs.size(), desks);
    QVERIFY2(allOverlap(runs), "the desks did not run at the same time");

    int successes = 0;
    for (const WorkerRun &run : runs)
        successes += run.values.value(QStringLiteral("successes"), QStringLiteral("-1")).toInt();
    const int expectedSuccesses = std::min(startCount, desks * attempts);
    QCOMPARE(successes, expectedSuccesses);

    auto db = QueueDatabase::open(folder);
    QVERIFY(db.ok());
    QCOMPARE((*(*db)->serviceWaiting(4))->toLongLong(), qint64(startCount - successes));
    QCOMPARE((*(*db)->serviceWaiting(5))->toLongLong(), 17);
}

void TestQueueDatabaseConcurrency::aDeskWaitsForADatabaseLockedByAnother()
{
    const QString folder = m_dir.filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkpath(folder));
    {
        auto builder = test::createQueueDatabase(folder);
        QVERIFY(builder);
        QVERIFY(builder->addService(1, QStringLiteral("Anagrafe"), true, 2).ok());
    }
    auto db = QueueDatabase::open(folder);
    QVERIFY(db.ok());

    const QString ready = QDir(folder).filePath(QStringLiteral("ready"));
    QProcess holder;
    holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    holder.start(workerPath(), {QStringLiteral("hold"), (*db)->filePath(), QStringLiteral("700"), ready});
    QVERIFY(holder.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(ready), 10000);

    // Without the busy timeout both would fail at once with "database is locked".
    const Result<bool> lowered = (*db)->lowerWaiting(1);
    QVERIFY2(lowered.ok(), qPrintable(lowered.ok() ? QString() : lowered.error().detail));
    QCOMPARE(*lowered, true);
    QVERIFY(holder.waitForFinished(10000));
    QCOMPARE(holder.exitCode(), 0);
    QCOMPARE((*(*db)->serviceWaiting(1))->toLongLong(), 1);
}

QTEST_GUILESS_MAIN(TestQueueDatabaseConcurrency)
#include "tst_queuedatabase_concurrency.moc"

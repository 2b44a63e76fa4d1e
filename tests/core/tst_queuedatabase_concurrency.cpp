#include "CallArchive.h"
#include "TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;

namespace {

QString workerPath()
{
    return QDir(binDir()).filePath(u"queuedb_worker"_s);
}

// One worker per argument list, let go together; empty unless every one ended well and they overlapped.
QList<QStringList> runWorkers(const QString &folder, int desks, const std::function<QStringList(int desk)> &arguments)
{
    const QString go = QDir(folder).filePath(u"go"_s);
    QList<QStringList> all;
    for (int desk = 0; desk < desks; ++desk)
        all << (arguments(desk) << go);
    const RunTogether runs = test::runTogether(workerPath(), all, go);
    QList<QStringList> lines;
    for (const DriverRun &run : runs.runs) {
        if (run.exitCode == 0)
            lines << run.lines;
    }
    if (runs.overlapped && lines.size() == desks)
        return lines;
    qWarning("the desks did not run at the same time, or one failed");
    return {};
}

} // namespace

class TestQueueDatabaseConcurrency final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyWaitingTicketIsCalledExactlyOnce();
    void concurrentLoweringsAddUpAndNeverPassZero();
    void aDeskWaitsForALockHeldByAnotherUpToFiveSeconds_data();
    void aDeskWaitsForALockHeldByAnotherUpToFiveSeconds();

private:
    QTemporaryDir m_dir;
    int m_folders = 0;
};

void TestQueueDatabaseConcurrency::everyWaitingTicketIsCalledExactlyOnce()
{
    // Five desks take the queues of three services they all serve.
    constexpr int desks = 5;
    constexpr int tickets = 300;
    const QList<qint64> services{1, 2, 3};
    const QString folder = m_dir.filePath(QString::number(++m_folders));
    auto db = buildAndOpen(folder, [&](ArchiveBuilder &b) {
        bool ok = true;
        for (int desk = 1; desk <= desks; ++desk) {
            for (const qint64 service : services)
                ok = ok && b.addDeskService(u"10.0.0.%1"_s.arg(desk), service, u"S%1"_s.arg(service)).ok();
        }
        // Every third ticket is already called; the others wait.
        return ok && b.fillTickets(services, tickets, 1, QDateTime(QDate(2026, 2, 1), QTime(8, 0))).ok()
               && b.execute(u"UPDATE CodaFromTotem SET SeChiamato = true WHERE Id % 3 = 0"_s).ok();
    });
    QVERIFY(db);
    QList<qint64> waiting;  // the keys run from 1 in the order drawn
    for (qint64 key = 1; key <= tickets; ++key) {
        if (key % 3 != 0)
            waiting << key;
    }

    const QList<QStringList> runs = runWorkers(folder, desks, [&](int desk) {
        return QStringList{u"claim"_s, folder, u"10.0.0.%1"_s.arg(desk + 1)};
    });
    QCOMPARE(runs.size(), desks);
    QList<qint64> claimed;
    for (const QStringList &run : runs) {
        QList<qint64> own;
        for (const QString &key : run)
            own << key.toLongLong();
        QVERIFY(std::is_sorted(own.begin(), own.end()));  // each desk calls in queue order
        claimed << own;
    }
    // SQLite does not share its lock fairly, so one desk may take most of the
    // queue; what matters is that no ticket is lost or called twice.
    std::sort(claimed.begin(), claimed.end());
    QCOMPARE(claimed, waiting);
    QCOMPARE(db->anyWaitingTicket().value(), false);
}

void TestQueueDatabaseConcurrency::concurrentLoweringsAddUpAndNeverPassZero()
{
    // More calls than waiting tickets: every lowering up to zero counts, none beyond.
    constexpr int kDesks = 4;
    constexpr int attempts = 50;
    constexpr int startCount = 120;
    const QString folder = m_dir.filePath(QString::number(++m_folders));
    auto db = buildAndOpen(folder, [&](ArchiveBuilder &b) {
        return b.addService(4, u"Servizi Sociali"_s, true, startCount).ok()
               && b.addService(5, u"Anagrafe"_s, true, 17).ok();
    });
    QVERIFY(db);
    const QList<QStringList> runs = runWorkers(folder, kDesks, [&](int) {
        return QStringList{u"lower"_s, folder, u"4"_s, QString::number(attempts)};
    });
    QCOMPARE(runs.size(), kDesks);
    int successes = 0;
    for (const QStringList &run : runs)
        successes += run.value(0).mid(8).toInt();
    QCOMPARE(successes, std::min(startCount, kDesks * attempts));
    QCOMPARE(db->serviceWaiting(4).value()->toLongLong(), qint64(startCount - successes));
    QCOMPARE(db->serviceWaiting(5).value()->toLongLong(), 17);
}

void TestQueueDatabaseConcurrency::aDeskWaitsForALockHeldByAnotherUpToFiveSeconds_data()
{
    QTest::addColumn<int>("heldMs");
    QTest::addColumn<QString>("message");  // null: the count was lowered
    QTest::newRow("a lock held for 0.7 s is waited for") << 700 << QString();
    QTest::newRow("a lock held for 6.5 s makes the archive busy") << 6500 << u"Archivio occupato, riprovare !"_s;
}

void TestQueueDatabaseConcurrency::aDeskWaitsForALockHeldByAnotherUpToFiveSeconds()
{
    QFETCH(int, heldMs);
    QFETCH(QString, message);
    const QString folder = m_dir.filePath(QString::number(++m_folders));
    auto db = buildAndOpen(folder, [](ArchiveBuilder &b) { return b.addService(1, u"Anagrafe"_s, true, 2).ok(); });
    QVERIFY(db);
    const QString ready = m_dir.filePath(u"ready%1"_s.arg(m_folders));
    QProcess holder;
    holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    holder.start(workerPath(), {u"hold"_s, folder, QString::number(heldMs), ready});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(ready), 10000);

    // Without the timeout this would fail at once ("database is locked"), or wait for ever.
    const Result<bool> lowered = db->lowerWaiting(1);
    QCOMPARE(lowered.ok() ? QString() : lowered.error().message, message);
    QVERIFY(holder.waitForFinished(20000));
    QCOMPARE(holder.exitCode(), 0);
    QCOMPARE(db->serviceWaiting(1).value()->toLongLong(), message.isNull() ? 1 : 2);
}

TQ3_ARCHIVE_TEST_MAIN(TestQueueDatabaseConcurrency)
#include "tst_queuedatabase_concurrency.moc"

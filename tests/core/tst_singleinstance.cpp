#include "startup/SingleInstance.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

#include <signal.h>

using namespace tq3;

namespace {

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

// "claimed <start ms> <end ms>" or "refused ..." as the claimer wrote it.
QStringList claimOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).split(u' ') : QStringList();
}

} // namespace

class TestSingleInstance final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aClaimHoldsUntilItsClientEnds();
    void ofClientsStartingTogetherExactlyOneRuns();
    void aClaimLeftByAKilledClientDoesNotCount();
};

void TestSingleInstance::aClaimHoldsUntilItsClientEnds()
{
    QTemporaryDir dir;
    auto first = std::make_unique<SingleInstance>(dir.path());
    QVERIFY(first->claim());
    // A claim file from an old start, as after days of running, still holds.
    QFile lock(QDir(dir.path()).filePath(SingleInstance::kName + QStringLiteral(".lock")));
    QVERIFY(lock.open(QIODevice::ReadWrite));
    QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addDays(-3), QFileDevice::FileModificationTime));
    lock.close();
    SingleInstance second(dir.path());
    QVERIFY(!second.claim());
    QVERIFY(first->isClaimed() && !second.isClaimed());

    QTemporaryDir elsewhere;
    QVERIFY(SingleInstance(elsewhere.path()).claim());  // another machine, as far as the claim can tell
    first.reset();
    QVERIFY(second.claim());
}

void TestSingleInstance::ofClientsStartingTogetherExactlyOneRuns()
{
    QTemporaryDir dir;
    const QString lockFolder = dir.filePath(QStringLiteral("tmp"));
    QVERIFY(QDir().mkpath(lockFolder));
    const QString go = dir.filePath(QStringLiteral("go"));
    const QString release = dir.filePath(QStringLiteral("release"));
    constexpr int kClients = 4;
    auto result = [&](int i) { return dir.filePath(QStringLiteral("result%1").arg(i)); };

    std::vector<std::unique_ptr<QProcess>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<QProcess>());
        clients.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        clients.back()->start(test::binDir() + QStringLiteral("/startup_claimer"),
                              {lockFolder, go, result(i), release});
        QVERIFY(clients.back()->waitForStarted());
    }
    touch(go);  // the barrier: every claimer waits for it

    int claimed = 0;
    qint64 latestStart = 0;
    qint64 earliestEnd = std::numeric_limits<qint64>::max();
    for (int i = 0; i < kClients; ++i) {
        QTRY_VERIFY_WITH_TIMEOUT(claimOf(result(i)).size() == 3, 20000);
        const QStringList claim = claimOf(result(i));
        QVERIFY2(claim.at(0) == QStringLiteral("claimed") || claim.at(0) == QStringLiteral("refused"),
                 qPrintable(claim.at(0)));
        claimed += claim.at(0) == QStringLiteral("claimed");
        latestStart = std::max(latestStart, claim.at(1).toLongLong());
        earliestEnd = std::min(earliestEnd, claim.at(2).toLongLong());
    }
    QVERIFY2(latestStart < earliestEnd, "the claims did not overlap");
    QCOMPARE(claimed, 1);

    touch(release);
    for (auto &process : clients) {
        QVERIFY(process->waitForFinished(20000));
        QCOMPARE(process->exitCode(), 0);
    }
    QVERIFY(SingleInstance(lockFolder).claim());
}

void TestSingleInstance::aClaimLeftByAKilledClientDoesNotCount()
{
    QTemporaryDir dir;
    const QString go = dir.filePath(QStringLiteral("go"));
    const QString result = dir.filePath(QStringLiteral("result"));
    touch(go);

    QProcess client;
    client.start(test::binDir() + QStringLiteral("/startup_claimer"),
                 {dir.path(), go, result, dir.filePath(QStringLiteral("never"))});
    QVERIFY(client.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(claimOf(result).value(0), QStringLiteral("claimed"), 20000);
    QVERIFY(!SingleInstance(dir.path()).claim());

    ::kill(static_cast<pid_t>(client.processId()), SIGKILL);
    QVERIFY(client.waitForFinished(20000));
    QCOMPARE(client.exitStatus(), QProcess::CrashExit);
    QVERIFY(QFile::exists(QDir(dir.path()).filePath(SingleInstance::kName + QStringLiteral(".lock"))));  // left behind
    QVERIFY(SingleInstance(dir.path()).claim());
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"

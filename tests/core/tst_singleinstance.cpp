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

struct Claim {
    QString outcome;
    qint64 start = 0;
    qint64 end = 0;
};

Claim readClaim(const QString &path)
{
    QFile file(path);
    Claim claim;
    if (!file.open(QIODevice::ReadOnly))
        return claim;
    const QStringList parts = QString::fromLatin1(file.readAll()).split(u' ');
    if (parts.size() == 3) {
        claim.outcome = parts.at(0);
        claim.start = parts.at(1).toLongLong();
        claim.end = parts.at(2).toLongLong();
    }
    return claim;
}

void touch(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

} // namespace

class TestSingleInstance final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aSecondClaimInTheSameFolderIsRefused();
    void releasingTheClaimLetsTheNextOneIn();
    void ofClientsStartingTogetherExactlyOneRuns();
    void aClaimLeftByAKilledClientDoesNotCount();
    void aLongRunningClientKeepsItsClaim();
};

void TestSingleInstance::aSecondClaimInTheSameFolderIsRefused()
{
    QTemporaryDir dir;
    SingleInstance first(dir.path());
    SingleInstance second(dir.path());
    QVERIFY(first.claim());
    QVERIFY(!second.claim());
    QVERIFY(first.isClaimed());
    QVERIFY(!second.isClaimed());

    QTemporaryDir elsewhere;
    SingleInstance third(elsewhere.path());
    QVERIFY(third.claim());  // another machine, as far as the claim can tell
}

void TestSingleInstance::releasingTheClaimLetsTheNextOneIn()
{
    QTemporaryDir dir;
    {
        SingleInstance first(dir.path());
        QVERIFY(first.claim());
    }
    SingleInstance next(dir.path());
    QVERIFY(next.claim());
}

void TestSingleInstance::ofClientsStartingTogetherExactlyOneRuns()
{
    QTemporaryDir dir;
    const QString lockFolder = dir.filePath(QStringLiteral("tmp"));
    QVERIFY(QDir().mkpath(lockFolder));
    const QString go = dir.filePath(QStringLiteral("go"));
    const QString release = dir.filePath(QStringLiteral("release"));
    constexpr int kClients = 4;

    std::vector<std::unique_ptr<QProcess>> clients;
    for (int i = 0; i < kClients; ++i) {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(test::binDir() + QStringLiteral("/startup_claimer"),
                       {lockFolder, go, dir.filePath(QStringLiteral("result%1").arg(i)), release});
        QVERIFY(process->waitForStarted());
        clients.push_back(std::move(process));
    }
    touch(go);
    for (int i = 0; i < kClients; ++i)
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath(QStringLiteral("result%1").arg(i))), 20000);

    int claimed = 0;
    qint64 latestStart = 0;
    qint64 earliestEnd = std::numeric_limits<qint64>::max();
    for (int i = 0; i < kClients; ++i) {
        const Claim claim = readClaim(dir.filePath(QStringLiteral("result%1").arg(i)));
        QVERIFY2(claim.outcome == QStringLiteral("claimed") || claim.outcome == QStringLiteral("refused"),
                 qPrintable(claim.outcome));
        claimed += claim.outcome == QStringLiteral("claimed");
        latestStart = std::max(latestStart, claim.start);
        earliestEnd = std::min(earliestEnd, claim.end);
    }
    QVERIFY2(latestStart < earliestEnd, "the starts did not overlap");
    QCOMPARE(claimed, 1);

    touch(release);
    for (auto &process : clients) {
        QVERIFY(process->waitForFinished(20000));
        QCOMPARE(process->exitCode(), 0);
    }
    SingleInstance after(lockFolder);
    QVERIFY(after.claim());
}

void TestSingleInstance::aClaimLeftByAKilledClientDoesNotCount()
{
    QTemporaryDir dir;
    const QString lockFolder = dir.filePath(QStringLiteral("tmp"));
    QVERIFY(QDir().mkpath(lockFolder));
    const QString go = dir.filePath(QStringLiteral("go"));
    touch(go);
    const QString result = dir.filePath(QStringLiteral("result"));

    QProcess client;
    client.start(test::binDir() + QStringLiteral("/startup_claimer"),
                 {lockFolder, go, result, dir.filePath(QStringLiteral("never"))});
    QVERIFY(client.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(result), 20000);
    QTRY_COMPARE(readClaim(result).outcome, QStringLiteral("claimed"));

    SingleInstance whileRunning(lockFolder);
    QVERIFY(!whileRunning.claim());

    ::kill(static_cast<pid_t>(client.processId()), SIGKILL);
    QVERIFY(client.waitForFinished(20000));
    QCOMPARE(client.exitStatus(), QProcess::CrashExit);
    QVERIFY(!QDir(lockFolder).isEmpty());  // the claim is left behind

    SingleInstance next(lockFolder);
    QVERIFY(next.claim());
}

void TestSingleInstance::aLongRunningClientKeepsItsClaim()
{
    QTemporaryDir dir;
    SingleInstance running(dir.path());
    QVERIFY(running.claim());
    // A claim file from an old start, as after days of running.
    const QString lockFile = QDir(dir.path()).filePath(SingleInstance::kName + QStringLiteral(".lock"));
    QFile file(lockFile);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-3), QFileDevice::FileModificationTime));
    file.close();
    SingleInstance second(dir.path());
    QVERIFY(!second.claim());
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"

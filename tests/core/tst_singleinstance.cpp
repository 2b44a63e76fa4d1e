#include "core/startup/SingleInstance.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

using namespace tq3;

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
    const QString go = dir.filePath(QStringLiteral("go"));
    const QStringList claimer{dir.path(), go, QStringLiteral("200")};
    const test::RunTogether runs =
        test::runTogether(test::binDir() + QStringLiteral("/startup_claimer"), {claimer, claimer, claimer, claimer}, go);
    QVERIFY2(runs.overlapped, "the claims did not overlap");
    QStringList outcomes;
    for (const test::DriverRun &run : runs.runs)
        outcomes << run.lines;
    outcomes.sort();
    QCOMPARE(outcomes, QStringList({QStringLiteral("claimed"), QStringLiteral("refused"), QStringLiteral("refused"),
                                    QStringLiteral("refused")}));
    QVERIFY(SingleInstance(dir.path()).claim());
}

void TestSingleInstance::aClaimLeftByAKilledClientDoesNotCount()
{
    QTemporaryDir dir;
    const QString go = dir.filePath(QStringLiteral("go"));
    QVERIFY(QFile(go).open(QIODevice::WriteOnly));
    QProcess client;
    client.start(test::binDir() + QStringLiteral("/startup_claimer"), {dir.path(), go, QStringLiteral("60000")});
    QByteArray printed;
    QTRY_VERIFY_WITH_TIMEOUT((printed += client.readAllStandardOutput()).contains("claimed"), 20000);
    QVERIFY(!SingleInstance(dir.path()).claim());

    ::kill(static_cast<pid_t>(client.processId()), SIGKILL);
    QVERIFY(client.waitForFinished(20000));
    QCOMPARE(client.exitStatus(), QProcess::CrashExit);
    QVERIFY(QFile::exists(QDir(dir.path()).filePath(SingleInstance::kName + QStringLiteral(".lock"))));  // left behind
    QVERIFY(SingleInstance(dir.path()).claim());
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"

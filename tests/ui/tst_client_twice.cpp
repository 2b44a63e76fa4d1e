// The real client started twice on one machine, under a virtual X server:
// the second refuses to run and says so, the first goes on undisturbed, and
// a client killed outright does not keep the next one from starting.

#include "TestSupport.h"
#include "startup_Archive.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

using namespace tq3;

namespace {

const QString kLauncherTitle = QStringLiteral("^TQ3 MAX - Modulo Client versione 3.1.15$");

// Runs xdotool with the arguments; its output lines, or nothing after
// `timeoutMs` (a --sync search that finds nothing is stopped then).
QStringList xdotool(const QProcessEnvironment &env, const QStringList &args, int timeoutMs = 20000)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("xdotool"), args);
    if (!process.waitForStarted())
        return {};
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

QStringList windowsOf(const QProcessEnvironment &env, qint64 pid, const QString &title)
{
    return xdotool(env, {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                         QString::number(pid), QStringLiteral("--name"), title},
                   5000);
}

} // namespace

class TestClientTwice final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void theSecondClientOnAMachineRefusesAndEnds();

private:
    QTemporaryDir m_dir;
    QProcess m_xvfb;
    QProcessEnvironment m_env;
};

void TestClientTwice::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("Xvfb or xdotool is not installed (scripts/install-deps.sh installs them)");
    QVERIFY(m_dir.isValid());

    // Xvfb picks a free display and writes its number on the given descriptor.
    m_xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                          QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                                          QStringLiteral("tcp")});
    QVERIFY(m_xvfb.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(m_xvfb.canReadLine(), 20000);
    const QString display = QString::fromLatin1(m_xvfb.readLine()).trimmed();
    QVERIFY(!display.isEmpty());

    const QString runtime = m_dir.filePath(QStringLiteral("runtime"));
    QVERIFY(QDir().mkpath(runtime));
    QVERIFY(QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    // One temp folder for every client of this test: the machine they share.
    const QString machineTemp = m_dir.filePath(QStringLiteral("tmp"));
    QVERIFY(QDir().mkpath(machineTemp));

    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert(QStringLiteral("DISPLAY"), u':' + display);
    m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    m_env.insert(QStringLiteral("TMPDIR"), machineTemp);
    m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
}

void TestClientTwice::cleanupTestCase()
{
    if (m_xvfb.state() != QProcess::NotRunning) {
        m_xvfb.terminate();
        if (!m_xvfb.waitForFinished(5000))
            m_xvfb.kill();
    }
}

void TestClientTwice::theSecondClientOnAMachineRefusesAndEnds()
{
    const QString work = m_dir.filePath(QStringLiteral("work"));
    const QString archive = m_dir.filePath(QStringLiteral("archivio"));
    QVERIFY(QDir().mkpath(work));
    QVERIFY(test::createStartupArchive(archive, test::StartupDatabase::WithConfigurazione, 2, 4000));
    QVERIFY(test::writeStartupSettings(QDir(work).filePath(QStringLiteral("PercorsiClient.txt")), archive,
                                       QStringLiteral("Sportello 1"), QStringLiteral("127.0.0.1"), QStringLiteral("N")));
    const QString client = test::binDir() + QStringLiteral("/tq3max-client");

    auto startClient = [&](QProcess &process) {
        process.setProcessEnvironment(m_env);
        process.setWorkingDirectory(work);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(client, {});
        return process.waitForStarted();
    };

    QProcess first;
    QProcess second;
    QProcess third;
    // Whatever happens, no client outlives the test.
    auto stopAll = qScopeGuard([&] {
        for (QProcess *p : {&first, &second, &third}) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    });
    QVERIFY(startClient(first));
    const QStringList firstLauncher =
        xdotool(m_env, {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                        QStringLiteral("--pid"), QString::number(first.processId()), QStringLiteral("--name"),
                        kLauncherTitle});
    QCOMPARE(firstLauncher.size(), 1);

    QVERIFY(startClient(second));
    const QStringList box = xdotool(m_env, {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--sync"),
                                            QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                                            QString::number(second.processId()), QStringLiteral("--name"),
                                            QStringLiteral("^ATTENZIONE$")});
    QCOMPARE(box.size(), 1);
    QCOMPARE(second.state(), QProcess::Running);  // waiting for the operator
    QVERIFY(windowsOf(m_env, second.processId(), kLauncherTitle).isEmpty());

    // The operator presses Enter on the box: OK is its only button.
    xdotool(m_env, {QStringLiteral("windowfocus"), QStringLiteral("--sync"), box.first()}, 5000);
    xdotool(m_env, {QStringLiteral("key"), QStringLiteral("--window"), box.first(), QStringLiteral("Return")}, 5000);
    if (!second.waitForFinished(5000)) {
        xdotool(m_env, {QStringLiteral("key"), QStringLiteral("Return")}, 5000);
        QVERIFY(second.waitForFinished(10000));
    }
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);

    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(windowsOf(m_env, first.processId(), kLauncherTitle), firstLauncher);

    ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
    QVERIFY(first.waitForFinished(10000));

    QVERIFY(startClient(third));
    const QStringList thirdLauncher =
        xdotool(m_env, {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                        QStringLiteral("--pid"), QString::number(third.processId()), QStringLiteral("--name"),
                        kLauncherTitle});
    QCOMPARE(thirdLauncher.size(), 1);
    QVERIFY(windowsOf(m_env, third.processId(), QStringLiteral("^ATTENZIONE$")).isEmpty());
    third.terminate();
    if (!third.waitForFinished(5000)) {
        third.kill();
        third.waitForFinished(5000);
    }
}

QTEST_GUILESS_MAIN(TestClientTwice)
#include "tst_client_twice.moc"

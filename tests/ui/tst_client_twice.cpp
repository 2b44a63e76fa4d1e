// The real client started twice on one machine, under a virtual X server:
// the second refuses to run and says so, the first goes on undisturbed, and
// a client killed outright does not keep the next one from starting.

#include "TestSupport.h"
#include "CallArchive.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

using namespace tq3;
using namespace Qt::StringLiterals;

namespace {

const QString kLauncherTitle = u"^TQ3 MAX - Modulo Client versione 3.1.15$"_s;
const QString kBoxTitle = u"^ATTENZIONE$"_s;

// Runs xdotool; its output lines, or nothing after `timeoutMs`.
QStringList xdotool(const QProcessEnvironment &env, const QStringList &args, int timeoutMs = 5000)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(u"xdotool"_s, args);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

// The visible windows of `pid` whose title matches; with `wait`, once one appears (up to 20 s).
QStringList windowsOf(const QProcessEnvironment &env, qint64 pid, const QString &title, bool wait = false)
{
    const QStringList args{u"--all"_s, u"--onlyvisible"_s, u"--pid"_s, QString::number(pid), u"--name"_s, title};
    return xdotool(env, QStringList{u"search"_s} + (wait ? QStringList{u"--sync"_s} : QStringList()) + args,
                   wait ? 20000 : 5000);
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
    if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty() || QStandardPaths::findExecutable(u"xdotool"_s).isEmpty())
        QSKIP("Xvfb or xdotool is not installed (scripts/install-deps.sh installs them)");
    // Xvfb picks a free display and writes its number on the given descriptor.
    m_xvfb.start(u"Xvfb"_s,
                 {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1280x1024x24"_s, u"-nolisten"_s, u"tcp"_s});
    QTRY_VERIFY_WITH_TIMEOUT(m_xvfb.canReadLine(), 20000);
    const QString display = QString::fromLatin1(m_xvfb.readLine()).trimmed();

    const QString runtime = m_dir.filePath(u"runtime"_s);
    QVERIFY(QDir().mkpath(runtime));
    QVERIFY(QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    // One temp folder for every client of this test: the machine they share.
    QVERIFY(QDir().mkpath(m_dir.filePath(u"tmp"_s)));
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert(u"DISPLAY"_s, u':' + display);
    m_env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    m_env.insert(u"TMPDIR"_s, m_dir.filePath(u"tmp"_s));
    m_env.insert(u"XDG_RUNTIME_DIR"_s, runtime);
}

void TestClientTwice::cleanupTestCase()
{
    m_xvfb.terminate();
    if (!m_xvfb.waitForFinished(5000))
        m_xvfb.kill();
}

void TestClientTwice::theSecondClientOnAMachineRefusesAndEnds()
{
    const QString work = m_dir.filePath(u"work"_s);
    const QString archive = m_dir.filePath(u"archivio"_s);
    QVERIFY(QDir().mkpath(work));
    QVERIFY(test::createStartupArchive(archive, test::StartupDatabase::WithConfigurazione));
    QVERIFY(test::writeStartupSettings(work + u"/PercorsiClient.txt"_s, archive, u"Sportello 1"_s, u"127.0.0.1"_s,
                                       u"N"_s));
    QProcess first, second, third;
    auto startClient = [&](QProcess &process) {
        process.setProcessEnvironment(m_env);
        process.setWorkingDirectory(work);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(test::binDir() + u"/tq3max-client"_s, {});
        return process.waitForStarted();
    };
    // Whatever happens, no client outlives the test.
    auto stopAll = qScopeGuard([&] {
        for (QProcess *process : {&first, &second, &third}) {
            process->kill();
            process->waitForFinished(5000);
        }
    });

    QVERIFY(startClient(first));
    const QStringList firstLauncher = windowsOf(m_env, first.processId(), kLauncherTitle, true);
    QCOMPARE(firstLauncher.size(), 1);

    QVERIFY(startClient(second));
    const QStringList box = windowsOf(m_env, second.processId(), kBoxTitle, true);
    QCOMPARE(box.size(), 1);
    QCOMPARE(second.state(), QProcess::Running);  // waiting for the operator
    QVERIFY(windowsOf(m_env, second.processId(), kLauncherTitle).isEmpty());

    // The operator presses Enter on the box: OK is its only button.
    xdotool(m_env, {u"windowfocus"_s, u"--sync"_s, box.first()});
    xdotool(m_env, {u"key"_s, u"--window"_s, box.first(), u"Return"_s});
    if (!second.waitForFinished(5000)) {
        xdotool(m_env, {u"key"_s, u"Return"_s});
        QVERIFY(second.waitForFinished(10000));
    }
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(windowsOf(m_env, first.processId(), kLauncherTitle), firstLauncher);

    ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
    QVERIFY(first.waitForFinished(10000));
    QVERIFY(startClient(third));
    QCOMPARE(windowsOf(m_env, third.processId(), kLauncherTitle, true).size(), 1);
    QVERIFY(windowsOf(m_env, third.processId(), kBoxTitle).isEmpty());
}

QTEST_GUILESS_MAIN(TestClientTwice)
#include "tst_client_twice.moc"

// The real client started twice on one machine, under a virtual X server:
// the second refuses to run and says so, the first goes on undisturbed.
// Asked to stop (SIGTERM), a client closes as through its close boxes, and
// neither a stopped client nor one killed outright keeps the next one from
// starting.

#include "TestSupport.h"
#include "CallArchive.h"

#include "core/Version.h"

#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>

#include <signal.h>

using namespace tq3;
using namespace Qt::StringLiterals;

class TestClientTwice final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty() || QStandardPaths::findExecutable(u"xdotool"_s).isEmpty())
            QSKIP("Xvfb or xdotool is not installed (scripts/install-deps.sh installs them)");
        // Xvfb picks a free display and writes its number on the given descriptor.
        m_xvfb.start(u"Xvfb"_s,
                     {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1280x1024x24"_s, u"-nolisten"_s, u"tcp"_s});
        QTRY_VERIFY_WITH_TIMEOUT(m_xvfb.canReadLine(), 20000);
        const QString runtime = m_dir.filePath(u"runtime"_s);
        // One temp folder for every client of this test: the machine they share.
        QVERIFY(QDir().mkpath(runtime) && QDir().mkpath(m_dir.filePath(u"tmp"_s)));
        QVERIFY(QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(u"DISPLAY"_s, u':' + QString::fromLatin1(m_xvfb.readLine()).trimmed());
        m_env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        m_env.insert(u"TMPDIR"_s, m_dir.filePath(u"tmp"_s));
        m_env.insert(u"XDG_RUNTIME_DIR"_s, runtime);
    }
    void cleanupTestCase()
    {
        m_xvfb.kill();
        m_xvfb.waitForFinished();
    }

    void theSecondClientRefusesAndTheFirstCallsAndStopsOnSigterm()
    {
        // A desk set up by hand, its settings file saved as UTF-8 by a text editor; a
        // ticket for Anagrafe waits in an archive made by the stand-in.
        const QString work = m_dir.filePath(u"work"_s), archive = m_dir.filePath(u"archivio"_s);
        QVERIFY(QDir().mkpath(work + u"/vuota"_s));
        test::DatagramListener server;
        const QString standin = test::binDir() + u"/tq3-standin"_s;
        QCOMPARE(QProcess::execute(standin, {u"create"_s, archive, u"--port"_s, QString::number(server.port())}), 0);
        QCOMPARE(QProcess::execute(standin, {u"draw"_s, archive, u"1"_s}), 0);
        QVERIFY(test::writeFile(archive + u"/UConnDP.txt"_s, "\"True\"\r\n"));
        QVERIFY(test::writeFile(work + u"/PercorsiClient.txt"_s,
                                u"\"%1\",\"Sportello Città\",\"127.0.0.1\",\"N\"\r\n"_s.arg(archive).toUtf8()));
        QProcess first, second;
        // Whatever happens, no client outlives the test.
        auto stopAll = qScopeGuard([&] {
            for (QProcess *process : {&first, &second}) {
                process->kill();
                process->waitForFinished(5000);
            }
        });
        const auto start = [this](QProcess &client, const QString &folder) {
            client.setProcessEnvironment(m_env);
            client.setWorkingDirectory(folder);
            client.setProcessChannelMode(QProcess::ForwardedChannels);
            client.start(test::binDir() + u"/tq3max-client"_s, {});
            return client.waitForStarted();
        };
        const auto sigterm = [](QProcess &client) {
            ::kill(static_cast<pid_t>(client.processId()), SIGTERM);
            return client.waitForFinished(10000) && client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0;
        };
        const auto click = [this](const QString &window, int x, int y) {
            xdotool({u"mousemove"_s, u"--window"_s, window, QString::number(x), QString::number(y), u"click"_s, u"1"_s});
        };
        const QString launcherTitle = u"^TQ3 MAX - Modulo Client versione "_s
            + QRegularExpression::escape(QLatin1String(kVersion)) + u"$"_s;

        QVERIFY(start(first, work));
        const QStringList launcher = windowsOf(first, launcherTitle, true);
        QCOMPARE(launcher.size(), 1);
        QVERIFY(start(second, work));
        const QStringList box = windowsOf(second, u"^ATTENZIONE$"_s, true);
        QCOMPARE(box.size(), 1);
        QCOMPARE(second.state(), QProcess::Running);  // waiting for the operator
        // The operator presses Enter on the box: OK is its only button.
        xdotool({u"windowfocus"_s, u"--sync"_s, box.first()});
        xdotool({u"key"_s, u"--window"_s, box.first(), u"Return"_s});
        if (!second.waitForFinished(5000)) {
            xdotool({u"key"_s, u"Return"_s});
            QVERIFY(second.waitForFinished(10000));
        }
        QVERIFY(second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0);
        QCOMPARE(windowsOf(first, launcherTitle), launcher);

        // "&Ok" opens the selective console, "Avanti" calls (client coordinates at 96 dpi).
        click(launcher.first(), 348, 370);
        const QStringList console = windowsOf(first, u"^TQ3MAX - 3\\.1\\.15 - Modulo Client Selettivo$"_s, true);
        QCOMPARE(console.size(), 1);
        // The console moves to its place as it becomes active: a click before that misses it.
        QList<QByteArray> calls;
        for (int attempt = 0; attempt < 5 && calls.isEmpty(); ++attempt) {
            click(console.first(), 277, 44);
            calls = server.receive(1, 2000);
        }
        // The desk's name as meant, in the system's Windows-1252, on the wire and in the history file's name.
        QCOMPARE(calls + server.drain(), QList<QByteArray>{"001#Sportello Citt\xE0#Anagrafe"});
        const QString history = work + u"/Cronologia-Sportello Città.txt"_s;
        QTRY_VERIFY(QFile::exists(history));
        QVERIFY(sigterm(first));
        const QRegularExpression oneLine(uR"(^"1","\d\d\.\d\d","\d\d/\d\d/\d{4}",0,"Anagrafe"\r\n$)"_s);
        QVERIFY2(oneLine.match(QString::fromLatin1(test::contentOf(history))).hasMatch(), test::contentOf(history));
        QCOMPARE(QDir(m_env.value(u"TMPDIR"_s)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());

        // The next start claims the machine at once (start-up's own message, not
        // the refusal); killed outright while that message waits, it keeps the
        // one after from starting no more; stopped, that one ends all the same.
        for (const bool kill : {true, false}) {
            QVERIFY(start(first, work + u"/vuota"_s));
            QCOMPARE(windowsOf(first, u"^TQ3MAX-Messaggio$"_s, true).size(), 1);
            if (kill)
                ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
            QVERIFY(kill ? first.waitForFinished(10000) : sigterm(first));
        }
    }

private:
    // Runs xdotool; its output lines, or nothing after `timeoutMs`.
    QStringList xdotool(const QStringList &args, int timeoutMs = 5000) const
    {
        QProcess process;
        process.setProcessEnvironment(m_env);
        process.start(u"xdotool"_s, args);
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
        }
        return QString::fromLocal8Bit(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    }
    // The visible windows of `client` whose title matches; with `wait`, once one appears (up to 20 s).
    QStringList windowsOf(const QProcess &client, const QString &title, bool wait = false) const
    {
        return xdotool(QStringList{u"search"_s} + (wait ? QStringList{u"--sync"_s} : QStringList())
                           + QStringList{u"--all"_s, u"--onlyvisible"_s, u"--pid"_s, QString::number(client.processId()),
                                         u"--name"_s, title},
                       wait ? 20000 : 5000);
    }

    QTemporaryDir m_dir;
    QProcess m_xvfb;
    QProcessEnvironment m_env;
};

QTEST_GUILESS_MAIN(TestClientTwice)
#include "tst_client_twice.moc"

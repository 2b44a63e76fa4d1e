#include "CallArchive.h"
#include "TestSupport.h"
#include "core/store/CallFiles.h"
#include "core/store/QueueDatabase.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <csignal>
#include <numeric>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;

namespace {

QString standinPath()
{
    return QDir(binDir()).filePath(u"tq3-standin"_s);
}

int runStandin(const QStringList &arguments)
{
    QProcess process;
    process.start(standinPath(), arguments);
    const bool ended = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    return ended ? process.exitCode() : -1;
}

// The stand-in's create, on the run's engine.
int create(const QString &folder, QStringList options = {})
{
    if (onPostgres())
        options << u"--postgres"_s << newPostgresDatabase();
    return runStandin(QStringList{u"create"_s, folder} + options);
}

} // namespace

// The stand-in server module and kiosk that the demo and the window tests use.
class TestStandin final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void createsAnArchiveTheDesksCanUse();
    void concurrentDrawsNeverShareANumber();
    void serveAnnouncesItselfAndPrintsEachCall();

private:
    QTemporaryDir m_dir;
};

void TestStandin::createsAnArchiveTheDesksCanUse()
{
    const QString folder = m_dir.filePath(u"create"_s);
    QCOMPARE(create(folder, {u"--desk-ip"_s, u"10.1.2.3"_s, u"--mode"_s, u"1"_s, u"--port"_s, u"5123"_s}), 0);
    {
        auto db = QueueDatabase::open(folder, u"TQ3MAX.MDB"_s).value();
        const Configurazione config = db->configurazione().value();
        QCOMPARE(config.modoClient.value_or(0), 1);
        QCOMPARE(config.rhPort.toLongLong(), 5123);
        QStringList texts;
        const QList<DeskServiceWaiting> rows = db->deskServicesWaiting(u"10.1.2.3"_s).value();
        for (const DeskServiceWaiting &row : rows)
            texts << row.servizioTesto;
        QVERIFY2(texts.contains(u"Attività Produttive"_s), qPrintable(texts.join(u", "_s)));
        const QList<ActiveService> services = db->activeServices().value();
        for (const ActiveService &service : services)
            QCOMPARE(contentOf(numberFilePath(folder, service.id)), QByteArray("1\r\n"));
    }
    QCOMPARE(contentOf(serverStateFilePath(folder)), QByteArray("\"False\"\r\n"));
    // A second create never overwrites the archive.
    const QString file = QueueDatabase::locate(folder)->filePath;
    const QByteArray before = contentOf(file);
    QVERIFY(create(folder) != 0);
    QCOMPARE(contentOf(file), before);
}

void TestStandin::concurrentDrawsNeverShareANumber()
{
    const QString folder = m_dir.filePath(u"draws"_s);
    QCOMPARE(create(folder), 0);
    const QString go = m_dir.filePath(u"draws-go"_s);
    const QStringList kiosk{u"draw"_s, folder, u"2"_s, u"25"_s, u"--wait-for"_s, go};
    const RunTogether runs = runTogether(standinPath(), {kiosk, kiosk, kiosk, kiosk}, go);
    QVERIFY2(runs.overlapped, "the kiosks did not draw at the same time");
    QList<int> numbers;
    for (const DriverRun &run : runs.runs) {
        QCOMPARE(run.exitCode, 0);
        for (const QString &line : run.lines)
            numbers << line.section(u' ', -1).toInt();
    }
    std::sort(numbers.begin(), numbers.end());
    QList<int> expected(100);
    std::iota(expected.begin(), expected.end(), 1);
    QCOMPARE(numbers, expected);
    QCOMPARE(QueueDatabase::open(folder).value()->serviceWaiting(2).value()->toLongLong(), 100);
}

void TestStandin::serveAnnouncesItselfAndPrintsEachCall()
{
    const QString folder = m_dir.filePath(u"serve"_s);
    QCOMPARE(create(folder), 0);
    QUdpSocket probe;
    QVERIFY(probe.bind(QHostAddress::LocalHost, 0));
    const quint16 port = probe.localPort();
    probe.close();

    QProcess server;
    server.start(standinPath(), {u"serve"_s, folder, u"--port"_s, QString::number(port), u"--seconds"_s, u"60"_s});
    QTRY_COMPARE_WITH_TIMEOUT(contentOf(serverStateFilePath(folder)), QByteArray("\"True\"\r\n"), 10000);
    QUdpSocket desk;
    const QByteArray message("041#Sportello 1#Attivit\xe0 Produttive");
    QCOMPARE(desk.writeDatagram(message, QHostAddress::LocalHost, port), message.size());
    QByteArray printed;
    QTRY_VERIFY_WITH_TIMEOUT((printed += server.readAllStandardOutput()).contains("Produttive"), 10000);
    QVERIFY2(printed.contains(u"041#Sportello 1#Attività Produttive"_s.toUtf8()), printed.constData());

    ::kill(pid_t(server.processId()), SIGTERM);
    QVERIFY(server.waitForFinished(10000));
    QCOMPARE(server.exitStatus(), QProcess::NormalExit);
    QCOMPARE(server.exitCode(), 0);
    QCOMPARE(contentOf(serverStateFilePath(folder)), QByteArray("\"False\"\r\n"));
}

TQ3_ARCHIVE_TEST_MAIN(TestStandin)
#include "tst_queuedatabase_standin.moc"

#include "TestSupport.h"
#include "store/QueueDatabase.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>
#include <csignal>
#include <limits>
#include <memory>
#include <vector>

using namespace tq3;

namespace {

QString standinPath()
{
    return QDir(test::binDir()).filePath(QStringLiteral("tq3-standin"));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int runStandin(const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess process;
    process.start(standinPath(), arguments);
    if (!process.waitForFinished(60000))
        return -1;
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

} // namespace

// The stand-in server module and kiosk that the demo and the window tests use.
class TestStandin final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void createsAnArchiveTheDesksCanUse_data();
    void createsAnArchiveTheDesksCanUse();
    void refusesToOverwriteAnArchive();
    void concurrentDrawsNeverShareANumber();
    void serveAnnouncesItselfAndPrintsEachCall();

private:
    QTemporaryDir m_dir;
};

void TestStandin::initTestCase()
{
    QVERIFY2(QFileInfo::exists(standinPath()), qPrintable(standinPath()));
}

void TestStandin::createsAnArchiveTheDesksCanUse_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("port");

    QTest::newRow("a selective archive on the default port") << "2" << QString();
    QTest::newRow("an automatic archive on a chosen port") << "1" << "5123";
}

void TestStandin::createsAnArchiveTheDesksCanUse()
{
    QFETCH(QString, mode);
    QFETCH(QString, port);

    const QString folder = m_dir.filePath(QStringLiteral("create-") + mode);
    QStringList arguments{QStringLiteral("create"), folder, QStringLiteral("--desk-ip"), QStringLiteral("10.1.2.3"),
                          QStringLiteral("--mode"), mode};
    if (!port.isEmpty())
        arguments << QStringLiteral("--port") << port;
    QCOMPARE(runStandin(arguments), 0);

    auto opened = QueueDatabase::open(folder, QStringLiteral("TQ3MAX.MDB"));
    QVERIFY(opened.ok());
    QueueDatabase &db = **opened;
    const Result<Configurazione> config = db.configurazione();
    QVERIFY(config.ok());
    QCOMPARE(config->modoClient.value_or(0), mode.toLongLong());
    QCOMPARE(config->rhPort.toLongLong(), port.isEmpty() ? 4001 : port.toLongLong());
    QCOMPARE(config->ipServer.value_or(QString()), QStringLiteral("127.0.0.1"));

    const auto desk = db.deskServicesWaiting(QStringLiteral("10.1.2.3"));
    QVERIFY(desk.ok());
    QVERIFY(!desk->isEmpty());
    bool accented = false;
    for (const DeskServiceWaiting &row : *desk)
        accented = accented || row.servizioTesto == QStringLiteral("Attività Produttive");
    QVERIFY(accented);
    QVERIFY(db.activeServices()->size() >= 5);

    QCOMPARE(readAll(folder + QStringLiteral("/UConnDP.txt")), QByteArray("\"False\"\r\n"));
    for (const ActiveService &service : *db.activeServices()) {
        QCOMPARE(readAll(folder + QStringLiteral("/NrAll/NrAllS%1.txt").arg(service.id)), QByteArray("1\r\n"));
    }
}

void TestStandin::refusesToOverwriteAnArchive()
{
    const QString folder = m_dir.filePath(QStringLiteral("twice"));
    QCOMPARE(runStandin({QStringLiteral("create"), folder}), 0);
    const QByteArray before = readAll(folder + QStringLiteral("/TQ3MAX.mdb"));
    QVERIFY(runStandin({QStringLiteral("create"), folder}) != 0);
    QCOMPARE(readAll(folder + QStringLiteral("/TQ3MAX.mdb")), before);
}

void TestStandin::concurrentDrawsNeverShareANumber()
{
    const QString folder = m_dir.filePath(QStringLiteral("draws"));
    QCOMPARE(runStandin({QStringLiteral("create"), folder}), 0);
    const QString go = m_dir.filePath(QStringLiteral("draws-go"));
    constexpr int kiosks = 4;
    constexpr int each = 25;

    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < kiosks; ++i) {
        auto process = std::make_unique<QProcess>();
        process->start(standinPath(), {QStringLiteral("draw"), folder, QStringLiteral("2"), QString::number(each),
                                       QStringLiteral("--wait-for"), go});
        QVERIFY(process->waitForStarted(10000));
        processes.push_back(std::move(process));
    }
    QTest::qWait(300);
    QFile barrier(go);
    QVERIFY(barrier.open(QIODevice::WriteOnly));
    barrier.close();

    QSet<int> numbers;
    qint64 latestStart = 0;
    qint64 earliestEnd = std::numeric_limits<qint64>::max();
    for (auto &process : processes) {
        QVERIFY(process->waitForFinished(60000));
        QCOMPARE(process->exitCode(), 0);
        const QList<QByteArray> marks = process->readAllStandardError().split('\n');
        for (const QByteArray &mark : marks) {
            if (mark.startsWith("start "))
                latestStart = std::max(latestStart, mark.mid(6).toLongLong());
            else if (mark.startsWith("end "))
                earliestEnd = std::min(earliestEnd, mark.mid(4).toLongLong());
        }
        const QList<QByteArray> lines = process->readAllStandardOutput().split('\n');
        for (const QByteArray &line : lines) {
            if (line.isEmpty())
                continue;
            const int number = line.mid(line.lastIndexOf(' ') + 1).toInt();
            QVERIFY2(!numbers.contains(number), line.constData());
            numbers.insert(number);
        }
    }
    QVERIFY2(latestStart > 0 && latestStart <= earliestEnd, "the kiosks did not draw at the same time");
    QCOMPARE(numbers.size(), kiosks * each);
    QCOMPARE(*std::max_element(numbers.begin(), numbers.end()), kiosks * each);

    auto db = QueueDatabase::open(folder);
    QVERIFY(db.ok());
    QCOMPARE((*(*db)->serviceWaiting(2))->toLongLong(), kiosks * each);
}

void TestStandin::serveAnnouncesItselfAndPrintsEachCall()
{
    const QString folder = m_dir.filePath(QStringLiteral("serve"));
    QCOMPARE(runStandin({QStringLiteral("create"), folder}), 0);
    const quint16 port = freeUdpPort();
    QVERIFY(port != 0);

    QProcess server;
    server.start(standinPath(), {QStringLiteral("serve"), folder, QStringLiteral("--port"), QString::number(port),
                                 QStringLiteral("--seconds"), QStringLiteral("60")});
    QVERIFY(server.waitForStarted(10000));
    QTRY_COMPARE_WITH_TIMEOUT(readAll(folder + QStringLiteral("/UConnDP.txt")), QByteArray("\"True\"\r\n"), 10000);

    QUdpSocket desk;
    const QByteArray message("041#Sportello 1#Attivit\xe0 Produttive");
    QCOMPARE(desk.writeDatagram(message, QHostAddress::LocalHost, port), message.size());
    QByteArray printed;
    QTRY_VERIFY_WITH_TIMEOUT((printed += server.readAllStandardOutput()).contains("Produttive"), 10000);
    QVERIFY2(printed.contains(QStringLiteral("041#Sportello 1#Attività Produttive").toUtf8()), printed.constData());

    ::kill(pid_t(server.processId()), SIGTERM);
    QVERIFY(server.waitForFinished(10000));
    QCOMPARE(server.exitStatus(), QProcess::NormalExit);
    QCOMPARE(server.exitCode(), 0);
    QCOMPARE(readAll(folder + QStringLiteral("/UConnDP.txt")), QByteArray("\"False\"\r\n"));
}

QTEST_GUILESS_MAIN(TestStandin)
#include "tst_queuedatabase_standin.moc"

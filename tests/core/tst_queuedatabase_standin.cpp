#include "StoreFiles.h"
#include "TestSupport.h"
#include "store/CallFiles.h"
#include "store/QueueDatabase.h"

#include <QDir>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <csignal>

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

} // namespace

// The stand-in server module and kiosk that the demo and the window tests use.
class TestStandin final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void createsAnArchiveTheDesksCanUse_data();
    void createsAnArchiveTheDesksCanUse();
    void concurrentDrawsNeverShareANumber();
    void serveAnnouncesItselfAndPrintsEachCall();

private:
    QTemporaryDir m_dir;
};

void TestStandin::createsAnArchiveTheDesksCanUse_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("port");
    QTest::newRow("a selective archive on the default port") << u"2"_s << QString();
    QTest::newRow("an automatic archive on a chosen port") << u"1"_s << u"5123"_s;
}

void TestStandin::createsAnArchiveTheDesksCanUse()
{
    QFETCH(QString, mode);
    QFETCH(QString, port);
    const QString folder = m_dir.filePath(u"create-"_s + mode);
    QStringList arguments{u"create"_s, folder, u"--desk-ip"_s, u"10.1.2.3"_s, u"--mode"_s, mode};
    if (!port.isEmpty())
        arguments << u"--port"_s << port;
    QCOMPARE(runStandin(arguments), 0);
    {
        auto db = QueueDatabase::open(folder, u"TQ3MAX.MDB"_s).value();
        const Configurazione config = db->configurazione().value();
        QCOMPARE(config.modoClient.value_or(0), mode.toLongLong());
        QCOMPARE(config.rhPort.toLongLong(), port.isEmpty() ? 4001 : port.toLongLong());
        QCOMPARE(config.ipServer.value_or(QString()), u"127.0.0.1"_s);
        QStringList deskServices;
        const QList<DeskServiceWaiting> rows = db->deskServicesWaiting(u"10.1.2.3"_s).value();
        for (const DeskServiceWaiting &row : rows)
            deskServices << row.servizioTesto;
        QVERIFY2(deskServices.contains(u"Attività Produttive"_s), qPrintable(deskServices.join(u", "_s)));
        const QList<ActiveService> services = db->activeServices().value();
        QVERIFY(services.size() >= 5);
        for (const ActiveService &service : services)
            QCOMPARE(contentOf(numberFilePath(folder, service.id)), QByteArray("1\r\n"));
    }
    QCOMPARE(contentOf(serverStateFilePath(folder)), QByteArray("\"False\"\r\n"));

    // A second create never overwrites the archive.
    const QByteArray before = contentOf(folder + u"/TQ3MAX.mdb"_s);
    QVERIFY(runStandin({u"create"_s, folder}) != 0);
    QCOMPARE(contentOf(folder + u"/TQ3MAX.mdb"_s), before);
}

void TestStandin::concurrentDrawsNeverShareANumber()
{
    const QString folder = m_dir.filePath(u"draws"_s);
    QCOMPARE(runStandin({u"create"_s, folder}), 0);
    const QString go = m_dir.filePath(u"draws-go"_s);
    constexpr int kKiosks = 4;
    constexpr int kEach = 25;
    std::vector<std::unique_ptr<QProcess>> kiosks;
    for (int i = 0; i < kKiosks; ++i) {
        kiosks.push_back(std::make_unique<QProcess>());
        kiosks.back()->start(standinPath(), {u"draw"_s, folder, u"2"_s, QString::number(kEach), u"--wait-for"_s, go});
        QVERIFY(kiosks.back()->waitForStarted(10000));
    }
    QTest::qWait(300);
    QVERIFY(writeBytes(go));

    QSet<int> numbers;
    QList<std::pair<qint64, qint64>> spans;
    for (auto &kiosk : kiosks) {
        QVERIFY(kiosk->waitForFinished(60000));
        QCOMPARE(kiosk->exitCode(), 0);
        std::pair<qint64, qint64> span;
        for (const QByteArray &mark : kiosk->readAllStandardError().split('\n')) {
            if (mark.startsWith("start "))
                span.first = mark.mid(6).toLongLong();
            else if (mark.startsWith("end "))
                span.second = mark.mid(4).toLongLong();
        }
        spans << span;
        for (const QByteArray &line : kiosk->readAllStandardOutput().trimmed().split('\n')) {
            const int number = line.mid(line.lastIndexOf(' ') + 1).toInt();
            QVERIFY2(!numbers.contains(number), line.constData());
            numbers.insert(number);
        }
    }
    QVERIFY2(allOverlap(spans), "the kiosks did not draw at the same time");
    QCOMPARE(numbers.size(), kKiosks * kEach);
    QCOMPARE(*std::max_element(numbers.begin(), numbers.end()), kKiosks * kEach);
    QCOMPARE(QueueDatabase::open(folder).value()->serviceWaiting(2).value()->toLongLong(), kKiosks * kEach);
}

void TestStandin::serveAnnouncesItselfAndPrintsEachCall()
{
    const QString folder = m_dir.filePath(u"serve"_s);
    QCOMPARE(runStandin({u"create"_s, folder}), 0);
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

QTEST_GUILESS_MAIN(TestStandin)
#include "tst_queuedatabase_standin.moc"

// Two desks in two processes call the same service at once against one
// archive: every number goes out exactly once and Attesa drops by the count.

#include "selective_Archive.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>
#include <memory>

using namespace tq3::test;

class TestSelectiveDesks final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void twoDesksNeverAnnounceOneNumberTwice_data();
    void twoDesksNeverAnnounceOneNumberTwice();
};

void TestSelectiveDesks::twoDesksNeverAnnounceOneNumberTwice_data()
{
    QTest::addColumn<int>("callsPerDesk");
    QTest::addColumn<qint32>("firstNumber");
    QTest::addColumn<qint64>("serviceId");
    QTest::newRow("two desks calling 200 times each from number 1") << 200 << 1 << qint64(12);
    QTest::newRow("two desks calling 200 times each from 950, past 999, on a 17-bit service id")
        << 200 << 950 << qint64(70001);
}

void TestSelectiveDesks::twoDesksNeverAnnounceOneNumberTwice()
{
    QFETCH(int, callsPerDesk);
    QFETCH(qint32, firstNumber);
    QFETCH(qint64, serviceId);
    const qint64 startWaiting = 1000;

    QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString archive = work.filePath(QStringLiteral("archivio"));
    QVERIFY(createSelectiveArchive(archive, QStringLiteral("10.0.0.1"),
                                   {{serviceId, QStringLiteral("Anagrafe"), startWaiting, firstNumber}}));

    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::LocalHost, 0));
    listener.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1 << 22);

    const QString barrier = work.filePath(QStringLiteral("via"));
    const QString driver = QDir(binDir()).filePath(QStringLiteral("selective_desk"));
    QVERIFY2(QFile::exists(driver), qPrintable(driver));
    std::array<std::unique_ptr<QProcess>, 2> desks;
    for (int i = 0; i < 2; ++i) {
        desks[size_t(i)] = std::make_unique<QProcess>();
        desks[size_t(i)]->start(driver, {archive, QStringLiteral("10.0.0.%1").arg(i + 1),
                                         QStringLiteral("Sportello %1").arg(i + 1),
                                         QString::number(listener.localPort()), QString::number(serviceId),
                                         QString::number(callsPerDesk), barrier});
        QVERIFY(desks[size_t(i)]->waitForStarted());
    }
    // Both wait on the barrier; opening it lets them go at the same moment.
    QFile open(barrier);
    QVERIFY(open.open(QIODevice::WriteOnly));
    open.close();

    QList<QByteArray> received;
    const int expected = 2 * callsPerDesk;
    QElapsedTimer patience;
    patience.start();
    while (patience.elapsed() < 120000) {
        while (listener.hasPendingDatagrams()) {
            QByteArray data(int(listener.pendingDatagramSize()), '\0');
            listener.readDatagram(data.data(), data.size());
            received << data;
        }
        QCoreApplication::processEvents();
        const bool finished = std::all_of(desks.begin(), desks.end(), [](const auto &p) {
            return p->state() == QProcess::NotRunning;
        });
        if (finished && received.size() >= expected)
            break;
        if (finished && !listener.waitForReadyRead(500))
            break;
        listener.waitForReadyRead(20);
    }

    std::array<std::pair<qint64, qint64>, 2> intervals{};
    for (int i = 0; i < 2; ++i) {
        QProcess &desk = *desks[size_t(i)];
        QVERIFY(desk.state() == QProcess::NotRunning || desk.waitForFinished(60000));
        const QString output = QString::fromUtf8(desk.readAllStandardOutput());
        QVERIFY2(desk.exitCode() == 0, qPrintable(output + QString::fromUtf8(desk.readAllStandardError())));
        const QStringList lines = output.split(QLatin1Char('\n'));
        const QStringList interval = lines.value(0).split(QLatin1Char(' '));
        QCOMPARE(interval.value(0), QStringLiteral("interval"));
        intervals[size_t(i)] = {interval.value(1).toLongLong(), interval.value(2).toLongLong()};
    }
    // The desks really ran at the same time.
    const qint64 latestStart = std::max(intervals[0].first, intervals[1].first);
    const qint64 earliestEnd = std::min(intervals[0].second, intervals[1].second);
    QVERIFY2(latestStart < earliestEnd, "the two desks did not overlap");

    QCOMPARE(received.size(), expected);
    QSet<qint32> numbers;
    QSet<QByteArray> desksSeen;
    for (const QByteArray &datagram : std::as_const(received)) {
        const QList<QByteArray> parts = datagram.split('#');
        QCOMPARE(parts.size(), 3);
        QVERIFY(parts.at(0).size() >= 3);
        numbers.insert(parts.at(0).toInt());
        desksSeen.insert(parts.at(1));
        QCOMPARE(parts.at(2), QByteArray("Anagrafe"));
    }
    QCOMPARE(numbers.size(), expected);
    for (qint32 n = firstNumber; n < firstNumber + expected; ++n)
        QVERIFY2(numbers.contains(n), qPrintable(QString::number(n)));
    QCOMPARE(desksSeen.size(), 2);
    QCOMPARE(numberFileBytes(archive, serviceId), QByteArray::number(firstNumber + expected) + "\r\n");
    QCOMPARE(storedAttesa(archive, serviceId).value_or(-1), startWaiting - expected);
}

QTEST_GUILESS_MAIN(TestSelectiveDesks)
#include "tst_selectivedesks.moc"

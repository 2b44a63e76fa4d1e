// Desks in separate processes call at once against one archive: every number
// goes out exactly once, and no ticket is lost or called twice.

#include "CallArchive.h"
#include "TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <numeric>

using namespace tq3;
using namespace tq3::test;

namespace {

struct DeskRuns final {
    QList<QStringList> lines;  // what each desk wrote, see call_desk
    QList<QByteArray> datagrams;
    bool overlapped = false;   // every desk started before any ended
};

// One call_desk process per argument list, let go at once through a barrier
// file; the datagrams are read while they run, so none waits in a full buffer.
DeskRuns runDesks(const QString &work, const QList<QStringList> &arguments, DatagramListener &listener)
{
    const QString barrier = QDir(work).filePath(QStringLiteral("via"));
    const auto resultFile = [&](qsizetype i) { return QDir(work).filePath(QStringLiteral("desk%1.txt").arg(i)); };
    std::vector<std::unique_ptr<QProcess>> desks;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        desks.push_back(std::make_unique<QProcess>());
        desks.back()->setProcessChannelMode(QProcess::ForwardedChannels);
        desks.back()->start(QDir(binDir()).filePath(QStringLiteral("call_desk")),
                            QStringList{barrier, resultFile(i), QString::number(listener.port())} + arguments.at(i));
        desks.back()->waitForStarted();
    }
    writeFile(barrier, {});
    DeskRuns runs;
    const auto running = [&] {
        return std::any_of(desks.begin(), desks.end(), [](const auto &p) {
            p->waitForFinished(0);
            return p->state() != QProcess::NotRunning;
        });
    };
    for (QDeadlineTimer deadline(180000); running() && !deadline.hasExpired();)
        runs.datagrams += listener.drain(20);
    runs.datagrams += listener.drain(300);

    QList<qint64> starts, ends;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        runs.lines << QString::fromUtf8(readFile(resultFile(i)).value_or(QByteArray())).split(u'\n', Qt::SkipEmptyParts);
        for (const QString &line : std::as_const(runs.lines.last())) {
            if (line.startsWith(QStringLiteral("start ")))
                starts << line.mid(6).toLongLong();
            else if (line.startsWith(QStringLiteral("end ")))
                ends << line.mid(4).toLongLong();
        }
    }
    runs.overlapped = starts.size() == arguments.size() && ends.size() == arguments.size()
        && *std::max_element(starts.begin(), starts.end()) < *std::min_element(ends.begin(), ends.end());
    return runs;
}

} // namespace

class TestCallDesks final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void twoSelectiveDesksNeverAnnounceOneNumberTwice_data();
    void twoSelectiveDesksNeverAnnounceOneNumberTwice();
    void threeAutomaticDesksDrainOneQueue();
};

void TestCallDesks::twoSelectiveDesksNeverAnnounceOneNumberTwice_data()
{
    QTest::addColumn<qint32>("firstNumber");
    QTest::addColumn<qint64>("serviceId");
    QTest::newRow("two desks calling 200 times each from number 1") << 1 << qint64(12);
    QTest::newRow("two desks calling 200 times each from 950, past 999, on a 17-bit service id") << 950 << qint64(70001);
}

void TestCallDesks::twoSelectiveDesksNeverAnnounceOneNumberTwice()
{
    QFETCH(qint32, firstNumber);
    QFETCH(qint64, serviceId);
    CallArchive archive;
    QVERIFY(archive.addService(QStringLiteral("10.0.0.1"), serviceId, QStringLiteral("Anagrafe"), 1000, firstNumber));
    DatagramListener listener;
    const auto desk = [&](int i) {
        return QStringList{QStringLiteral("selective"), archive.folder(), QStringLiteral("Sportello %1").arg(i),
                           QStringLiteral("10.0.0.%1").arg(i), QString::number(serviceId), QStringLiteral("200")};
    };
    const DeskRuns runs = runDesks(archive.folder(), {desk(1), desk(2)}, listener);
    QVERIFY2(runs.overlapped, "the two desks did not run at the same time");
    for (const QStringList &lines : runs.lines)
        QVERIFY2(lines.filter(QRegularExpression(QStringLiteral("^call "))).size() == 200, qPrintable(lines.join(u'\n')));

    QSet<QByteArray> expected, numbers, desks;
    for (qint32 n = firstNumber; n < firstNumber + 400; ++n)
        expected << QByteArray::number(n).rightJustified(3, '0');
    for (const QByteArray &datagram : std::as_const(runs.datagrams)) {
        const QList<QByteArray> parts = datagram.split('#');
        QCOMPARE(parts.value(2), QByteArray("Anagrafe"));
        numbers << parts.at(0);
        desks << parts.at(1);
    }
    QCOMPARE(runs.datagrams.size(), 400);
    QCOMPARE(numbers, expected);
    QCOMPARE(desks.size(), 2);
    QCOMPARE(archive.numberFile(serviceId).value_or(QByteArray()), QByteArray::number(firstNumber + 400) + "\r\n");
    QCOMPARE(archive.attesa(serviceId).value_or(-1), qint64(600));
}

void TestCallDesks::threeAutomaticDesksDrainOneQueue()
{
    constexpr int kTickets = 1000;
    CallArchive archive;
    // Overlapping services: every service is served by two of the three desks.
    const QList<QList<qint64>> services{{1, 2}, {2, 3}, {3, 1}};
    QList<QStringList> desks;
    for (int i = 0; i < 3; ++i) {
        const QString ip = QStringLiteral("10.0.0.%1").arg(11 + i);
        for (const qint64 service : services.at(i))
            QVERIFY(archive.addDeskService(ip, service, QStringLiteral("Servizio %1").arg(service)) > 0);
        desks << QStringList{QStringLiteral("automatic"), archive.folder(), QStringLiteral("Sportello %1").arg(i), ip};
    }
    // Services drawn at random; the row keys do not follow the drawing times.
    QRandomGenerator random(20261205);
    QList<int> seconds(kTickets);
    std::iota(seconds.begin(), seconds.end(), 0);
    std::shuffle(seconds.begin(), seconds.end(), random);
    QHash<qint64, qint32> nextNumber;
    QSet<QByteArray> expected;
    QVERIFY(archive.builder().execute(QStringLiteral("BEGIN")));
    for (int i = 0; i < kTickets; ++i) {
        const qint64 service = 1 + random.bounded(3);
        const qint32 number = ++nextNumber[service];
        const QDateTime drawn(QDate(2026, 12, 5), QTime(8, 0).addSecs(seconds.at(i)));
        QVERIFY(archive.addTicket(service, number, QStringLiteral("Servizio %1").arg(service),
                                  ArchiveBuilder::oraText(drawn)) > 0);
        expected << QByteArray::number(number).rightJustified(3, '0') + "#Servizio " + QByteArray::number(service);
    }
    QVERIFY(archive.builder().execute(QStringLiteral("COMMIT")));

    DatagramListener listener;
    const DeskRuns runs = runDesks(archive.folder(), desks, listener);
    QVERIFY2(runs.overlapped, "the desks did not run at the same time");
    // Each desk called only its own services, each ticket once, in ora order.
    QSet<qint64> calledKeys;
    for (int i = 0; i < 3; ++i) {
        QString previousOra;
        for (const QString &line : runs.lines.at(i)) {
            QVERIFY2(!line.startsWith(QStringLiteral("fail")), qPrintable(line));
            const QStringList f = line.split(u' ');  // call <key> <service> <number> <date> <time>
            if (f.first() != QStringLiteral("call"))
                continue;
            QVERIFY(services.at(i).contains(f.at(2).toLongLong()));
            QVERIFY2(!calledKeys.contains(f.at(1).toLongLong()), qPrintable(line));
            calledKeys << f.at(1).toLongLong();
            QVERIFY2(previousOra < f.at(4) + u' ' + f.at(5), qPrintable(line));
            previousOra = f.at(4) + u' ' + f.at(5);
        }
        QVERIFY2(!previousOra.isEmpty(), "a desk called nothing");
    }
    QCOMPARE(calledKeys.size(), kTickets);
    QCOMPARE(archive.calledKeys().size(), kTickets);
    // Exactly one datagram per ticket, by service and number.
    QSet<QByteArray> received;
    for (const QByteArray &datagram : std::as_const(runs.datagrams))
        received << datagram.split('#').value(0) + '#' + datagram.split('#').value(2);
    QCOMPARE(runs.datagrams.size(), kTickets);
    QCOMPARE(received, expected);
}

QTEST_GUILESS_MAIN(TestCallDesks)
#include "tst_calldesks.moc"

#include "store/ArchiveBuilder.h"

#include "TestSupport.h"
#include "automatic_Archive.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>
#include <array>

using namespace tq3;

class TestAutomaticDesks final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void threeDesksDrainOneQueueWithoutLosingOrRepeatingATicket();
};

namespace {

struct Desk final {
    QString name;
    QString ip;
    QList<qint64> services;
};

struct Called final {
    qint64 key = 0;
    qint64 service = 0;
    qint32 number = 0;
    QString ora;
};

} // namespace

void TestAutomaticDesks::threeDesksDrainOneQueueWithoutLosingOrRepeatingATicket()
{
    constexpr int kTickets = 1000;
    test::AutomaticArchive archive;
    QVERIFY(archive.isValid());

    // Overlapping services: every service is served by two of the three desks.
    const std::array<Desk, 3> desks{{
        {QStringLiteral("Sportello A"), QStringLiteral("10.0.0.11"), {1, 2}},
        {QStringLiteral("Sportello B"), QStringLiteral("10.0.0.12"), {2, 3}},
        {QStringLiteral("Sportello C"), QStringLiteral("10.0.0.13"), {3, 1}},
    }};
    for (const Desk &desk : desks) {
        for (const qint64 service : desk.services)
            QVERIFY(archive.addDeskService(desk.ip, service, QStringLiteral("Servizio %1").arg(service)) > 0);
    }

    // Services drawn at random; the row keys do not follow the drawing times.
    QRandomGenerator random(20261205);
    QList<int> seconds(kTickets);
    std::iota(seconds.begin(), seconds.end(), 0);
    std::shuffle(seconds.begin(), seconds.end(), random);
    const QDateTime start(QDate(2026, 12, 5), QTime(8, 0));
    QHash<qint64, qint32> nextNumber;
    QSet<QByteArray> expectedDatagrams;
    QVERIFY(archive.builder().execute(QStringLiteral("BEGIN")));
    for (int i = 0; i < kTickets; ++i) {
        const qint64 service = 1 + random.bounded(3);
        const qint32 number = ++nextNumber[service];
        QVERIFY(archive.addTicket(service, number, QStringLiteral("Servizio %1").arg(service),
                                  ArchiveBuilder::oraText(start.addSecs(seconds.at(i))))
                > 0);
        expectedDatagrams.insert(QByteArray::number(number).rightJustified(3, '0') + "#Servizio "
                                 + QByteArray::number(service));
    }
    QVERIFY(archive.builder().execute(QStringLiteral("COMMIT")));
    QCOMPARE(expectedDatagrams.size(), kTickets);

    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::LocalHost, 0));
    listener.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 * 1024 * 1024);

    const QString barrier = QDir(archive.folder()).filePath(QStringLiteral("go"));
    std::array<std::unique_ptr<QProcess>, 3> processes;
    for (size_t i = 0; i < desks.size(); ++i) {
        processes[i] = std::make_unique<QProcess>();
        processes[i]->setProcessChannelMode(QProcess::ForwardedChannels);
        processes[i]->start(test::binDir() + QStringLiteral("/automatic_desk"),
                            {archive.folder(), desks[i].name, desks[i].ip, QString::number(listener.localPort()),
                             barrier, QDir(archive.folder()).filePath(QStringLiteral("desk%1.txt").arg(i))});
        QVERIFY2(processes[i]->waitForStarted(), qPrintable(processes[i]->errorString()));
    }
    QFile(barrier).open(QIODevice::WriteOnly);

    // Received while the desks run, so that no datagram waits in a full buffer.
    QList<QByteArray> datagrams;
    QDeadlineTimer deadline(180000);
    const auto running = [&] {
        return std::any_of(processes.begin(), processes.end(),
                           [](const auto &p) { return p->state() != QProcess::NotRunning; });
    };
    while (running() && !deadline.hasExpired()) {
        listener.waitForReadyRead(20);
        while (listener.hasPendingDatagrams())
            datagrams << listener.receiveDatagram().data();
        for (auto &p : processes)
            p->waitForFinished(0);
    }
    QVERIFY2(!running(), "the desks did not finish");
    while (listener.waitForReadyRead(200)) {
        while (listener.hasPendingDatagrams())
            datagrams << listener.receiveDatagram().data();
    }
    for (auto &p : processes) {
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
    }

    // Each desk's record: its interval and the tickets it called, in order.
    QList<qint64> starts, ends;
    QSet<qint64> calledKeys;
    QStringList failures;
    int busyPresses = 0;
    int racesLost = 0;  // tickets a desk chose but another marked first  // "Archivio occupato": nothing changed, pressed again
    int calledTotal = 0;
    for (size_t i = 0; i < desks.size(); ++i) {
        QFile result(QDir(archive.folder()).filePath(QStringLiteral("desk%1.txt").arg(i)));
        QVERIFY(result.open(QIODevice::ReadOnly));
        QList<Called> called;
        for (const QByteArray &raw : result.readAll().split('\n')) {
            const QString line = QString::fromUtf8(raw);
            if (line.startsWith(QStringLiteral("start ")))
                starts << line.mid(6).toLongLong();
            else if (line.startsWith(QStringLiteral("end ")))
                ends << line.mid(4).toLongLong();
            else if (line.startsWith(QStringLiteral("busy ")))
                ++busyPresses;
            else if (line.startsWith(QStringLiteral("fail ")))
                failures << desks[i].name + QStringLiteral(": ") + line;
            else if (line.startsWith(QStringLiteral("call "))) {
                const QStringList f = line.split(u' ');
                called.append({f.at(1).toLongLong(), f.at(2).toLongLong(), f.at(3).toInt(),
                               f.at(5) + u' ' + f.at(6)});
                racesLost += f.at(4).toInt();
            }
        }
        QVERIFY2(!called.isEmpty(), qPrintable(desks[i].name + QStringLiteral(" called nothing")));
        for (qsizetype k = 0; k < called.size(); ++k) {
            QVERIFY(desks[i].services.contains(called[k].service));
            QVERIFY2(!calledKeys.contains(called[k].key), "one ticket called twice");
            calledKeys.insert(called[k].key);
            if (k > 0)
                QVERIFY2(called[k - 1].ora < called[k].ora,
                         qPrintable(desks[i].name + QStringLiteral(" called out of order at ") + called[k].ora));
        }
        calledTotal += int(called.size());
        qInfo("%s called %d tickets", qPrintable(desks[i].name), int(called.size()));
    }
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
    qInfo("%d times a desk found its ticket taken by another and called the next", racesLost);
    if (busyPresses > 0)
        qInfo("%d presses found the archive busy and were repeated", busyPresses);
    QCOMPARE(starts.size(), 3);
    QCOMPARE(ends.size(), 3);
    QVERIFY2(*std::max_element(starts.begin(), starts.end()) < *std::min_element(ends.begin(), ends.end()),
             "the desks did not run at the same time");
    QCOMPARE(calledTotal, kTickets);

    // Exactly one datagram per ticket, by service and number.
    QCOMPARE(datagrams.size(), kTickets);
    QSet<QByteArray> received;
    for (const QByteArray &d : std::as_const(datagrams)) {
        const QList<QByteArray> parts = d.split('#');
        QCOMPARE(parts.size(), 3);
        received.insert(parts.at(0) + '#' + parts.at(2));
    }
    QCOMPARE(received, expectedDatagrams);

    QSqlQuery waiting(QSqlDatabase::database(archive.builder().connectionName()));
    QVERIFY(waiting.exec(QStringLiteral("SELECT COUNT(*) FROM CodaFromTotem WHERE NOT SeChiamato")));
    QVERIFY(waiting.next());
    QCOMPARE(waiting.value(0).toInt(), 0);
    QCOMPARE(archive.calledKeys().size(), kTickets);
}

QTEST_GUILESS_MAIN(TestAutomaticDesks)
#include "tst_automaticdesks.moc"

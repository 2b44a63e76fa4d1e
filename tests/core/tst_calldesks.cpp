// Desks in separate processes call at once against one archive: every
// number goes out exactly once, no ticket is lost or called twice, and no
// desk keeps a number file locked while it waits for the archive.

#include "CallArchive.h"
#include "TestSupport.h"

#include "core/store/CallFiles.h"

#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QTest>

using namespace tq3;
using namespace Qt::StringLiterals;
using namespace tq3::test;

namespace {

constexpr int kDesks = 8;

// The desks let go together; the datagrams are read while they run, so none waits in a full buffer.
RunTogether runDesks(const CallArchive &archive, const QList<QStringList> &desks, DatagramListener &listener,
                     QList<QByteArray> &datagrams, Together how = {})
{
    const QString go = archive.folder() + u"/go"_s;
    QList<QStringList> arguments;
    for (const QStringList &desk : desks)
        arguments << QStringList{go, QString::number(listener.port())} + desk;
    how.meanwhile = [&, also = how.meanwhile](const QList<QProcess *> &running) {
        datagrams += listener.drain(5);
        if (also)
            also(running);
    };
    const RunTogether runs = runTogether(binDir() + u"/call_desk"_s, arguments, go, how);
    datagrams += listener.drain(300);
    return runs;
}

} // namespace

class TestCallDesks final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void selectiveDesksNeverAnnounceOneNumberTwice();
    void aDeskWaitingForABusyArchiveLeavesTheNumberFileFree();
    void automaticDesksDrainOneQueue();
};

void TestCallDesks::selectiveDesksNeverAnnounceOneNumberTwice()
{
    // From 950 past 999, on a service id beyond 16 bits.
    constexpr qint32 firstNumber = 950;
    constexpr qint64 serviceId = 70001;
    CallArchive archive;
    QVERIFY(archive.addService(u"10.0.0.1"_s, serviceId, u"Anagrafe"_s, 1000, firstNumber));
    for (int i = 2; i <= kDesks; ++i)
        QVERIFY(archive.addDeskService(u"10.0.0.%1"_s.arg(i), serviceId, u"Anagrafe"_s) > 0);
    DatagramListener listener;
    const auto desk = [&](int i) {
        return QStringList{u"selective"_s, archive.folder(), u"Sportello %1"_s.arg(i),
                           u"10.0.0.%1"_s.arg(i), QString::number(serviceId), u"50"_s};
    };
    QList<QStringList> desks;
    for (int i = 1; i <= kDesks; ++i)
        desks << desk(i);
    QList<QByteArray> datagrams;
    const RunTogether runs = runDesks(archive, desks, listener, datagrams);
    QVERIFY2(runs.overlapped, "the desks did not run at the same time");
    for (const DriverRun &run : runs.runs)
        QVERIFY2(run.lines.filter(u"call "_s).size() == 50, qPrintable(run.lines.join(u'\n')));
    QSet<QByteArray> expected, numbers;
    for (qint32 n = firstNumber; n < firstNumber + 400; ++n)
        expected << QByteArray::number(n).rightJustified(3, '0');
    for (const QByteArray &datagram : std::as_const(datagrams)) {
        QVERIFY2(datagram.endsWith("#Anagrafe"), datagram.constData());
        numbers << datagram.split('#').first();
    }
    QCOMPARE(datagrams.size(), 400);
    QCOMPARE(numbers, expected);
    QCOMPARE(archive.numberFile(serviceId).value_or(QByteArray()), QByteArray::number(firstNumber + 400) + "\r\n");
    QCOMPARE(archive.attesa(serviceId).value_or(-1), qint64(600));
}

void TestCallDesks::aDeskWaitingForABusyArchiveLeavesTheNumberFileFree()
{
    CallArchive archive;
    QVERIFY(archive.addService(u"10.0.0.1"_s, 12, u"Anagrafe"_s, 3, 41));
    // The server module holds the archive for a second while the desk calls.
    QVERIFY(archive.builder().execute(onPostgres() ? u"BEGIN"_s : u"BEGIN IMMEDIATE"_s));
    QVERIFY(!onPostgres() || archive.builder().execute(u"LOCK TABLE Servizi IN EXCLUSIVE MODE"_s));
    QElapsedTimer busy;
    bool held = false;
    bool committed = false;
    const auto watch = [&](const QList<QProcess *> &) {
        if (!busy.isValid())
            busy.start();
        if (busy.elapsed() < 1000)
            held = held || !NumberFile::open(numberFilePath(archive.folder(), 12), NumberFile::Mode::ExistingOnly,
                                             std::chrono::milliseconds(0));
        else if (!committed)
            committed = archive.builder().execute(u"COMMIT"_s).ok();
    };
    DatagramListener listener;
    QList<QByteArray> datagrams;
    runDesks(archive, {{u"selective"_s, archive.folder(), u"Sportello 1"_s, u"10.0.0.1"_s, u"12"_s, u"1"_s}},
             listener, datagrams, {.meanwhile = watch});
    QVERIFY2(!held, "the number file was locked while the desk waited for the archive");
    QCOMPARE(datagrams, QList<QByteArray>{"041#Sportello 1#Anagrafe"});
    QCOMPARE(archive.attesa(12), std::optional<qint64>(2));
}

void TestCallDesks::automaticDesksDrainOneQueue()
{
    constexpr int kTickets = 1000;
    CallArchive archive;
    // Overlapping services: each desk serves two of the three.
    QList<QList<qint64>> services;
    QList<QStringList> desks;
    for (int i = 0; i < kDesks; ++i) {
        services << QList<qint64>{1 + i % 3, 1 + (i + 1) % 3};
        const QString ip = u"10.0.0.%1"_s.arg(11 + i);
        for (const qint64 service : services.at(i))
            QVERIFY(archive.addDeskService(ip, service, u"Servizio %1"_s.arg(service)) > 0);
        desks << QStringList{u"automatic"_s, archive.folder(), u"Sportello %1"_s.arg(i), ip};
    }
    // Services dealt out of turn, and drawing times that do not follow the row keys.
    QHash<qint64, qint32> nextNumber;
    QSet<QByteArray> expected;
    QVERIFY(archive.builder().execute(u"BEGIN"_s));
    for (int i = 0; i < kTickets; ++i) {
        const qint64 service = 1 + (i * 7 / 3) % 3;
        const qint32 number = ++nextNumber[service];
        const QTime drawn = QTime(8, 0).addSecs((i * 7919) % kTickets);  // a permutation of 0..999
        QVERIFY(archive.addTicket(service, number, u"Servizio %1"_s.arg(service),
                                  ArchiveBuilder::oraText(QDateTime(QDate(2026, 12, 5), drawn))) > 0);
        expected << QByteArray::number(number).rightJustified(3, '0') + "#Servizio " + QByteArray::number(service);
    }
    QVERIFY(archive.builder().execute(u"COMMIT"_s));

    DatagramListener listener;
    QList<QByteArray> datagrams;
    const RunTogether runs = runDesks(archive, desks, listener, datagrams);
    QVERIFY2(runs.overlapped, "the desks did not run at the same time");
    // Each desk called only its own services, each ticket once, in ora order.
    QSet<qint64> calledKeys;
    for (int i = 0; i < kDesks; ++i) {
        QString previousOra;
        for (const QString &line : runs.runs.at(i).lines) {
            QVERIFY2(!line.startsWith(u"fail"_s), qPrintable(line));
            const QStringList f = line.split(u' ');  // call <key> <service> <number> <date> <time>
            if (f.first() != u"call"_s)
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
    for (const QByteArray &datagram : std::as_const(datagrams))
        received << datagram.split('#').value(0) + '#' + datagram.split('#').value(2);
    QCOMPARE(datagrams.size(), kTickets);
    QCOMPARE(received, expected);
}

TQ3_ARCHIVE_TEST_MAIN(TestCallDesks)
#include "tst_calldesks.moc"

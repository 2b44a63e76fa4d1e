// Desks in separate processes call at once against one archive: every
// number goes out exactly once, no customer is lost or called twice, also
// when desks are killed in the middle of their calls, and no desk keeps a
// number file locked while it waits for the archive.

#include "CallArchive.h"
#include "TestSupport.h"

#include "core/store/CallFiles.h"
#include "core/store/CallJournal.h"
#include "core/store/FaultPoint.h"
#include "core/store/RecordSyntax.h"
#include "core/store/Text1252.h"

#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace tq3;
using namespace Qt::StringLiterals;
using namespace tq3::test;

namespace {

constexpr int kDesks = 8;

// The desks let go together; the datagrams are read while they run, so none waits in a full buffer.
RunTogether runDesks(const CallArchive &archive, const QList<QStringList> &desks, DatagramListener &listener,
                     QList<QByteArray> &datagrams, Together how = {}, const QString &program = u"call_desk"_s)
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
    const RunTogether runs = runTogether(binDir() + u'/' + program, arguments, go, how);
    datagrams += listener.drain(300);
    return runs;
}

int setting(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

} // namespace

class TestCallDesks final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void selectiveDesksNeverAnnounceOneNumberTwice();
    void aDeskWaitingForABusyArchiveLeavesTheNumberFileFree();
    void automaticDesksDrainOneQueue();
    void eightDesksAndAKioskLoseNoCustomerThroughKills();
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

// Four selective and four automatic desks on overlapping services, and a
// kiosk drawing all along. Desks killed at random moments (TQ3_SOAK_KILLS)
// and at chosen points of their calls (the first start of each of the first
// TQ3_SOAK_POINT_KILLS desks) start again at once and make good what the
// kill cut. TQ3_SOAK_TICKETS sets the length; TQ3_SOAK_TABLE names a file
// that receives the run's row of the table in docs/reliability.md.
void TestCallDesks::eightDesksAndAKioskLoseNoCustomerThroughKills()
{
    const int tickets = setting("TQ3_SOAK_TICKETS", 200);
    const int randomKills = setting("TQ3_SOAK_KILLS", 0);
    const int pointKills = setting("TQ3_SOAK_POINT_KILLS", 8);
    QElapsedTimer clock;
    clock.start();
    CallArchive archive;
    const QStringList names{u"Anagrafe"_s, u"Tributi"_s, u"Stato Civile"_s, u"Servizi Sociali"_s,
                            u"Polizia Municipale"_s, u"Attività Produttive"_s};
    QHash<QByteArray, qint64> serviceByName;
    for (qint64 id = 1; id <= 6; ++id) {
        QVERIFY(archive.builder().addService(id, names.at(id - 1), true, 0));
        serviceByName[cp1252::encodeLossy(names.at(id - 1))] = id;
        QVERIFY(id > 3 || archive.writeNumberFile(id, "1\r\n"));
    }
    const QString stop = archive.folder() + u"/stop"_s;
    QTemporaryDir work;
    QList<QStringList> desks;
    QHash<QByteArray, QList<qint64>> deskServices;
    for (int d = 0; d < 8; ++d) {
        const bool selective = d < 4;
        const QList<qint64> own{(selective ? 1 : 4) + d % 3, (selective ? 1 : 4) + (d + 1) % 3};
        const QString desk = u"Sportello %1"_s.arg(d + 1);
        const QString ip = u"10.0.0.%1"_s.arg(d + 1);
        for (const qint64 service : own)
            QVERIFY(archive.addDeskService(ip, service, names.at(service - 1)) > 0);
        deskServices[desk.toLatin1()] = own;
        QVERIFY(QDir(work.path()).mkpath(desk));
        desks << QStringList{u"automatic"_s, archive.folder(), desk, ip, work.filePath(desk), stop};
        if (selective)
            desks.last() = QStringList{u"selective"_s, archive.folder(), desk, ip, u"%1,%2"_s.arg(own[0]).arg(own[1]),
                                       u"0"_s, work.filePath(desk), stop};
    }
    QProcess kiosk;
    kiosk.start(binDir() + u"/tq3-standin"_s, {u"draw"_s, archive.folder(), u"1,2,3,4,5,6"_s,
                                                QString::number(tickets), u"--every"_s, u"5"_s,
                                                u"--wait-for"_s, archive.folder() + u"/go"_s});
    QVERIFY(kiosk.waitForStarted());

    // Random kills while the kiosk draws, spread over its expected time.
    int killed = 0;
    qint64 nextKill = 0;
    const auto kill = [&](const QList<QProcess *> &running) {
        kiosk.readAllStandardOutput();
        if (kiosk.waitForFinished(1) && !QFileInfo::exists(stop))
            QVERIFY(writeFile(stop));
        if (running.isEmpty() || killed == randomKills || QFileInfo::exists(stop) || clock.elapsed() < nextKill)
            return;
        running.at(QRandomGenerator::global()->bounded(int(running.size())))->kill();
        ++killed;
        nextKill = clock.elapsed() + QRandomGenerator::global()->bounded(2 * tickets * 5 / (randomKills + 1) + 1);
    };
    const auto points = [&](int d, int start, QProcess &process) {
        if (start * 8 + d >= pointKills)
            return;
        const QList<const char *> selective{fault::kCallLowered, fault::kNumberTruncated, fault::kCallBeforeSend};
        const QList<const char *> automatic{fault::kCallMarked, fault::kNumberTruncated, fault::kCallBeforeSend};
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"TQ3_KILL_AT"_s, QLatin1String((d < 4 ? selective : automatic).at((d + start) % 3)));
        process.setProcessEnvironment(environment);
    };
    DatagramListener listener;
    QList<QByteArray> datagrams;
    const RunTogether runs = runDesks(archive, desks, listener, datagrams,
                                      {.meanwhile = kill, .restartCrashed = true, .prepare = points,
                                       .timeoutMs = 60000 + tickets * 100},
                                      u"call_desk_faults"_s);
    QVERIFY(kiosk.state() == QProcess::NotRunning && kiosk.exitCode() == 0);
    int crashes = 0;
    int pointKilled = 0;
    for (const DriverRun &run : runs.runs) {
        QVERIFY2(run.exitCode == 0 && run.lines.filter(u"fail"_s).isEmpty(), qPrintable(run.lines.join(u'\n')));
        crashes += run.crashes;
        pointKilled += int(run.lines.filter(u"killed at "_s).size());
    }

    // What went out, by service and number; each from a desk that serves it.
    QHash<QPair<qint64, qint32>, int> announced;
    for (const QByteArray &datagram : std::as_const(datagrams)) {
        const QList<QByteArray> parts = datagram.split('#');
        const qint64 service = serviceByName.value(parts.value(2));
        QVERIFY2(deskServices.value(parts.value(1)).contains(service), datagram.constData());
        ++announced[{service, parts.value(0).toInt()}];
    }
    // What the archive says was called: numbers taken, tickets marked. Each
    // call went out once, and nobody is left waiting once the desks are done.
    QHash<qint64, qint32> next;  // each number file reads; a selective one holds the next number
    for (qint64 service = 1; service <= 6; ++service) {
        Result<NumberFile> file = NumberFile::open(numberFilePath(archive.folder(), service),
                                                   NumberFile::Mode::ExistingOnly);
        QVERIFY(file && file->read());
        next[service] = file->read().value();
    }
    QHash<qint64, qint64> drawn;
    int calls = 0;
    int lost = 0;  // never announced, or left waiting once the desks are done
    QSqlQuery rows(QSqlDatabase::database(archive.builder().connectionName()));
    QVERIFY(rows.exec(u"SELECT servizioid, NrDaChiamare, SeChiamato FROM CodaFromTotem"_s));
    while (rows.next()) {
        const qint64 service = rows.value(0).toLongLong();
        const qint32 number = rows.value(1).toInt();
        const bool called = service <= 3 ? number < next[service] : rows.value(2).toBool();
        ++drawn[service];
        calls += called;
        if (called && announced.contains({service, number}))
            continue;
        ++lost;
        qWarning("service %lld number %d: %s", service, number, called ? "never announced" : "left waiting");
    }
    int duplicates = 0;
    for (const int times : std::as_const(announced))
        duplicates += times - 1;

    const QString row = u"| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 s |"_s.arg(desks.size()).arg(calls)
                            .arg(crashes - pointKilled).arg(pointKilled).arg(duplicates).arg(lost)
                            .arg(datagrams.size()).arg(double(clock.elapsed()) / 1000, 0, 'f', 1);
    qInfo("desks | calls | random kills | chosen-point kills | duplicates | lost | datagrams | time\n%s",
          qPrintable(row));
    if (const QString table = qEnvironmentVariable("TQ3_SOAK_TABLE"); !table.isEmpty())
        QVERIFY(writeFile(table, row.toUtf8() + '\n'));
    QCOMPARE(duplicates, 0);
    QCOMPARE(lost, 0);
    QCOMPARE(calls, tickets);
    QCOMPARE(datagrams.size(), calls);
    QCOMPARE(pointKilled, randomKills > 0 ? pointKilled : pointKills);  // a random kill may come first
    // Attesa: the kiosk's draws less the selective calls; no journal is left.
    for (qint64 service = 1; service <= 6; ++service)
        QCOMPARE(archive.attesa(service), drawn[service] - (service <= 3 ? next[service] - 1 : 0));
    for (const QStringList &desk : std::as_const(desks)) {
        const auto journal = CallJournal::read(desk.at(desk.size() - 2) + u'/' + kCallJournalFileName);
        QVERIFY(journal && !journal->has_value());
    }
}

TQ3_ARCHIVE_TEST_MAIN(TestCallDesks)
#include "tst_calldesks.moc"

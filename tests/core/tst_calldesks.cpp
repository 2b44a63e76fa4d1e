// The call a desk makes when "Avanti" is pressed, alone and with desks in
// separate processes calling at once against one archive: every number goes
// out exactly once, no customer is lost or called twice, also when desks are
// killed in the middle of their calls, and no desk keeps a number file locked
// while it waits for the archive.

#include "CallArchive.h"
#include "TestSupport.h"

#include "core/calls/AutomaticCall.h"
#include "core/calls/SelectiveCall.h"
#include "core/calls/ServerLink.h"
#include "core/store/FaultPoint.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlQuery>

using namespace tq3;
using namespace Qt::StringLiterals;
using namespace tq3::test;
using Kind = CallOutcome::Kind;
using Prepare = std::function<void(CallArchive &)>;

namespace {

const QString kIp = u"10.0.0.5"_s;

// One press of "Avanti" at desk "Sportello 1" (kIp), which serves 12 "Anagrafe"
// (number file 41, `attesa` waiting, ticket 7 waiting) and 13 "Tributi". An announced selective call leaves the next number
// and one less waiting; any other end changes nothing but what `marked` says.
// Automatic desks announcing are shown by eightDesksLoseNoCustomer.
struct Press final {
    bool automatic = false;
    Prepare prepare = {};
    QString server = u"127.0.0.1"_s;
    qint64 attesa = 3;
    int rows = 2;
    bool failingWrite = false;
    Kind kind = Kind::Failed;
    QByteArray datagram = {};  // null: nothing sent
    QString message = {};      // the operator's lines joined by |
    bool marked = false;       // the waiting ticket left the queue without a call
};

} // namespace

Q_DECLARE_METATYPE(Press)

class TestCallDesks final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aPressEndsAsItShould_data();
    void aPressEndsAsItShould();
    void eightDesksLoseNoCustomer_data();
    void eightDesksLoseNoCustomer();
};

void TestCallDesks::aPressEndsAsItShould_data()
{
    QTest::addColumn<Press>("press");
    const auto sql = [](const QString &statement) -> Prepare {
        return [=](CallArchive &a) { QVERIFY(a.builder().execute(statement)); };
    };
    const QByteArray sent = "041#Sportello 1#Anagrafe";
    QTest::newRow("a selective call of 41 with three waiting sends 041, leaves 42 and two waiting")
        << Press{.kind = Kind::Announced, .datagram = sent};
    QTest::newRow("a negative count calls and is lowered, as the system always did")
        << Press{.attesa = -2, .kind = Kind::Announced, .datagram = sent};
    QTest::newRow("a count of zero calls nobody, changes nothing") << Press{.attesa = 0, .kind = Kind::NothingWaiting};
    QTest::newRow("a selective desk without services is refused") << Press{.rows = 0, .kind = Kind::NoService};
    QTest::newRow("a server address equal to this PC's address is refused") << Press{.server = kIp,
        .kind = Kind::ServerIsThisPc, .message = u"Client e Server non devono|coesistere sullo stesso PC !"_s};
    QTest::newRow("a failed write of the next number gives the count back and sends nothing")
        << Press{.failingWrite = true, .message = u"Numero non salvato (NrAllS12.txt): chiamata annullata !"_s};
    QTest::newRow("False in the server-state file leaves the ticket waiting") << Press{.automatic = true,
        .prepare = [](CallArchive &a) { a.setServerState(u"False"_s); }, .kind = Kind::ServerNotListening};
    QTest::newRow("an automatic desk finds no ticket waiting at all") << Press{.automatic = true,
        .prepare = sql(u"UPDATE CodaFromTotem SET SeChiamato = true"_s), .kind = Kind::QueueEmpty,
        .message = u"Al momento coda di attesa vuota !"_s};
    QTest::newRow("a number file that cannot be written gives the ticket back") << Press{.automatic = true,
        .prepare = [](CallArchive &a) { QVERIFY(QDir(a.folder() + u"/NrAll"_s).removeRecursively()); },
        .message = u"Cartella NrAll non trovata !|Il biglietto resta in attesa."_s};
    QTest::newRow("a ticket without a service the desk can name leaves the queue") << Press{.automatic = true,
        .prepare = [=](CallArchive &a) {
            sql(u"UPDATE ServiziPostazioni SET ServizioTesto = '' WHERE ServizioID = 13"_s)(a);
            sql(u"UPDATE CodaFromTotem SET servizioid = 13, Servizio = NULL"_s)(a);
        }, .message = u"Biglietto senza servizio: tolto dalla coda !|Avvisare il responsabile del Server."_s,
        .marked = true};
}

void TestCallDesks::aPressEndsAsItShould()
{
    QFETCH(Press, press);
    CallArchive archive;
    QVERIFY(archive.addService(kIp, 12, u"Anagrafe"_s, press.attesa, 41));
    QVERIFY(archive.addService(kIp, 13, u"Tributi"_s, 0));
    const qint64 waiting = archive.addTicket(12, 7, u"Anagrafe"_s, u"2026-12-05 09:01:00"_s);
    if (press.prepare)
        press.prepare(archive);
    const QList<qint64> calledBefore = archive.calledKeys();
    const std::optional<QByteArray> numberBefore = archive.numberFile(12);
    DatagramListener listener;
    ServerLink link;
    link.setDestination(press.server, listener.port());
    CallRequest request{.archiveFolder = archive.folder(), .deskName = u"Sportello 1"_s, .ipLocale = kIp,
                        .serverAddress = press.server, .numberFilePatience = std::chrono::milliseconds(100),
                        .serviceId = 12, .serviceName = u"Anagrafe"_s, .serviceRows = press.rows};
    if (press.failingWrite)
        request.writeNumber = [](NumberFile &, qint32) { return Result<void>(makeError(ErrorKind::Io, u"Pieno"_s)); };
    const CallOutcome outcome = press.automatic ? AutomaticCall(link).run(request) : SelectiveCall(link).run(request);

    const bool announced = outcome.kind == Kind::Announced;
    QCOMPARE(outcome.kind, press.kind);
    QCOMPARE(outcome.message.join(u'|'), press.message);
    QCOMPARE(listener.receive(1, announced ? 3000 : 50).value(0), press.datagram);
    QCOMPARE(archive.numberFile(12), announced ? "42\r\n"_ba : numberBefore);
    QCOMPARE(archive.attesa(12), press.attesa - announced);
    QCOMPARE(archive.calledKeys(), calledBefore + QList<qint64>(press.marked, waiting));
}

void TestCallDesks::eightDesksLoseNoCustomer_data()
{
    QTest::addColumn<int>("drawnBefore");     // waiting when the desks start, drawn out of key order
    QTest::addColumn<int>("drawnMeanwhile");  // by a kiosk while they run
    QTest::addColumn<int>("randomKills");
    QTest::addColumn<int>("pointKills");  // one at the first start of each of the first desks
    QTest::newRow("eight desks let go together call each waiting ticket once, in drawing order") << 600 << 0 << 0 << 0;
    // TQ3_SOAK_TABLE names a file that receives this row of the table in docs/reliability.md.
    QTest::newRow("desks killed at random and at chosen points of their calls while a kiosk draws")
        << 0 << qEnvironmentVariable("TQ3_SOAK_TICKETS", u"200"_s).toInt()
        << qEnvironmentVariableIntValue("TQ3_SOAK_KILLS") << qEnvironmentVariable("TQ3_SOAK_POINT_KILLS", u"8"_s).toInt();
}

// Four selective desks on services 1-3, four automatic ones on 4-6, each
// serving two; the server module holds the archive for their first second. A
// killed desk starts again at once and makes good what the kill cut.
void TestCallDesks::eightDesksLoseNoCustomer()
{
    QFETCH(int, drawnBefore);
    QFETCH(int, drawnMeanwhile);
    QFETCH(int, randomKills);
    QFETCH(int, pointKills);
    CallArchive archive;
    const QStringList names{u"Anagrafe"_s, u"Tributi"_s, u"Stato Civile"_s, u"Servizi Sociali"_s,
                            u"Polizia Municipale"_s, u"Attività Produttive"_s};  // Latin-1, as Windows-1252 sends them
    for (qint64 id = 1; id <= 6; ++id) {
        QVERIFY(archive.builder().addService(id, names.at(id - 1), true, drawnBefore / 6));
        QVERIFY(id > 3 || archive.writeNumberFile(id, drawnBefore ? "950\r\n" : "1\r\n"));  // past 999
    }
    for (int i = 0; i < drawnBefore; ++i) {
        const QTime drawn = QTime(8, 0).addSecs((i * 7919) % drawnBefore);  // a permutation of the keys
        QVERIFY(archive.addTicket(1 + i % 6, (i % 6 < 3 ? 950 : 1) + i / 6, names.at(i % 6),
                                  ArchiveBuilder::oraText(QDateTime(QDate(2026, 12, 5), drawn))) > 0);
    }
    const QString go = archive.folder() + u"/go"_s, stop = archive.folder() + u"/stop"_s;
    QVERIFY(drawnMeanwhile || writeFile(stop));
    QTemporaryDir work;
    DatagramListener listener;
    QList<QStringList> desks;
    QHash<QByteArray, QList<qint64>> deskServices;
    for (int d = 0; d < 8; ++d) {
        const QList<qint64> own{(d < 4 ? 1 : 4) + d % 3, (d < 4 ? 1 : 4) + (d + 1) % 3};
        const QString desk = u"Sportello %1"_s.arg(d + 1), ip = u"10.0.0.%1"_s.arg(d + 1);
        for (const qint64 service : own)
            QVERIFY(archive.addDeskService(ip, service, names.at(service - 1)) > 0);
        deskServices[desk.toLatin1()] = own;
        QVERIFY(QDir(work.path()).mkpath(desk));
        desks << QStringList{go, QString::number(listener.port()), d < 4 ? u"selective"_s : u"automatic"_s,
                             archive.folder(), desk, ip, u"%1,%2"_s.arg(own[0]).arg(own[1]), work.filePath(desk), stop};
    }
    QProcess kiosk;
    kiosk.setStandardOutputFile(QProcess::nullDevice());
    if (drawnMeanwhile) {
        kiosk.start(binDir() + u"/tq3-standin"_s, {u"draw"_s, archive.folder(), u"1,2,3,4,5,6"_s,
                                                    QString::number(drawnMeanwhile), u"--every"_s, u"5"_s,
                                                    u"--wait-for"_s, go});
        QVERIFY(kiosk.waitForStarted());
    }
    QVERIFY(archive.builder().execute(onPostgres() ? u"BEGIN"_s : u"BEGIN IMMEDIATE"_s));
    QVERIFY(!onPostgres() || archive.builder().execute(u"LOCK TABLE Servizi IN EXCLUSIVE MODE"_s));
    QList<QByteArray> datagrams;
    QElapsedTimer clock;  // from the go; the server module holds the archive for the first second
    bool held = false, committed = false;  // held: a number file locked while its desk waited for the archive
    int killed = 0;
    qint64 nextKill = 0;
    const auto meanwhile = [&](const QList<QProcess *> &running) {
        datagrams += listener.drain(5);
        if (!clock.isValid())
            clock.start();
        for (qint64 service = 1; service <= 3 && clock.elapsed() < (drawnMeanwhile ? 0 : 1000); ++service)
            held = held || !NumberFile::open(numberFilePath(archive.folder(), service), NumberFile::Mode::ExistingOnly,
                                             std::chrono::milliseconds(0));
        if (!committed && clock.elapsed() >= (drawnMeanwhile ? 0 : 1000))
            committed = archive.builder().execute(u"COMMIT"_s).ok();
        if (kiosk.waitForFinished(1) && !QFileInfo::exists(stop))
            QVERIFY(writeFile(stop));
        if (running.isEmpty() || killed == randomKills || QFileInfo::exists(stop) || clock.elapsed() < nextKill)
            return;
        running.at(QRandomGenerator::global()->bounded(int(running.size())))->kill();  // spread over the draws
        ++killed;
        nextKill = clock.elapsed() + QRandomGenerator::global()->bounded(10 * drawnMeanwhile / (randomKills + 1) + 1);
    };
    const auto points = [&](int d, int start, QProcess &process) {
        const char *const kills[2][3]{{fault::kCallLowered, fault::kNumberTruncated, fault::kCallBeforeSend},
                                      {fault::kCallMarked, fault::kNumberTruncated, fault::kCallBeforeSend}};
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (start * 8 + d < pointKills)
            environment.insert(u"TQ3_KILL_AT"_s, QLatin1String(kills[d < 4 ? 0 : 1][(d + start) % 3]));
        process.setProcessEnvironment(environment);
    };
    const RunTogether runs = runTogether(binDir() + u"/call_desk_faults"_s, desks, go,
                                         {.meanwhile = meanwhile, .restartCrashed = true, .prepare = points,
                                          .timeoutMs = 60000 + (drawnBefore + drawnMeanwhile) * 100});
    datagrams += listener.drain(300);
    QVERIFY2(runs.overlapped, "the desks did not run at the same time");
    QVERIFY2(committed && !held, "a number file was locked while its desk waited for the archive");
    QVERIFY(kiosk.state() == QProcess::NotRunning && kiosk.exitCode() == 0);
    int crashes = 0, pointKilled = 0;
    for (int d = 0; d < 8; ++d) {
        const DriverRun &run = runs.runs.at(d);
        QVERIFY2(run.exitCode == 0 && run.lines.filter(u"fail"_s).isEmpty(), qPrintable(run.lines.join(u'\n')));
        crashes += run.crashes;
        pointKilled += int(run.lines.filter(u"killed at "_s).size());
        QString previous;  // an automatic desk takes the oldest of its tickets
        for (const QString &line : run.lines.filter(u"call "_s)) {
            QVERIFY2(d < 4 || drawnMeanwhile || previous < line.section(u' ', 4), qPrintable(line));
            previous = line.section(u' ', 4);
        }
    }
    // What went out, by service and number; each from a desk that serves it.
    QHash<QPair<qint64, qint32>, int> announced;
    for (const QByteArray &datagram : std::as_const(datagrams)) {
        const QList<QByteArray> parts = datagram.split('#');
        const qint64 service = names.indexOf(QString::fromLatin1(parts.value(2))) + 1;
        QVERIFY2(deskServices.value(parts.value(1)).contains(service), datagram.constData());
        ++announced[{service, parts.value(0).toInt()}];
    }
    // What the archive says was called: numbers taken (a selective service's
    // number file holds the next one), tickets marked.
    QHash<qint64, qint64> waiting;  // what Attesa must read: the draws less the selective calls
    int calls = 0, lost = 0;  // lost: never announced, or left waiting once the desks are done
    QSqlQuery rows(QSqlDatabase::database(archive.builder().connectionName()));
    QVERIFY(rows.exec(u"SELECT servizioid, NrDaChiamare, SeChiamato FROM CodaFromTotem"_s));
    while (rows.next()) {
        const qint64 service = rows.value(0).toLongLong();
        const qint32 number = rows.value(1).toInt();
        const bool called = service > 3 ? rows.value(2).toBool()
                                        : number < archive.numberFile(service).value_or("0").trimmed().toInt();
        waiting[service] += !called || service > 3;
        calls += called;
        const bool lostOne = !called || !announced.contains({service, number});
        if (lostOne)
            qWarning("service %lld number %d: %s", service, number, called ? "never announced" : "left waiting");
        lost += lostOne;
    }
    const qsizetype duplicates = datagrams.size() - announced.size();
    const QString row = u"| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 s |"_s.arg(desks.size()).arg(calls)
                            .arg(crashes - pointKilled).arg(pointKilled).arg(duplicates).arg(lost)
                            .arg(datagrams.size()).arg(double(clock.elapsed()) / 1000, 0, 'f', 1);
    if (const QString table = qEnvironmentVariable("TQ3_SOAK_TABLE"); drawnMeanwhile && !table.isEmpty())
        QVERIFY(writeFile(table, row.toUtf8() + '\n'));
    QCOMPARE(duplicates, 0);
    QCOMPARE(lost, 0);
    QCOMPARE(calls, drawnBefore + drawnMeanwhile);
    QCOMPARE(datagrams.size(), calls);
    QCOMPARE(pointKilled, randomKills > 0 ? pointKilled : pointKills);  // a random kill may come first
    for (qint64 service = 1; service <= 6; ++service)
        QCOMPARE(archive.attesa(service), waiting[service]);
}

TQ3_ARCHIVE_TEST_MAIN(TestCallDesks)
#include "tst_calldesks.moc"

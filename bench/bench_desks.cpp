// Many desks at once: 1, 4 and 8 desk processes, each with its own IpLocale,
// press "Avanti" back to back, selective and automatic, on the SQLite file and
// on PostgreSQL; per-call median and p99 over every desk's calls. Beside each
// cell the floor: the same SQL statements, the number-file write and one UDP
// send with no client code around them, by as many processes, on the same
// engine in the same run. A press that finds the archive busy is made again,
// within its timed call, as the operator would. Prints a Markdown table.
//
//   bench_desks [--postgres CONNINFO] [--calls N] [--warmup N]
//     CONNINFO: a database in which a schema per cell may be made
//   bench_desks desk <call|floor> <selective|automatic> <archive> <ip> <service id> <calls> <warmup> <port> <go>
//     one desk (started by the above)

#include "CallArchive.h"
#include "TestSupport.h"
#include "core/calls/AutomaticCall.h"
#include "core/calls/SelectiveCall.h"
#include "core/calls/ServerLink.h"
#include "core/store/CallFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace tq3;
using namespace Qt::StringLiterals;

namespace {

const QString kServer = u"127.0.0.1"_s;
constexpr int kAutomaticServices = 4;

QString deskIp(int desk)
{
    return u"10.0.1.%1"_s.arg(desk);
}

// ---- one desk ----------------------------------------------------------

// The floor's number file: lock, read, write the new record, flush, cut.
bool writeNumberFile(const QString &path, qint32 number, bool replace)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT, 0644);
    if (fd < 0)
        return false;
    struct flock lock{};
    lock.l_type = F_WRLCK;
    bool ok = ::fcntl(fd, F_OFD_SETLKW, &lock) == 0;
    char old[32];
    const ssize_t read = ok ? ::pread(fd, old, sizeof old, 0) : -1;
    ok = read >= 0;
    const qint32 next = replace ? number : QByteArray(old, ok ? read : 0).trimmed().toInt() + 1;
    const QByteArray record = QByteArray::number(next) + "\r\n";
    ok = ok && ::pwrite(fd, record.constData(), size_t(record.size()), 0) == record.size() && ::fsync(fd) == 0
         && ::ftruncate(fd, record.size()) == 0;
    ::close(fd);
    return ok;
}

// The floor: a connection held open, the statements prepared once.
class Floor final {
public:
    Floor(const QString &archive, quint16 port) : m_archive(archive)
    {
        const DatabaseLocation where = QueueDatabase::locate(archive).value();
        QSqlDatabase db = QSqlDatabase::addDatabase(
            where.engine == DatabaseEngine::Sqlite ? u"QSQLITE"_s : u"QPSQL"_s, u"floor"_s);
        if (where.engine == DatabaseEngine::Sqlite) {
            db.setDatabaseName(where.filePath);
            db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=5000"_s);
        } else {
            db.setConnectOptions(where.conninfo);
        }
        m_ready = db.open();
        if (where.engine == DatabaseEngine::Postgres)
            m_firstRowOnly = u" FETCH FIRST 1 ROW ONLY"_s;
        m_socket = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_ready = m_ready && ::connect(m_socket, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0;
    }
    ~Floor() { ::close(m_socket); }
    bool ready() const { return m_ready; }

    bool selective(qint64 service)
    {
        QSqlQuery &waiting = statement(u"SELECT Attesa FROM Servizi WHERE Id = ?"_s, {service});
        const bool read = waiting.next();
        waiting.finish();
        QSqlQuery &lower = statement(u"UPDATE Servizi SET Attesa = Attesa - 1 WHERE Id = ? AND Attesa > 0"_s, {service});
        const bool lowered = read && lower.isActive() && lower.numRowsAffected() == 1;
        return lowered && writeNumberFile(numberFilePath(m_archive, service), 0, false) && send("001#Floor#Servizio");
    }

    bool automatic(const QString &ip)
    {
        QSqlQuery &rows = statement(u"SELECT Id, IpPostazione, ServizioID, ServizioTesto, IDPostazione "
                                    "FROM ServiziPostazioni WHERE IpPostazione = ? ORDER BY ServizioID, Id"_s, {ip});
        while (rows.next()) {
        }
        rows.finish();
        for (;;) {
            QSqlQuery &distinct = statement(
                u"SELECT DISTINCT ServizioID FROM ServiziPostazioni WHERE IpPostazione = ? ORDER BY ServizioID"_s, {ip});
            QList<qint64> services;
            while (distinct.next())
                services << distinct.value(0).toLongLong();
            distinct.finish();
            qint64 key = -1, service = 0;
            qint32 number = 0;
            QDateTime ora;
            for (const qint64 id : std::as_const(services)) {
                QSqlQuery &oldest = statement(u"SELECT Id, servizioid, NrDaChiamare, Servizio, ora FROM CodaFromTotem "
                                              "WHERE SeChiamato = ? AND servizioid = ? ORDER BY ora, Id"_s
                                                  + m_firstRowOnly,
                                              {false, id});
                if (oldest.next() && (key < 0 || oldest.value(4).toDateTime() < ora)) {
                    key = oldest.value(0).toLongLong();
                    service = id;
                    number = oldest.value(2).toInt();
                    ora = oldest.value(4).toDateTime();
                }
                oldest.finish();
            }
            if (key < 0)
                return false;
            QSqlQuery &mark = statement(u"UPDATE CodaFromTotem SET SeChiamato = ? WHERE Id = ? AND SeChiamato = ?"_s,
                                        {true, key, false});
            if (!mark.isActive())
                return false;
            if (mark.numRowsAffected() == 1)
                return writeNumberFile(numberFilePath(m_archive, service), number, true) && send("001#Floor#Servizio");
        }
    }

private:
    QSqlQuery &statement(const QString &sql, const QVariantList &values)
    {
        auto found = m_prepared.find(sql);
        if (found == m_prepared.end()) {
            auto query = std::make_shared<QSqlQuery>(QSqlDatabase::database(u"floor"_s));
            query->setForwardOnly(true);
            query->prepare(sql);
            found = m_prepared.insert(sql, query);
        }
        QSqlQuery &query = **found;
        for (int i = 0; i < values.size(); ++i)
            query.bindValue(i, values.at(i));
        if (!query.exec())
            std::fprintf(stderr, "floor: %s\n", qPrintable(query.lastError().text()));
        return query;
    }
    bool send(const char *payload) { return ::send(m_socket, payload, qstrlen(payload), 0) >= 0; }

    QString m_archive;
    QString m_firstRowOnly;  // as the desks ask PostgreSQL for the oldest ticket
    QHash<QString, std::shared_ptr<QSqlQuery>> m_prepared;
    int m_socket = -1;
    bool m_ready = false;
};

int runDesk(const QStringList &a)
{
    const bool floorOnly = a.at(2) == u"floor";
    const bool selective = a.at(3) == u"selective";
    const QString archive = a.at(4), ip = a.at(5);
    const qint64 service = a.at(6).toLongLong();
    const int calls = a.at(7).toInt(), warmup = a.at(8).toInt();
    const quint16 port = quint16(a.at(9).toUInt());

    ServerLink link;
    link.setDestination(kServer, port);
    SelectiveCall selectiveCall(link);
    AutomaticCall automaticCall(link);
    Call &call = selective ? static_cast<Call &>(selectiveCall) : automaticCall;
    const CallRequest request{.archiveFolder = archive, .deskName = u"Sportello"_s, .ipLocale = ip,
                              .serverAddress = kServer, .serviceId = service, .serviceName = u"Servizio"_s,
                              .serviceRows = 1};
    Floor floor(archive, port);
    // True when the call went through; nullopt when the archive was busy, and
    // the operator presses again (the floor's only failure is a busy archive).
    const std::function<std::optional<bool>()> press = [&]() -> std::optional<bool> {
        if (floorOnly)
            return (selective ? floor.selective(service) : floor.automatic(ip)) ? std::optional<bool>(true)
                                                                                 : std::nullopt;
        const CallOutcome outcome = call.run(request);
        if (outcome.kind == CallOutcome::Kind::Failed && outcome.error && outcome.error->kind == ErrorKind::InUse)
            return std::nullopt;
        return outcome.kind == CallOutcome::Kind::Announced;
    };
    if (!floor.ready())
        return 2;

    QList<qint64> micros;
    int busy = 0;
    test::waitForGo(a.at(10));
    QElapsedTimer timer;
    for (int i = 0; i < warmup + calls; ++i) {
        timer.start();
        std::optional<bool> done;
        for (int again = 0; !(done = press()) && again < 20; ++again)
            ++busy;
        if (!done.value_or(false)) {
            test::print(u"failed at call %1"_s.arg(i));
            return 1;
        }
        if (i >= warmup)
            micros << timer.nsecsElapsed() / 1000;
    }
    test::print();
    test::print(u"busy %1"_s.arg(busy));
    for (const qint64 us : std::as_const(micros))
        test::print(QString::number(us));
    return 0;
}

// ---- the run -------------------------------------------------------------

struct Cell final {
    qint64 median = 0;
    qint64 p99 = 0;
    int busy = 0;  // presses that found the archive busy and were made again
    bool ok = false;
};

// One archive folder for a cell: a service per selective desk; for the
// automatic desks, who all serve the same services, enough waiting tickets.
bool prepareArchive(const QString &folder, bool selective, int desks, int ticketsPerDesk)
{
    if (!QDir().mkpath(folder + u"/NrAll"_s) || !test::writeFile(serverStateFilePath(folder), "\"True\"\r\n"))
        return false;
    auto builder = test::createQueueDatabase(folder);
    if (!builder)
        return false;
    bool ok = builder->setConfigurazione(selective ? 2 : 1, 4001, kServer, u"BENCH"_s).ok();
    QList<qint64> services;
    for (int id = 1; id <= (selective ? desks : kAutomaticServices); ++id) {
        services << id;
        ok = ok && builder->addService(id, u"Servizio %1"_s.arg(id), true, 10'000'000).ok()
             && test::writeFile(numberFilePath(folder, id), "1\r\n");
    }
    for (int desk = 1; desk <= desks; ++desk) {
        for (const qint64 id : std::as_const(services)) {
            if (!selective || id == desk)
                ok = ok && builder->addDeskService(deskIp(desk), id, u"Servizio %1"_s.arg(id)).ok();
        }
    }
    if (!selective)
        ok = ok && builder->fillTickets(services, qint64(desks) * ticketsPerDesk + 50, 1,
                                        QDateTime(QDate(2026, 1, 1), QTime(8, 0))).ok();
    return ok && builder->execute(u"ANALYZE"_s).ok();
}

Cell runCell(const QString &folder, bool floorOnly, bool selective, int desks, int calls, int warmup)
{
    Cell cell;
    if (!prepareArchive(folder, selective, desks, calls + warmup)) {
        std::fprintf(stderr, "cannot prepare %s\n", qPrintable(folder));
        return cell;
    }
    QUdpSocket server;
    server.bind(QHostAddress::LocalHost, 0);
    server.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 * 1024 * 1024);
    QList<QStringList> arguments;
    for (int desk = 1; desk <= desks; ++desk) {
        arguments << QStringList{u"desk"_s, floorOnly ? u"floor"_s : u"call"_s,
                                 selective ? u"selective"_s : u"automatic"_s, folder, deskIp(desk),
                                 QString::number(desk), QString::number(calls), QString::number(warmup),
                                 QString::number(server.localPort()), folder + u"/go"_s};
    }
    const test::RunTogether runs = test::runTogether(QCoreApplication::applicationFilePath(), arguments,
                                                     folder + u"/go"_s,
                                                     {.meanwhile = [&](const QList<QProcess *> &) {
                                                         while (server.hasPendingDatagrams())
                                                             server.receiveDatagram();
                                                     }});
    QList<qint64> micros;
    for (const test::DriverRun &run : runs.runs) {
        if (run.exitCode != 0) {
            std::fprintf(stderr, "a desk failed: %s\n", qPrintable(run.lines.join(u' ')));
            return cell;
        }
        for (const QString &line : run.lines) {
            if (line.startsWith(u"busy "))
                cell.busy += line.mid(5).toInt();
            else
                micros << line.toLongLong();
        }
    }
    std::sort(micros.begin(), micros.end());
    if (micros.size() != desks * calls || !runs.overlapped)
        return cell;
    cell.median = micros.at(micros.size() / 2);
    cell.p99 = micros.at(std::min<qsizetype>(micros.size() - 1, micros.size() * 99 / 100));
    cell.ok = true;
    return cell;
}

QString ms(qint64 micros)
{
    return QString::number(double(micros) / 1000.0, 'f', 2);
}

QString loadAverage()
{
    QFile file(u"/proc/loadavg"_s);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).section(u' ', 0, 2) : u"?"_s;
}

QString cpuModel()
{
    QFile file(u"/proc/cpuinfo"_s);
    if (!file.open(QIODevice::ReadOnly))
        return u"?"_s;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("model name"))
            return QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
    }
    return u"?"_s;
}

int runAll(const QStringList &a)
{
    const qsizetype postgresAt = a.indexOf(u"--postgres"_s);
    const QString postgres = postgresAt > 0 ? a.value(postgresAt + 1) : QString();
    const qsizetype callsAt = a.indexOf(u"--calls"_s), warmupAt = a.indexOf(u"--warmup"_s);
    const int calls = callsAt > 0 ? a.value(callsAt + 1).toInt() : 200;
    const int warmup = warmupAt > 0 ? a.value(warmupAt + 1).toInt() : 20;
    QTemporaryDir dir;
    // The archives of the PostgreSQL cells are made as the tests make theirs.
    const QString serverFile = dir.filePath(u"server.txt"_s);
    if (!test::writeFile(serverFile, postgres.isEmpty() ? "unavailable" : postgres.toUtf8()))
        return 2;
    qputenv("TQ3_POSTGRES_FILE", QFile::encodeName(serverFile));

    std::printf("Machine: %s, %d cores, %s; load average before: %s\n", qPrintable(cpuModel()),
                QThread::idealThreadCount(), qPrintable(QSysInfo::prettyProductName()), qPrintable(loadAverage()));
    std::printf("%d timed calls per desk after %d untimed; milliseconds.\n\n", calls, warmup);
    std::printf("| Engine | Desk | Desks | Call median | Call p99 | Floor median | Floor p99 | Call / floor (median) "
                "| Busy, pressed again (call / floor) |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---:|---:|\n");
    int cells = 0;
    for (const bool onPostgres : {false, true}) {
        if (onPostgres && postgres.isEmpty())
            continue;
        qputenv("TQ3_TEST_ENGINE", onPostgres ? "postgres" : "sqlite");
        for (const bool selective : {true, false}) {
            for (const int desks : {1, 4, 8}) {
                const QString base = dir.filePath(u"cell%1"_s.arg(++cells));
                const Cell call = runCell(base + u"-call"_s, false, selective, desks, calls, warmup);
                const Cell floor = runCell(base + u"-floor"_s, true, selective, desks, calls, warmup);
                if (!call.ok || !floor.ok) {
                    std::printf("| %s | %s | %d | failed | | | | | |\n", onPostgres ? "PostgreSQL" : "SQLite",
                                selective ? "selective" : "automatic", desks);
                    continue;
                }
                std::printf("| %s | %s | %d | %s | %s | %s | %s | %.2f | %d / %d |\n",
                            onPostgres ? "PostgreSQL" : "SQLite", selective ? "selective" : "automatic", desks,
                            qPrintable(ms(call.median)), qPrintable(ms(call.p99)), qPrintable(ms(floor.median)),
                            qPrintable(ms(floor.p99)), double(call.median) / double(std::max<qint64>(floor.median, 1)),
                            call.busy, floor.busy);
                std::fflush(stdout);
            }
        }
    }
    std::printf("\nLoad average after: %s\n", qPrintable(loadAverage()));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.value(1) == u"desk" && a.size() == 11)
        return runDesk(a);
    return runAll(a);
}

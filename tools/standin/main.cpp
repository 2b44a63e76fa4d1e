// tq3-standin: a stand-in for the server module and the ticket kiosk, for
// the demo, tests and benchmarks on a machine without the real ones.

#include "StandinServer.h"

#include "core/Version.h"
#include "core/startup/ClientEnvironment.h"
#include "archive/ArchiveBuilder.h"
#include "core/store/CallFiles.h"
#include "core/store/QueueDatabase.h"
#include "core/store/RecordSyntax.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>

#include <cstdio>

using namespace tq3;

namespace {

struct SampleService final {
    qint64 id;
    const char16_t *name;
    bool active;
    bool atThisDesk;
};

// Municipal counters; one name with an accent, one service not in use.
constexpr SampleService kSampleServices[] = {
    {1, u"Anagrafe", true, true},
    {2, u"Ufficio Tributi", true, true},
    {3, u"Stato Civile", true, false},
    {4, u"Servizi Sociali", true, false},
    {5, u"Polizia Municipale", false, false},
    {6, u"Attività Produttive", true, true},
};

constexpr qint64 kDefaultPort = 4001;

int failWith(const QString &message)
{
    std::fprintf(stderr, "tq3-standin: %s\n", message.toUtf8().constData());
    return 1;
}

void printLine(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QString describe(const Error &error)
{
    return error.detail.isEmpty() ? error.message : error.message + QStringLiteral(" (") + error.detail + u')';
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

// With a connection string the queue database goes into that PostgreSQL
// database, and TQ3MAX.pg, written last, sends the desks there.
int create(const QString &folder, const QString &deskIp, qint64 mode, qint64 port, const QString &serverName,
           const QString &conninfo)
{
    if (QueueDatabase::locate(folder).ok())
        return failWith(QStringLiteral("%1 holds a queue database already").arg(folder));
    if (!QDir().mkpath(folder) || !QDir().mkpath(folder + QStringLiteral("/NrAll")))
        return failWith(QStringLiteral("cannot create %1").arg(folder));
    {
        auto builder = conninfo.isEmpty() ? ArchiveBuilder::create(QDir(folder).filePath(kDatabaseFileName))
                                          : ArchiveBuilder::createPostgres(conninfo);
        if (!builder)
            return failWith(describe(builder.error()));
        ArchiveBuilder &archive = **builder;
        if (Result<void> set = archive.setConfigurazione(mode, port, QStringLiteral("127.0.0.1"), serverName); !set)
            return failWith(describe(set.error()));
        for (const SampleService &service : kSampleServices) {
            const QString name = QString::fromUtf16(service.name);
            if (Result<void> added = archive.addService(service.id, name, service.active, 0); !added)
                return failWith(describe(added.error()));
            if (service.atThisDesk) {
                if (auto assigned = archive.addDeskService(deskIp, service.id, name, QStringLiteral("P1"));
                    !assigned)
                    return failWith(describe(assigned.error()));
            }
        }
    }
    if (!conninfo.isEmpty()) {
        if (Result<void> written = ArchiveBuilder::writeConninfoFile(folder, conninfo); !written)
            return failWith(describe(written.error()));
    }
    for (const SampleService &service : kSampleServices) {
        if (!writeFile(numberFilePath(folder, service.id), record::numberRecord(1)))
            return failWith(QStringLiteral("cannot write %1").arg(numberFilePath(folder, service.id)));
    }
    if (!writeFile(serverStateFilePath(folder), record::quotedRecord({QStringLiteral("False")})))
        return failWith(QStringLiteral("cannot write %1").arg(serverStateFilePath(folder)));
    printLine(QStringLiteral("Archivio creato in %1: modo %2, porta %3, postazione %4")
                  .arg(folder)
                  .arg(mode)
                  .arg(port)
                  .arg(deskIp));
    return 0;
}

// Tickets for the services in turn, `everyMs` apart: a kiosk drawing all day.
int draw(const QString &folder, const QList<qint64> &services, int count, const QString &waitFor, int everyMs)
{
    auto builder = ArchiveBuilder::openArchive(folder);
    if (!builder)
        return failWith(describe(builder.error()));
    // Tests start several kiosks on one barrier file and read on stderr when
    // each one drew, to show that they overlapped.
    const bool timed = !waitFor.isEmpty();
    if (timed) {
        // Says it stands at the barrier, as the tests' own drivers do.
        QFile(waitFor + QLatin1Char('.') + QString::number(QCoreApplication::applicationPid()))
            .open(QIODevice::WriteOnly);
    }
    while (timed && !QFileInfo::exists(waitFor))
        QThread::usleep(200);
    if (timed)
        std::fprintf(stderr, "start %lld\n", QDateTime::currentMSecsSinceEpoch());
    const SystemClock clock;
    for (int i = 0; i < count; ++i) {
        if (i > 0 && everyMs > 0)
            QThread::msleep(static_cast<unsigned long>(everyMs));
        const qint64 serviceId = services.at(i % services.size());
        const Result<ArchiveBuilder::Draw> drawn = (*builder)->drawTicket(serviceId, clock.now());
        if (!drawn)
            return failWith(describe(drawn.error()));
        printLine(QStringLiteral("Servizio %1: biglietto numero %2").arg(serviceId).arg(drawn->number));
    }
    if (timed)
        std::fprintf(stderr, "end %lld\n", QDateTime::currentMSecsSinceEpoch());
    return 0;
}

int fill(const QString &folder, qint64 count, qint64 waitingEvery)
{
    auto builder = ArchiveBuilder::openArchive(folder);
    if (!builder)
        return failWith(describe(builder.error()));
    QList<qint64> services;
    {
        QSqlQuery query(QSqlDatabase::database((*builder)->connectionName()));
        if (!query.exec(QStringLiteral("SELECT Id FROM Servizi ORDER BY Id")))
            return failWith(QStringLiteral("cannot read Servizi"));
        while (query.next())
            services << query.value(0).toLongLong();
    }
    if (services.isEmpty())
        return failWith(QStringLiteral("no services"));
    const QDateTime start = QDateTime::currentDateTime().addSecs(-count);
    if (Result<void> filled = (*builder)->fillTickets(services, count, waitingEvery, start); !filled)
        return failWith(describe(filled.error()));
    printLine(QStringLiteral("%1 biglietti inseriti").arg(count));
    return 0;
}

std::optional<qint64> toNumber(const QString &text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tq3-standin"));
    QCoreApplication::setApplicationVersion(QLatin1String(kVersion));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Stand-in server module and ticket kiosk.\n"
        "  create <folder> [--desk-ip IP] [--mode 1|2] [--port N] [--server-name NAME] [--postgres CONNINFO]\n"
        "  serve <folder> [--port N] [--seconds S]\n"
        "  draw <folder> <serviceId>[,<serviceId>...] [count] [--every MS] [--wait-for FILE]\n"
        "  fill <folder> <count> [--waiting-every K]"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("create, serve, draw or fill"));
    const QCommandLineOption deskIp(QStringLiteral("desk-ip"), QStringLiteral("The desk's address."),
                                    QStringLiteral("IP"));
    const QCommandLineOption mode(QStringLiteral("mode"), QStringLiteral("1 Automatico, 2 Selettivo."),
                                  QStringLiteral("mode"), QStringLiteral("2"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("UDP port (RHPort)."), QStringLiteral("N"));
    const QCommandLineOption serverName(QStringLiteral("server-name"), QStringLiteral("SERVERName."),
                                        QStringLiteral("NAME"), QStringLiteral("TQ3-STANDIN"));
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("Stop after S seconds."),
                                     QStringLiteral("S"), QStringLiteral("0"));
    const QCommandLineOption waitFor(QStringLiteral("wait-for"),
                                     QStringLiteral("Draw only once FILE exists (tests)."), QStringLiteral("FILE"));
    const QCommandLineOption waitingEvery(QStringLiteral("waiting-every"),
                                          QStringLiteral("Leave every K-th ticket uncalled."), QStringLiteral("K"),
                                          QStringLiteral("100"));
    const QCommandLineOption postgres(QStringLiteral("postgres"),
                                      QStringLiteral("Put the queue database in this PostgreSQL database."),
                                      QStringLiteral("CONNINFO"));
    const QCommandLineOption drawEvery(QStringLiteral("every"), QStringLiteral("Draw every MS milliseconds."),
                                       QStringLiteral("MS"), QStringLiteral("0"));
    parser.addOptions({deskIp, mode, port, serverName, seconds, waitFor, waitingEvery, postgres, drawEvery});
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    const QString command = args.value(0);
    const QString folder = args.value(1);
    if (folder.isEmpty())
        parser.showHelp(2);

    if (command == u"create" && args.size() == 2) {
        const std::optional<qint64> modeValue = toNumber(parser.value(mode));
        const std::optional<qint64> portValue =
            parser.isSet(port) ? toNumber(parser.value(port)) : std::optional<qint64>(kDefaultPort);
        if (!modeValue || (*modeValue != 1 && *modeValue != 2) || !portValue)
            parser.showHelp(2);
        const QString ip = parser.isSet(deskIp) ? parser.value(deskIp) : localIpv4Address();
        return create(folder, ip, *modeValue, *portValue, parser.value(serverName), parser.value(postgres));
    }
    if (command == u"serve" && args.size() == 2) {
        qint64 portValue = 0;
        if (parser.isSet(port)) {
            portValue = toNumber(parser.value(port)).value_or(0);
        } else {
            auto db = QueueDatabase::open(folder);
            if (!db)
                return failWith(describe(db.error()));
            const Result<Configurazione> config = (*db)->configurazione();
            if (!config)
                return failWith(describe(config.error()));
            portValue = config->rhPort.toLongLong();
        }
        if (portValue <= 0 || portValue > 65535)
            return failWith(QStringLiteral("invalid port"));
        return standin::serve(folder, quint16(portValue), int(toNumber(parser.value(seconds)).value_or(0)));
    }
    if (command == u"draw" && (args.size() == 3 || args.size() == 4)) {
        QList<qint64> services;
        for (const QString &service : args.at(2).split(u','))
            services << toNumber(service).value_or(-1);
        const std::optional<qint64> count = args.size() == 4 ? toNumber(args.at(3)) : std::optional<qint64>(1);
        if (services.contains(-1) || !count || *count < 1)
            parser.showHelp(2);
        return draw(folder, services, int(*count), parser.value(waitFor),
                    int(toNumber(parser.value(drawEvery)).value_or(0)));
    }
    if (command == u"fill" && args.size() == 3) {
        const std::optional<qint64> count = toNumber(args.at(2));
        const std::optional<qint64> every = toNumber(parser.value(waitingEvery));
        if (!count || *count < 1 || !every)
            parser.showHelp(2);
        return fill(folder, *count, *every);
    }
    parser.showHelp(2);
}

#pragma once

#include "core/store/QueueDatabase.h"
#include "core/store/Result.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

namespace tq3 {

// Creates and fills queue databases the way the server module and the ticket
// kiosk do: for the stand-in server, the demo, tests and benchmarks. The desk
// client itself never creates a database, a table or a ticket.
class ArchiveBuilder final {
public:
    // The tables, the query1 view and the indexes, one statement each.
    static QStringList schemaStatements(DatabaseEngine engine = DatabaseEngine::Sqlite);

    // 'YYYY-MM-DD HH:MM:SS', the form of CodaFromTotem.ora (sorts by time).
    static QString oraText(const QDateTime &when);

    // A new database file with the schema and no rows; refuses an existing file.
    static Result<std::unique_ptr<ArchiveBuilder>> create(const QString &databasePath);
    // An existing database file, for the kiosk and bulk fills.
    static Result<std::unique_ptr<ArchiveBuilder>> openExisting(const QString &databasePath);
    // The schema in the current schema of an existing PostgreSQL database,
    // all or nothing; refuses a database that already holds the tables.
    static Result<std::unique_ptr<ArchiveBuilder>> createPostgres(const QString &conninfo);
    // The queue database of an archive folder, wherever it is, as the desks find it.
    static Result<std::unique_ptr<ArchiveBuilder>> openArchive(const QString &archiveFolder);
    // TQ3MAX.pg in `folder`, naming the database for every desk.
    static Result<void> writeConninfoFile(const QString &folder, const QString &conninfo);

    ~ArchiveBuilder();
    ArchiveBuilder(const ArchiveBuilder &) = delete;
    ArchiveBuilder &operator=(const ArchiveBuilder &) = delete;

    QString connectionName() const;
    DatabaseEngine engine() const { return m_engine; }

    // Replaces the Configurazione row.
    Result<void> setConfigurazione(qint64 modoClient, qint64 rhPort, const QString &ipServer,
                                   const QString &serverName);
    Result<void> addService(qint64 id, const QString &name, bool active, qint64 attesa);
    // Returns the new row's key.
    Result<qint64> addDeskService(const QString &ipPostazione, qint64 servizioId,
                                  const QString &servizioTesto, const QVariant &idPostazione = {});
    // Returns the new row's key.
    Result<qint64> addTicket(qint64 servizioId, qint64 nrDaChiamare, const QVariant &servizio,
                             bool called, const QString &ora);

    struct Draw final {
        qint64 key = 0;
        qint64 number = 0;
    };
    // The kiosk: the service's next number as an uncalled ticket, and its
    // Attesa one higher, in one write transaction taken up front, so that
    // concurrent draws never hand out one number twice.
    Result<Draw> drawTicket(qint64 servizioId, const QDateTime &when);

    // `count` tickets in one transaction, dealt round the services in turn,
    // one second apart from `start`; every `waitingEvery`-th ticket is left
    // uncalled, the others are called. Numbers run on per service.
    Result<void> fillTickets(const QList<qint64> &servizioIds, qint64 count, qint64 waitingEvery,
                             const QDateTime &start);

    // Any statement with bound values, for tests that need an odd database.
    Result<void> execute(const QString &sql, const QVariantList &values = {});

private:
    ArchiveBuilder(DatabaseEngine engine, QString connectionName);
    static Result<std::unique_ptr<ArchiveBuilder>> connect(DatabaseEngine engine, const QString &database,
                                                           bool create);
    DatabaseEngine m_engine;
    QString m_connectionName;
};

} // namespace tq3

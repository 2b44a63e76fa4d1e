#pragma once

#include "core/store/Result.h"

#include <QList>
#include <QStringList>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

namespace tq3 {

inline const QString kDatabaseFileName = QStringLiteral("TQ3MAX.mdb");
// Its presence in the archive folder puts the queue database on a PostgreSQL
// server: one line, a libpq connection string (never a password).
inline const QString kPostgresFileName = QStringLiteral("TQ3MAX.pg");

enum class DatabaseEngine { Sqlite, Postgres };

// Where the desks of an archive folder find their queue database.
struct DatabaseLocation final {
    DatabaseEngine engine = DatabaseEngine::Sqlite;
    QString filePath;  // the SQLite file, or the TQ3MAX.pg that names the server
    QString conninfo;  // PostgreSQL only
};

// The first row of Configurazione, as stored (nulls kept as nullopt).
struct Configurazione final {
    std::optional<qint64> modoClient;  // 1 Automatico, 2 Selettivo
    QVariant rhPort;                   // unconverted: may be null, text, anything
    std::optional<QString> ipServer;
    std::optional<QString> serverName;
};

// A row of query1: a service of a desk with its waiting count.
struct DeskServiceWaiting final {
    qint64 servizioId = 0;
    QString servizioTesto;
    QVariant attesa;  // null when the service has no Servizi row
};

// A row of ServiziPostazioni.
struct DeskService final {
    qint64 key = 0;  // the row's key
    QString ipPostazione;
    qint64 servizioId = 0;
    QString servizioTesto;
    QVariant idPostazione;
};

// A row of Servizi in use.
struct ActiveService final {
    qint64 id = 0;
    QString servizio;
};

// A waiting row of CodaFromTotem.
struct Ticket final {
    qint64 key = 0;
    qint64 servizioId = 0;
    QVariant nrDaChiamare;  // may be null
    QVariant servizio;      // may be null
    QString ora;
};

// The queue database of one archive folder: the SQLite file TQ3MAX.mdb, or
// the PostgreSQL database that TQ3MAX.pg names. The same statements run on
// both. It opens an existing database only and never creates a file or table.
// Every change is one statement committed at once; a lock held by another
// desk is waited for up to 5 s, after which the operation fails with InUse.
class QueueDatabase final {
public:
    // TQ3MAX.pg when the folder holds one, otherwise archiveFolder + separator
    // + fileName; when neither is there as spelled, either is also found in
    // other letter cases. NotFound when neither exists. The path is formed by
    // plain joining.
    static Result<DatabaseLocation> locate(const QString &archiveFolder, const QString &fileName = kDatabaseFileName);
    // As located. NotADatabase when the file is no SQLite database. A server
    // connection is kept for the next open of the same database; once a
    // statement finds it broken, the next statement or open connects again.
    static Result<std::unique_ptr<QueueDatabase>> open(const QString &archiveFolder,
                                                       const QString &fileName = kDatabaseFileName);
    ~QueueDatabase();
    QueueDatabase(const QueueDatabase &) = delete;
    QueueDatabase &operator=(const QueueDatabase &) = delete;

    DatabaseEngine engine() const;
    const QString &filePath() const;
    // For a model that shows a list: read its rows whole (or finish it)
    // before calling a writing operation, since SQLite refuses a write on a
    // connection whose SELECT still has rows unread.
    QString connectionName() const;

    // NoConfiguration when the table is missing or empty.
    Result<Configurazione> configurazione();

    // query1 rows of the desk, by service id.
    Result<QList<DeskServiceWaiting>> deskServicesWaiting(const QString &ipPostazione);

    // ServiziPostazioni rows of the desk, by service id then key.
    Result<QList<DeskService>> deskServices(const QString &ipPostazione);

    // Servizi rows in use, by id.
    Result<QList<ActiveService>> activeServices();

    Result<bool> deskHasService(const QString &ipPostazione, qint64 servizioId);
    Result<void> addDeskService(const QString &ipPostazione, qint64 servizioId,
                                const QString &servizioTesto);
    // Deletes the row with this key only if it belongs to this desk.
    Result<bool> removeDeskService(qint64 key, const QString &ipPostazione);

    // Attesa of the Servizi row with this id; nullopt when there is no row.
    Result<std::optional<QVariant>> serviceWaiting(qint64 servizioId);
    // One conditional statement: true when Attesa was not 0 and is now one
    // less, false when it was 0 (nothing changed).
    Result<bool> lowerWaiting(qint64 servizioId);
    // Gives back a count lowered by a call that could not be completed.
    Result<void> raiseWaiting(qint64 servizioId);

    // Whether any ticket at all is still uncalled.
    Result<bool> anyWaitingTicket();
    // The oldest uncalled ticket (ora, then key) of the desk's services,
    // found through the indexes, not by walking the queue.
    Result<std::optional<Ticket>> oldestWaitingTicket(const QString &ipPostazione);
    // Marks the ticket called only where it is still uncalled: false when
    // another desk took it first.
    Result<bool> markTicketCalled(qint64 key);
    // Puts back a ticket whose call could not be completed.
    Result<void> unmarkTicketCalled(qint64 key);

    class Connection;

private:
    QueueDatabase(DatabaseLocation location, std::shared_ptr<Connection> connection);
    // The connection, made again first when an earlier statement found it broken.
    Result<Connection *> live();
    DatabaseLocation m_location;
    std::shared_ptr<Connection> m_connection;
};

} // namespace tq3

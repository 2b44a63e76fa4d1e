#include "core/store/QueueDatabase.h"

#include "core/store/Text1252.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLibrary>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <utility>

namespace tq3 {

namespace {

// SQLite primary result codes (the driver reports extended codes).
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteNotADatabase = 26;

const QString kBusyText = QStringLiteral("Archivio occupato, riprovare !");
const QString kStatementText = QStringLiteral("Errore nell'archivio delle code !");
const QString kLostText = QStringLiteral("Collegamento con l'archivio interrotto, riprovare !");

// Given to every server connection ahead of the folder's own connection
// string, which may override them: a server that does not answer is given
// up after 5 s, a network that stops acknowledging after 10 s, and the
// server's list of connections names the desks.
const QString kPostgresDefaults =
    QStringLiteral("connect_timeout=5 tcp_user_timeout=10000 application_name=tq3max-client ");
// A row lock held by another desk or the server module is waited for as long
// as SQLite's busy timeout; a statement that runs longer than any queue
// statement could is stopped. Both then end in "Archivio occupato".
const QString kPostgresSessionSql = QStringLiteral(
    "SELECT set_config('lock_timeout', '5s', false), set_config('statement_timeout', '15s', false)");

QString nextConnectionName()
{
    static std::atomic<quint64> counter{0};
    return QStringLiteral("tq3-queue-%1").arg(++counter);
}

// A path handed to SQLite as a URI, so that mode=rw forbids creating a file.
// Every byte that is not plainly safe is percent-encoded, so '?', '#' and '%'
// in folder names reach the file system unchanged.
QString sqliteUri(const QString &filePath)
{
    QString path = QDir::fromNativeSeparators(QFileInfo(filePath).absoluteFilePath());
    if (!path.startsWith(u'/'))
        path.prepend(u'/');  // "C:/..." -> "/C:/..."; "//server/share" stays a UNC path
    const QByteArray encoded = QUrl::toPercentEncoding(path, QByteArrayLiteral("/:"));
    return QStringLiteral("file://") + QString::fromLatin1(encoded) + QStringLiteral("?mode=rw");
}

// The exact name when it exists, otherwise the first entry of the folder that
// equals it without regard to case: desks spell the name both ways.
std::optional<QString> findDatabaseFile(const QString &plainPath)
{
    const QFileInfo exact(plainPath);
    if (exact.exists())
        return plainPath;
    const QDir folder = exact.absoluteDir();
    if (!folder.exists())
        return std::nullopt;
    QStringList entries = folder.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &entry : std::as_const(entries)) {
        if (entry.compare(exact.fileName(), Qt::CaseInsensitive) == 0)
            return folder.filePath(entry);
    }
    return std::nullopt;
}

int primaryCode(const QSqlError &error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? (code & 0xff) : -1;
}

// PostgreSQL's own reasons to wait no longer: a lock timeout, a statement
// timeout, and the two conflicts after which the same statement may succeed.
bool postgresBusy(const QString &sqlState)
{
    return sqlState == u"55P03" || sqlState == u"57014" || sqlState == u"40001" || sqlState == u"40P01";
}

// Connection exceptions, and a server shutting down or restarting.
bool postgresConnectionGone(const QString &sqlState)
{
    return sqlState.startsWith(u"08") || sqlState == u"57P01" || sqlState == u"57P02" || sqlState == u"57P03";
}

// What libpq's PQping says of a connection string; the client library is the
// one Qt's driver already loaded, asked by name so that building the client
// needs no PostgreSQL headers.
enum class Ping { Ok = 0, Reject = 1, NoResponse = 2, NoAttempt = 3, Unknown = -1 };

Ping pingServer(const QString &conninfo)
{
    using PingFunction = int (*)(const char *);
#ifdef Q_OS_WIN
    const auto ping = reinterpret_cast<PingFunction>(QLibrary::resolve(QStringLiteral("libpq"), "PQping"));
#else
    const auto ping = reinterpret_cast<PingFunction>(QLibrary::resolve(QStringLiteral("pq"), 5, "PQping"));
#endif
    return ping ? Ping(ping(conninfo.toLocal8Bit().constData())) : Ping::Unknown;
}

QString describe(const QSqlError &error, const QString &where)
{
    return error.text() + QStringLiteral(" (") + error.nativeErrorCode() + QStringLiteral(") [") + where + u']';
}

// A field of the current row by name, whatever its letter case in the table.
QVariant field(const QSqlQuery &query, const QString &name)
{
    const int index = query.record().indexOf(name);
    return index < 0 ? QVariant() : query.value(index);
}

std::optional<qint64> toInteger(const QVariant &value)
{
    if (value.isNull() || !value.isValid())
        return std::nullopt;
    bool ok = false;
    const qint64 number = value.toLongLong(&ok);
    return ok ? std::optional<qint64>(number) : std::nullopt;
}

std::optional<QString> toOptionalText(const QVariant &value)
{
    if (value.isNull() || !value.isValid())
        return std::nullopt;
    return value.toString();
}

// `ora` as text that sorts by time: SQLite keeps it as such text, PostgreSQL
// as a timestamp, whose fraction of a second (if any) is kept.
QString oraText(const QVariant &value)
{
    if (value.typeId() != QMetaType::QDateTime)
        return value.toString();
    const QDateTime when = value.toDateTime();
    return when.toString(when.time().msec() == 0 ? QStringLiteral("yyyy-MM-dd HH:mm:ss")
                                                 : QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

const QString kAnyWaitingSql = QStringLiteral(
    "SELECT CASE WHEN EXISTS (SELECT Id FROM CodaFromTotem WHERE SeChiamato = ?) THEN 1 ELSE 0 END");
const QString kOldestOfServiceSql = QStringLiteral(
    "SELECT Id, servizioid, NrDaChiamare, Servizio, ora FROM CodaFromTotem "
    "WHERE SeChiamato = ? AND servizioid = ? ORDER BY ora, Id");

} // namespace

// One named Qt SQL connection and the statements prepared on it. A SQLite
// connection serves one QueueDatabase; a server connection is kept for the
// next open of the same database (on the thread that made it) until it fails.
class QueueDatabase::Connection final {
public:
    Connection(DatabaseEngine engine, QString conninfo)
        : m_engine(engine), m_conninfo(std::move(conninfo)), m_name(nextConnectionName())
    {
    }
    ~Connection()
    {
        // The driver goes first: the statements then end without a word to
        // the server, which drops them with the session (and which may be gone).
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
        m_prepared.clear();
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    DatabaseEngine engine() const { return m_engine; }
    const QString &name() const { return m_name; }
    bool broken() const { return m_broken; }

    // A new server connection, or the one kept for the same database.
    static Result<std::shared_ptr<Connection>> toServer(const DatabaseLocation &location);

    static std::shared_ptr<Connection> keptFor(const QString &conninfo)
    {
        Kept &kept = Kept::instance();
        if (kept.connection && kept.thread == QThread::currentThread() && kept.connection->m_conninfo == conninfo)
            return kept.connection;
        return nullptr;
    }
    // Only one server connection is kept: a desk works on one archive.
    static void keep(std::shared_ptr<Connection> connection)
    {
        Kept &kept = Kept::instance();
        kept.connection = std::move(connection);
        kept.thread = QThread::currentThread();
    }

    // The statement prepared once on this connection and kept, or, when it
    // cannot be prepared, nullptr and the failed query in `failed`.
    std::shared_ptr<QSqlQuery> prepared(const QString &sql, std::optional<QSqlQuery> &failed)
    {
        if (const auto found = m_prepared.constFind(sql); found != m_prepared.cend())
            return *found;
        failed.emplace(QSqlDatabase::database(m_name, false));
        failed->setForwardOnly(true);
        if (!failed->prepare(sql))
            return nullptr;
        auto query = std::make_shared<QSqlQuery>(std::move(*failed));
        failed.reset();
        m_prepared.insert(sql, query);
        return query;
    }

    Error failure(const QSqlQuery &query)
    {
        const QSqlError error = query.lastError();
        const QString detail = describe(error, query.lastQuery());
        if (m_engine == DatabaseEngine::Sqlite) {
            const int code = primaryCode(error);
            if (code == kSqliteBusy || code == kSqliteLocked)
                return makeError(ErrorKind::InUse, kBusyText, detail);
            return makeError(ErrorKind::Database, kStatementText, detail);
        }
        const QString state = error.nativeErrorCode();
        if (postgresConnectionGone(state) || !QSqlDatabase::database(m_name, false).isOpen()) {
            // Not kept for the next call, which connects again.
            m_broken = true;
            if (Kept::instance().connection.get() == this)
                Kept::instance().connection.reset();
            return makeError(ErrorKind::Network, kLostText, detail);
        }
        if (postgresBusy(state))
            return makeError(ErrorKind::InUse, kBusyText, detail);
        // Prepared again next time, in case the table changed under it.
        m_prepared.remove(query.lastQuery());
        return makeError(ErrorKind::Database, kStatementText, detail);
    }

private:
    struct Kept final {
        std::shared_ptr<Connection> connection;
        QThread *thread = nullptr;
        static Kept &instance()
        {
            static Kept kept;
            static const bool closedWithTheApplication = [] {
                // Closed while Qt's SQL plugins are still loaded.
                qAddPostRoutine([] { Kept::instance().connection.reset(); });
                return true;
            }();
            (void)closedWithTheApplication;
            return kept;
        }
    };

    DatabaseEngine m_engine;
    QString m_conninfo;
    QString m_name;
    bool m_broken = false;
    QHash<QString, std::shared_ptr<QSqlQuery>> m_prepared;
};

namespace {

// One run of a prepared statement; its rows are read within the object's
// scope and the query is finished with it: SQLite refuses a write on a
// connection that still has a SELECT with unread rows, and the PostgreSQL
// driver drops the unread rows of one query when the next one runs.
class Statement final {
public:
    Statement(QueueDatabase::Connection &connection, const QString &sql)
        : m_connection(&connection), m_query(connection.prepared(sql, m_failed))
    {
    }
    // On a connection that could not be made again: every run fails so.
    Statement(Result<QueueDatabase::Connection *> connection, const QString &sql)
        : m_connection(connection ? *connection : nullptr),
          m_query(m_connection ? m_connection->prepared(sql, m_failed) : nullptr),
          m_unconnected(connection ? std::nullopt : std::optional<Error>(connection.error()))
    {
    }
    ~Statement()
    {
        if (m_query)
            m_query->finish();
    }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    Statement &bind(const QVariant &value)
    {
        if (m_query)
            m_query->bindValue(m_bound++, value);
        return *this;
    }
    Result<void> run()
    {
        if (m_unconnected)
            return *m_unconnected;
        if (!m_query)
            return m_connection->failure(*m_failed);
        if (!m_query->exec())
            return m_connection->failure(*m_query);
        return {};
    }
    QSqlQuery &query() { return m_query ? *m_query : *m_failed; }
    // True for a row read, false at the end of the rows.
    Result<bool> next()
    {
        if (query().next())
            return true;
        if (query().lastError().isValid())
            return m_connection->failure(query());
        return false;
    }
    // The first column of the one row a statement must yield.
    Result<QVariant> single()
    {
        if (Result<void> ran = run(); !ran)
            return ran.error();
        const Result<bool> row = next();
        if (!row)
            return row.error();
        if (!*row)
            return makeError(ErrorKind::Database, kStatementText, QStringLiteral("no row [") + query().lastQuery() + u']');
        return query().value(0);
    }

private:
    QueueDatabase::Connection *m_connection;
    std::optional<QSqlQuery> m_failed;
    std::shared_ptr<QSqlQuery> m_query;  // kept alive should the connection drop it
    std::optional<Error> m_unconnected;
    int m_bound = 0;
};

Result<QString> readConninfo(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return makeError(ErrorKind::Io, QStringLiteral("File %1 non valido !").arg(kPostgresFileName),
                         file.errorString() + QStringLiteral(" [") + path + u']');
    }
    const QString conninfo = cp1252::decode(file.readAll()).section(u'\n', 0, 0).trimmed();
    if (conninfo.isEmpty()) {
        return makeError(ErrorKind::InvalidValue, QStringLiteral("File %1 non valido !").arg(kPostgresFileName),
                         QStringLiteral("empty [") + path + u']');
    }
    return conninfo;
}

} // namespace

Result<std::shared_ptr<QueueDatabase::Connection>> QueueDatabase::Connection::toServer(const DatabaseLocation &location)
{
    if (std::shared_ptr<Connection> kept = keptFor(location.conninfo))
        return kept;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        return makeError(ErrorKind::Database, QStringLiteral("Driver PostgreSQL non installato su questo PC !"),
                         QStringLiteral("no QPSQL driver"));
    }
    auto connection = std::make_shared<Connection>(DatabaseEngine::Postgres, location.conninfo);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection->name());
        db.setConnectOptions(kPostgresDefaults + location.conninfo);
        if (!db.open()) {
            // Qt gives libpq's words only; asking the server without logging
            // in tells a server that is not there from one that refused the login.
            const QString detail = describe(db.lastError(), location.filePath);
            switch (pingServer(kPostgresDefaults + location.conninfo)) {
            case Ping::Ok:
                return makeError(ErrorKind::Database, QStringLiteral("Accesso all'archivio rifiutato dal server !"),
                                 detail);
            case Ping::Reject:
                return makeError(ErrorKind::InUse, kBusyText, detail);
            case Ping::NoAttempt:
                return makeError(ErrorKind::InvalidValue, QStringLiteral("File %1 non valido !").arg(kPostgresFileName),
                                 detail);
            case Ping::NoResponse:
            case Ping::Unknown:
                break;
            }
            return makeError(ErrorKind::Network, QStringLiteral("Server dell'archivio non raggiungibile !"), detail);
        }
    }
    Statement session(*connection, kPostgresSessionSql);
    if (Result<void> set = session.run(); !set)
        return set.error();
    keep(connection);
    return connection;
}

Result<QueueDatabase::Connection *> QueueDatabase::live()
{
    if (m_connection->broken()) {
        Result<std::shared_ptr<Connection>> again = Connection::toServer(m_location);
        if (!again)
            return again.error();
        m_connection = std::move(again).value();
    }
    return m_connection.get();
}

QueueDatabase::QueueDatabase(DatabaseLocation location, std::shared_ptr<Connection> connection)
    : m_location(std::move(location)), m_connection(std::move(connection))
{
}

QueueDatabase::~QueueDatabase() = default;

Result<DatabaseLocation> QueueDatabase::locate(const QString &archiveFolder, const QString &fileName)
{
    const QString plainPath = archiveFolder + QDir::separator() + fileName;
    const QString serverPath = archiveFolder + QDir::separator() + kPostgresFileName;
    // The names as spelled first: the folder, often a network share, is read
    // for them in other letter cases only when neither is there.
    std::optional<QString> server = QFileInfo::exists(serverPath) ? std::optional<QString>(serverPath) : std::nullopt;
    std::optional<QString> found = !server && QFileInfo::exists(plainPath) ? std::optional<QString>(plainPath)
                                                                           : std::nullopt;
    if (!server && !found) {
        server = findDatabaseFile(serverPath);
        found = server ? std::nullopt : findDatabaseFile(plainPath);
    }
    if (server) {
        Result<QString> conninfo = readConninfo(*server);
        if (!conninfo)
            return conninfo.error();
        return DatabaseLocation{DatabaseEngine::Postgres, *server, *conninfo};
    }
    if (!found) {
        return makeError(ErrorKind::NotFound, QStringLiteral("Archivio %1 non trovato !").arg(fileName),
                         plainPath);
    }
    return DatabaseLocation{DatabaseEngine::Sqlite, *found, {}};
}

Result<std::unique_ptr<QueueDatabase>> QueueDatabase::open(const QString &archiveFolder,
                                                          const QString &fileName)
{
    Result<DatabaseLocation> located = locate(archiveFolder, fileName);
    if (!located)
        return located.error();
    DatabaseLocation location = std::move(located).value();

    if (location.engine == DatabaseEngine::Postgres) {
        Result<std::shared_ptr<Connection>> connection = Connection::toServer(location);
        if (!connection)
            return connection.error();
        return std::unique_ptr<QueueDatabase>(new QueueDatabase(std::move(location), std::move(connection).value()));
    }

    if (!QFileInfo(location.filePath).isFile()) {
        return makeError(ErrorKind::NotADatabase,
                         QStringLiteral("%1 non è un archivio valido !").arg(fileName), location.filePath);
    }
    auto connection = std::make_shared<Connection>(DatabaseEngine::Sqlite, QString());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection->name());
        db.setDatabaseName(sqliteUri(location.filePath));
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000;QSQLITE_OPEN_URI"));
        if (!db.open()) {
            const QSqlError error = db.lastError();
            const bool gone = !QFileInfo::exists(location.filePath);
            return makeError(gone ? ErrorKind::NotFound : ErrorKind::Database,
                             gone ? QStringLiteral("Archivio %1 non trovato !").arg(fileName)
                                  : QStringLiteral("Impossibile aprire l'archivio %1 !").arg(fileName),
                             error.text() + QStringLiteral(" [") + location.filePath + u']');
        }
    }

    // Opening reads nothing; the first query tells a database from any other
    // file. A file without a single table (an empty file) is no queue database.
    Statement probe(*connection, QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type IN ('table', 'view')"));
    if (Result<void> ran = probe.run(); !ran) {
        const int code = primaryCode(probe.query().lastError());
        if (code == kSqliteBusy || code == kSqliteLocked)
            return ran.error();
        if (code == kSqliteNotADatabase || ran.error().kind == ErrorKind::Database) {
            return makeError(ErrorKind::NotADatabase,
                             QStringLiteral("%1 non è un archivio valido !").arg(fileName),
                             ran.error().detail);
        }
        return ran.error();
    }
    if (!probe.query().next() || probe.query().value(0).toLongLong() == 0) {
        return makeError(ErrorKind::NotADatabase,
                         QStringLiteral("%1 non è un archivio valido !").arg(fileName),
                         QStringLiteral("no tables [") + location.filePath + u']');
    }
    return std::unique_ptr<QueueDatabase>(new QueueDatabase(std::move(location), std::move(connection)));
}

DatabaseEngine QueueDatabase::engine() const
{
    return m_location.engine;
}

const QString &QueueDatabase::filePath() const
{
    return m_location.filePath;
}

QString QueueDatabase::connectionName() const
{
    return m_connection->name();
}

Result<Configurazione> QueueDatabase::configurazione()
{
    // The table has no key of the system's own: its first row is the first
    // by SQLite's rowid, or by the key column it has on PostgreSQL.
    Statement select(live(), engine() == DatabaseEngine::Sqlite
                                        ? QStringLiteral("SELECT * FROM Configurazione ORDER BY rowid")
                                        : QStringLiteral("SELECT * FROM Configurazione ORDER BY Id"));
    if (Result<void> ran = select.run(); !ran) {
        if (ran.error().kind != ErrorKind::Database)
            return ran.error();
        return makeError(ErrorKind::NoConfiguration,
                         QStringLiteral("Configurazione mancante nell'archivio !"), ran.error().detail);
    }
    const Result<bool> found = select.next();
    if (!found)
        return found.error();
    if (!*found) {
        return makeError(ErrorKind::NoConfiguration,
                         QStringLiteral("Configurazione mancante nell'archivio !"),
                         QStringLiteral("Configurazione is empty"));
    }
    const QSqlQuery &q = select.query();
    Configurazione row;
    row.modoClient = toInteger(field(q, QStringLiteral("ModoClient")));
    row.rhPort = field(q, QStringLiteral("RHPort"));
    row.ipServer = toOptionalText(field(q, QStringLiteral("IPSERVER")));
    row.serverName = toOptionalText(field(q, QStringLiteral("SERVERName")));
    return row;
}

Result<QList<DeskServiceWaiting>> QueueDatabase::deskServicesWaiting(const QString &ipPostazione)
{
    Statement select(live(),
                     QStringLiteral("SELECT ServizioID, ServizioTesto, Attesa FROM query1 "
                                    "WHERE IpPostazione = ? ORDER BY ServizioID, ServizioTesto"));
    if (Result<void> ran = select.bind(ipPostazione).run(); !ran)
        return ran.error();
    QList<DeskServiceWaiting> rows;
    for (Result<bool> row = select.next();; row = select.next()) {
        if (!row)
            return row.error();
        if (!*row)
            return rows;
        const QSqlQuery &q = select.query();
        rows.append(DeskServiceWaiting{q.value(0).toLongLong(), q.value(1).toString(), q.value(2)});
    }
}

Result<QList<DeskService>> QueueDatabase::deskServices(const QString &ipPostazione)
{
    Statement select(live(),
                     QStringLiteral("SELECT Id, IpPostazione, ServizioID, ServizioTesto, IDPostazione "
                                    "FROM ServiziPostazioni WHERE IpPostazione = ? ORDER BY ServizioID, Id"));
    if (Result<void> ran = select.bind(ipPostazione).run(); !ran)
        return ran.error();
    QList<DeskService> rows;
    for (Result<bool> row = select.next();; row = select.next()) {
        if (!row)
            return row.error();
        if (!*row)
            return rows;
        const QSqlQuery &q = select.query();
        rows.append(DeskService{q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toLongLong(),
                                q.value(3).toString(), q.value(4)});
    }
}

Result<QList<ActiveService>> QueueDatabase::activeServices()
{
    // Any value other than false counts as in use (Access stores true as -1).
    Statement select(live(),
                     QStringLiteral("SELECT Id, Servizio FROM Servizi WHERE ServizioAttivo <> ? ORDER BY Id"));
    if (Result<void> ran = select.bind(false).run(); !ran)
        return ran.error();
    QList<ActiveService> rows;
    for (Result<bool> row = select.next();; row = select.next()) {
        if (!row)
            return row.error();
        if (!*row)
            return rows;
        rows.append(ActiveService{select.query().value(0).toLongLong(), select.query().value(1).toString()});
    }
}

Result<bool> QueueDatabase::deskHasService(const QString &ipPostazione, qint64 servizioId)
{
    Statement select(live(),
                     QStringLiteral("SELECT COUNT(*) FROM ServiziPostazioni "
                                    "WHERE IpPostazione = ? AND ServizioID = ?"));
    const Result<QVariant> count = select.bind(ipPostazione).bind(servizioId).single();
    if (!count)
        return count.error();
    return count->toLongLong() > 0;
}

Result<void> QueueDatabase::addDeskService(const QString &ipPostazione, qint64 servizioId,
                                           const QString &servizioTesto)
{
    Statement insert(live(),
                     QStringLiteral("INSERT INTO ServiziPostazioni (IpPostazione, ServizioID, ServizioTesto) "
                                    "VALUES (?, ?, ?)"));
    return insert.bind(ipPostazione).bind(servizioId).bind(servizioTesto).run();
}

Result<bool> QueueDatabase::removeDeskService(qint64 key, const QString &ipPostazione)
{
    Statement remove(live(),
                     QStringLiteral("DELETE FROM ServiziPostazioni WHERE Id = ? AND IpPostazione = ?"));
    if (Result<void> ran = remove.bind(key).bind(ipPostazione).run(); !ran)
        return ran.error();
    return remove.query().numRowsAffected() > 0;
}

Result<std::optional<QVariant>> QueueDatabase::serviceWaiting(qint64 servizioId)
{
    Statement select(live(), QStringLiteral("SELECT Attesa FROM Servizi WHERE Id = ?"));
    if (Result<void> ran = select.bind(servizioId).run(); !ran)
        return ran.error();
    const Result<bool> row = select.next();
    if (!row)
        return row.error();
    return *row ? std::optional<QVariant>(select.query().value(0)) : std::optional<QVariant>();
}

Result<bool> QueueDatabase::lowerWaiting(qint64 servizioId)
{
    // One conditional statement: of two desks lowering the last waiting
    // ticket, only one changes the row. Only 0 stops a call, as in the
    // system: a count gone negative still calls and goes on down.
    Statement update(live(),
                     QStringLiteral("UPDATE Servizi SET Attesa = Attesa - 1 WHERE Id = ? AND Attesa <> 0"));
    if (Result<void> ran = update.bind(servizioId).run(); !ran)
        return ran.error();
    return update.query().numRowsAffected() > 0;
}

Result<void> QueueDatabase::raiseWaiting(qint64 servizioId)
{
    Statement update(live(), QStringLiteral("UPDATE Servizi SET Attesa = Attesa + 1 WHERE Id = ?"));
    return update.bind(servizioId).run();
}

Result<bool> QueueDatabase::anyWaitingTicket()
{
    Statement select(live(), kAnyWaitingSql);
    const Result<QVariant> any = select.bind(false).single();
    if (!any)
        return any.error();
    return any->toInt() == 1;
}

Result<std::optional<Ticket>> QueueDatabase::oldestWaitingTicket(const QString &ipPostazione)
{
    QList<qint64> serviceIds;
    {
        Statement select(live(),
                         QStringLiteral("SELECT DISTINCT ServizioID FROM ServiziPostazioni "
                                        "WHERE IpPostazione = ? ORDER BY ServizioID"));
        if (Result<void> ran = select.bind(ipPostazione).run(); !ran)
            return ran.error();
        for (Result<bool> row = select.next();; row = select.next()) {
            if (!row)
                return row.error();
            if (!*row)
                break;
            if (const std::optional<qint64> id = toInteger(select.query().value(0)))
                serviceIds.append(*id);
        }
    }

    // The oldest waiting ticket of each service is the first entry of that
    // service in the index (SeChiamato, servizioid, ora, Id): one seek per
    // service, whatever the length of the queue. SQLite stops where the rows
    // stop being read; PostgreSQL runs a query to its end and sends every
    // row, unless told (in standard SQL) that one is enough.
    const QString oldestSql = engine() == DatabaseEngine::Sqlite
        ? kOldestOfServiceSql
        : kOldestOfServiceSql + QStringLiteral(" FETCH FIRST 1 ROW ONLY");
    std::optional<Ticket> oldest;
    for (const qint64 serviceId : std::as_const(serviceIds)) {
        Statement select(live(), oldestSql);
        if (Result<void> ran = select.bind(false).bind(serviceId).run(); !ran)
            return ran.error();
        const Result<bool> row = select.next();
        if (!row)
            return row.error();
        if (!*row)
            continue;
        const QSqlQuery &q = select.query();
        Ticket ticket{q.value(0).toLongLong(), q.value(1).toLongLong(), q.value(2), q.value(3), oraText(q.value(4))};
        if (!oldest || ticket.ora < oldest->ora || (ticket.ora == oldest->ora && ticket.key < oldest->key))
            oldest = std::move(ticket);
    }
    return oldest;
}

Result<bool> QueueDatabase::markTicketCalled(qint64 key)
{
    // Only where still uncalled: of two desks taking the same ticket, the
    // second changes no row and learns it lost.
    Statement update(live(),
                     QStringLiteral("UPDATE CodaFromTotem SET SeChiamato = ? WHERE Id = ? AND SeChiamato = ?"));
    if (Result<void> ran = update.bind(true).bind(key).bind(false).run(); !ran)
        return ran.error();
    return update.query().numRowsAffected() > 0;
}

Result<void> QueueDatabase::unmarkTicketCalled(qint64 key)
{
    Statement update(live(), QStringLiteral("UPDATE CodaFromTotem SET SeChiamato = ? WHERE Id = ?"));
    return update.bind(false).bind(key).run();
}

} // namespace tq3

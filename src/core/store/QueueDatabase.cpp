#include "core/store/QueueDatabase.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>

#include <atomic>
#include <utility>

namespace tq3 {

namespace {

// SQLite primary result codes (the driver reports extended codes).
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteNotADatabase = 26;

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

Error statementError(const QSqlQuery &query)
{
    const QSqlError error = query.lastError();
    const int code = primaryCode(error);
    const QString detail = error.text() + QStringLiteral(" (") + error.nativeErrorCode() + QStringLiteral(") [")
                           + query.lastQuery() + u']';
    if (code == kSqliteBusy || code == kSqliteLocked)
        return makeError(ErrorKind::InUse, QStringLiteral("Archivio occupato, riprovare !"), detail);
    return makeError(ErrorKind::Database, QStringLiteral("Errore nell'archivio delle code !"), detail);
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

// Every statement is prepared and run in its own scope and finished before the
// next one: SQLite refuses a write on a connection that still has a SELECT
// with unread rows.
class Statement final {
public:
    Statement(const QString &connectionName, const QString &sql)
        : m_query(QSqlDatabase::database(connectionName, false))
    {
        m_query.setForwardOnly(true);
        m_prepared = m_query.prepare(sql);
    }
    ~Statement() { m_query.finish(); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    Statement &bind(const QVariant &value)
    {
        m_query.addBindValue(value);
        return *this;
    }
    Result<void> run()
    {
        if (!m_prepared || !m_query.exec())
            return statementError(m_query);
        return {};
    }
    QSqlQuery &query() { return m_query; }

private:
    QSqlQuery m_query;
    bool m_prepared = false;
};

const QString kAnyWaitingSql = QStringLiteral(
    "SELECT CASE WHEN EXISTS (SELECT Id FROM CodaFromTotem WHERE SeChiamato = ?) THEN 1 ELSE 0 END");
const QString kOldestOfServiceSql = QStringLiteral(
    "SELECT Id, servizioid, NrDaChiamare, Servizio, ora FROM CodaFromTotem "
    "WHERE SeChiamato = ? AND servizioid = ? ORDER BY ora, Id");

} // namespace

QueueDatabase::QueueDatabase(QString filePath, QString connectionName)
    : m_filePath(std::move(filePath)), m_connectionName(std::move(connectionName))
{
}

QueueDatabase::~QueueDatabase()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

Result<std::unique_ptr<QueueDatabase>> QueueDatabase::open(const QString &archiveFolder,
                                                          const QString &fileName)
{
    const QString plainPath = archiveFolder + QDir::separator() + fileName;
    const std::optional<QString> found = findDatabaseFile(plainPath);
    if (!found) {
        return makeError(ErrorKind::NotFound, QStringLiteral("Archivio %1 non trovato !").arg(fileName),
                         plainPath);
    }
    if (!QFileInfo(*found).isFile()) {
        return makeError(ErrorKind::NotADatabase,
                         QStringLiteral("%1 non è un archivio valido !").arg(fileName), *found);
    }

    const QString name = nextConnectionName();
    std::unique_ptr<QueueDatabase> database(new QueueDatabase(*found, name));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(sqliteUri(*found));
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000;QSQLITE_OPEN_URI"));
        if (!db.open()) {
            const QSqlError error = db.lastError();
            const bool gone = !QFileInfo::exists(*found);
            return makeError(gone ? ErrorKind::NotFound : ErrorKind::Database,
                             gone ? QStringLiteral("Archivio %1 non trovato !").arg(fileName)
                                  : QStringLiteral("Impossibile aprire l'archivio %1 !").arg(fileName),
                             error.text() + QStringLiteral(" [") + *found + u']');
        }
    }

    // Opening reads nothing; the first query tells a database from any other
    // file. A file without a single table (an empty file) is no queue database.
    Statement probe(name, QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type IN ('table', 'view')"));
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
                         QStringLiteral("no tables [") + *found + u']');
    }
    return database;
}

const QString &QueueDatabase::filePath() const
{
    return m_filePath;
}

QString QueueDatabase::connectionName() const
{
    return m_connectionName;
}

Result<Configurazione> QueueDatabase::configurazione()
{
    // The table has no key of its own: its first row is the first by rowid.
    Statement select(m_connectionName, QStringLiteral("SELECT * FROM Configurazione ORDER BY rowid"));
    if (Result<void> ran = select.run(); !ran) {
        if (ran.error().kind == ErrorKind::InUse)
            return ran.error();
        return makeError(ErrorKind::NoConfiguration,
                         QStringLiteral("Configurazione mancante nell'archivio !"), ran.error().detail);
    }
    QSqlQuery &q = select.query();
    if (!q.next()) {
        if (q.lastError().isValid())
            return statementError(q);
        return makeError(ErrorKind::NoConfiguration,
                         QStringLiteral("Configurazione mancante nell'archivio !"),
                         QStringLiteral("Configurazione is empty"));
    }
    Configurazione row;
    row.modoClient = toInteger(field(q, QStringLiteral("ModoClient")));
    row.rhPort = field(q, QStringLiteral("RHPort"));
    row.ipServer = toOptionalText(field(q, QStringLiteral("IPSERVER")));
    row.serverName = toOptionalText(field(q, QStringLiteral("SERVERName")));
    return row;
}

Result<QList<DeskServiceWaiting>> QueueDatabase::deskServicesWaiting(const QString &ipPostazione)
{
    Statement select(m_connectionName,
                     QStringLiteral("SELECT ServizioID, ServizioTesto, Attesa FROM query1 "
                                    "WHERE IpPostazione = ? ORDER BY ServizioID, ServizioTesto"));
    if (Result<void> ran = select.bind(ipPostazione).run(); !ran)
        return ran.error();
    QList<DeskServiceWaiting> rows;
    QSqlQuery &q = select.query();
    while (q.next()) {
        DeskServiceWaiting row;
        row.servizioId = q.value(0).toLongLong();
        row.servizioTesto = q.value(1).toString();
        row.attesa = q.value(2);
        rows.append(std::move(row));
    }
    if (q.lastError().isValid())
        return statementError(q);
    return rows;
}

Result<QList<DeskService>> QueueDatabase::deskServices(const QString &ipPostazione)
{
    Statement select(m_connectionName,
                     QStringLiteral("SELECT Id, IpPostazione, ServizioID, ServizioTesto, IDPostazione "
                                    "FROM ServiziPostazioni WHERE IpPostazione = ? ORDER BY ServizioID, Id"));
    if (Result<void> ran = select.bind(ipPostazione).run(); !ran)
        return ran.error();
    QList<DeskService> rows;
    QSqlQuery &q = select.query();
    while (q.next()) {
        DeskService row;
        row.key = q.value(0).toLongLong();
        row.ipPostazione = q.value(1).toString();
        row.servizioId = q.value(2).toLongLong();
        row.servizioTesto = q.value(3).toString();
        row.idPostazione = q.value(4);
        rows.append(std::move(row));
    }
    if (q.lastError().isValid())
        return statementError(q);
    return rows;
}

Result<QList<ActiveService>> QueueDatabase::activeServices()
{
    // Any value other than false counts as in use (Access stores true as -1).
    Statement select(m_connectionName,
                     QStringLiteral("SELECT Id, Servizio FROM Servizi WHERE ServizioAttivo <> ? ORDER BY Id"));
    if (Result<void> ran = select.bind(false).run(); !ran)
        return ran.error();
    QList<ActiveService> rows;
    QSqlQuery &q = select.query();
    while (q.next())
        rows.append(ActiveService{q.value(0).toLongLong(), q.value(1).toString()});
    if (q.lastError().isValid())
        return statementError(q);
    return rows;
}

Result<bool> QueueDatabase::deskHasService(const QString &ipPostazione, qint64 servizioId)
{
    Statement select(m_connectionName,
                     QStringLiteral("SELECT COUNT(*) FROM ServiziPostazioni "
                                    "WHERE IpPostazione = ? AND ServizioID = ?"));
    if (Result<void> ran = select.bind(ipPostazione).bind(servizioId).run(); !ran)
        return ran.error();
    if (!select.query().next())
        return statementError(select.query());
    return select.query().value(0).toLongLong() > 0;
}

Result<void> QueueDatabase::addDeskService(const QString &ipPostazione, qint64 servizioId,
                                           const QString &servizioTesto)
{
    Statement insert(m_connectionName,
                     QStringLiteral("INSERT INTO ServiziPostazioni (IpPostazione, ServizioID, ServizioTesto) "
                                    "VALUES (?, ?, ?)"));
    return insert.bind(ipPostazione).bind(servizioId).bind(servizioTesto).run();
}

Result<bool> QueueDatabase::removeDeskService(qint64 key, const QString &ipPostazione)
{
    Statement remove(m_connectionName,
                     QStringLiteral("DELETE FROM ServiziPostazioni WHERE Id = ? AND IpPostazione = ?"));
    if (Result<void> ran = remove.bind(key).bind(ipPostazione).run(); !ran)
        return ran.error();
    return remove.query().numRowsAffected() > 0;
}

Result<std::optional<QVariant>> QueueDatabase::serviceWaiting(qint64 servizioId)
{
    Statement select(m_connectionName, QStringLiteral("SELECT Attesa FROM Servizi WHERE Id = ?"));
    if (Result<void> ran = select.bind(servizioId).run(); !ran)
        return ran.error();
    QSqlQuery &q = select.query();
    if (!q.next()) {
        if (q.lastError().isValid())
            return statementError(q);
        return std::optional<QVariant>();
    }
    return std::optional<QVariant>(q.value(0));
}

Result<bool> QueueDatabase::lowerWaiting(qint64 servizioId)
{
    // One conditional statement: of two desks lowering the last waiting
    // ticket, only one changes the row.
    Statement update(m_connectionName,
                     QStringLiteral("UPDATE Servizi SET Attesa = Attesa - 1 WHERE Id = ? AND Attesa > 0"));
    if (Result<void> ran = update.bind(servizioId).run(); !ran)
        return ran.error();
    return update.query().numRowsAffected() > 0;
}

Result<void> QueueDatabase::raiseWaiting(qint64 servizioId)
{
    Statement update(m_connectionName, QStringLiteral("UPDATE Servizi SET Attesa = Attesa + 1 WHERE Id = ?"));
    return update.bind(servizioId).run();
}

Result<bool> QueueDatabase::anyWaitingTicket()
{
    Statement select(m_connectionName, kAnyWaitingSql);
    if (Result<void> ran = select.bind(false).run(); !ran)
        return ran.error();
    if (!select.query().next())
        return statementError(select.query());
    return select.query().value(0).toInt() == 1;
}

Result<std::optional<Ticket>> QueueDatabase::oldestWaitingTicket(const QString &ipPostazione)
{
    QList<qint64> serviceIds;
    {
        Statement select(m_connectionName,
                         QStringLiteral("SELECT DISTINCT ServizioID FROM ServiziPostazioni "
                                        "WHERE IpPostazione = ? ORDER BY ServizioID"));
        if (Result<void> ran = select.bind(ipPostazione).run(); !ran)
            return ran.error();
        QSqlQuery &q = select.query();
        while (q.next()) {
            if (const std::optional<qint64> id = toInteger(q.value(0)))
                serviceIds.append(*id);
        }
        if (q.lastError().isValid())
            return statementError(q);
    }

    // The oldest waiting ticket of each service is the first entry of that
    // service in the index (SeChiamato, servizioid, ora, Id): one seek per
    // service, whatever the length of the queue.
    std::optional<Ticket> oldest;
    for (const qint64 serviceId : std::as_const(serviceIds)) {
        Statement select(m_connectionName, kOldestOfServiceSql);
        if (Result<void> ran = select.bind(false).bind(serviceId).run(); !ran)
            return ran.error();
        QSqlQuery &q = select.query();
        if (!q.next()) {
            if (q.lastError().isValid())
                return statementError(q);
            continue;
        }
        Ticket ticket;
        ticket.key = q.value(0).toLongLong();
        ticket.servizioId = q.value(1).toLongLong();
        ticket.nrDaChiamare = q.value(2);
        ticket.servizio = q.value(3);
        ticket.ora = q.value(4).toString();
        if (!oldest || ticket.ora < oldest->ora || (ticket.ora == oldest->ora && ticket.key < oldest->key))
            oldest = std::move(ticket);
    }
    return oldest;
}

Result<bool> QueueDatabase::markTicketCalled(qint64 key)
{
    // Only where still uncalled: of two desks taking the same ticket, the
    // second changes no row and learns it lost.
    Statement update(m_connectionName,
                     QStringLiteral("UPDATE CodaFromTotem SET SeChiamato = ? WHERE Id = ? AND SeChiamato = ?"));
    if (Result<void> ran = update.bind(true).bind(key).bind(false).run(); !ran)
        return ran.error();
    return update.query().numRowsAffected() > 0;
}

Result<void> QueueDatabase::unmarkTicketCalled(qint64 key)
{
    Statement update(m_connectionName, QStringLiteral("UPDATE CodaFromTotem SET SeChiamato = ? WHERE Id = ?"));
    return update.bind(false).bind(key).run();
}

} // namespace tq3

#include "archive/ArchiveBuilder.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>
#include <utility>

namespace tq3 {

namespace {

QString nextConnectionName()
{
    static std::atomic<quint64> counter{0};
    return QStringLiteral("tq3-archive-builder-%1").arg(++counter);
}

Error failure(const QSqlQuery &query)
{
    return makeError(ErrorKind::Database, QStringLiteral("Errore nell'archivio delle code !"),
                     query.lastError().text() + QStringLiteral(" [") + query.lastQuery() + u']');
}

Result<void> run(const QString &connection, const QString &sql, const QVariantList &values = {},
                 qint64 *insertedKey = nullptr)
{
    QSqlQuery query(QSqlDatabase::database(connection, false));
    if (!query.prepare(sql))
        return failure(query);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        return failure(query);
    if (insertedKey)
        *insertedKey = query.lastInsertId().toLongLong();
    query.finish();
    return {};
}

// Rolls back unless committed, so an error half-way leaves no half-draw.
class WriteTransaction final {
public:
    explicit WriteTransaction(QString connection) : m_connection(std::move(connection)) {}
    ~WriteTransaction()
    {
        if (m_open)
            (void)run(m_connection, QStringLiteral("ROLLBACK"));
    }
    WriteTransaction(const WriteTransaction &) = delete;
    WriteTransaction &operator=(const WriteTransaction &) = delete;

    // BEGIN IMMEDIATE takes the write lock now (waiting out the busy
    // timeout), not at the first write, when a deferred BEGIN would fail.
    Result<void> begin()
    {
        Result<void> began = run(m_connection, QStringLiteral("BEGIN IMMEDIATE"));
        m_open = began.ok();
        return began;
    }
    Result<void> commit()
    {
        Result<void> committed = run(m_connection, QStringLiteral("COMMIT"));
        if (committed)
            m_open = false;
        return committed;
    }

private:
    QString m_connection;
    bool m_open = false;
};

} // namespace

QStringList ArchiveBuilder::schemaStatements()
{
    return {
        QStringLiteral("CREATE TABLE Configurazione (ModoClient INTEGER, RHPort INTEGER, "
                       "IPSERVER TEXT, SERVERName TEXT)"),
        QStringLiteral("CREATE TABLE Servizi (Id INTEGER PRIMARY KEY, Servizio TEXT, "
                       "ServizioAttivo BOOLEAN, Attesa INTEGER)"),
        QStringLiteral("CREATE TABLE ServiziPostazioni (Id INTEGER PRIMARY KEY, IpPostazione TEXT, "
                       "ServizioID INTEGER, ServizioTesto TEXT, IDPostazione TEXT)"),
        QStringLiteral("CREATE TABLE CodaFromTotem (Id INTEGER PRIMARY KEY, servizioid INTEGER, "
                       "NrDaChiamare INTEGER, Servizio TEXT, SeChiamato BOOLEAN, ora TEXT)"),
        QStringLiteral("CREATE VIEW query1 AS SELECT sp.IpPostazione AS IpPostazione, "
                       "sp.ServizioID AS ServizioID, sp.ServizioTesto AS ServizioTesto, s.Attesa AS Attesa "
                       "FROM ServiziPostazioni sp LEFT JOIN Servizi s ON s.Id = sp.ServizioID"),
        QStringLiteral("CREATE INDEX ServiziPostazioni_Desk ON ServiziPostazioni (IpPostazione, ServizioID)"),
        QStringLiteral("CREATE INDEX CodaFromTotem_Waiting ON CodaFromTotem (SeChiamato, servizioid, ora, Id)"),
        QStringLiteral("CREATE INDEX CodaFromTotem_Number ON CodaFromTotem (servizioid, NrDaChiamare)"),
    };
}

QString ArchiveBuilder::oraText(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

ArchiveBuilder::ArchiveBuilder(QString connectionName) : m_connectionName(std::move(connectionName)) {}

ArchiveBuilder::~ArchiveBuilder()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

QString ArchiveBuilder::connectionName() const
{
    return m_connectionName;
}

Result<std::unique_ptr<ArchiveBuilder>> ArchiveBuilder::connect(const QString &databasePath, bool create)
{
    const bool exists = QFileInfo::exists(databasePath);
    if (create && exists) {
        return makeError(ErrorKind::InvalidValue, QStringLiteral("L'archivio esiste già !"), databasePath);
    }
    if (!create && !exists) {
        return makeError(ErrorKind::NotFound, QStringLiteral("Archivio non trovato !"), databasePath);
    }
    const QString name = nextConnectionName();
    std::unique_ptr<ArchiveBuilder> builder(new ArchiveBuilder(name));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databasePath);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            return makeError(ErrorKind::Io, QStringLiteral("Impossibile aprire l'archivio !"),
                             db.lastError().text() + QStringLiteral(" [") + databasePath + u']');
        }
    }
    if (create) {
        WriteTransaction transaction(name);
        if (Result<void> began = transaction.begin(); !began)
            return began.error();
        for (const QString &statement : schemaStatements()) {
            if (Result<void> ran = run(name, statement); !ran)
                return ran.error();
        }
        if (Result<void> committed = transaction.commit(); !committed)
            return committed.error();
    }
    return builder;
}

Result<std::unique_ptr<ArchiveBuilder>> ArchiveBuilder::create(const QString &databasePath)
{
    return connect(databasePath, true);
}

Result<std::unique_ptr<ArchiveBuilder>> ArchiveBuilder::openExisting(const QString &databasePath)
{
    return connect(databasePath, false);
}

Result<void> ArchiveBuilder::setConfigurazione(qint64 modoClient, qint64 rhPort, const QString &ipServer,
                                               const QString &serverName)
{
    WriteTransaction transaction(m_connectionName);
    if (Result<void> began = transaction.begin(); !began)
        return began;
    if (Result<void> ran = run(m_connectionName, QStringLiteral("DELETE FROM Configurazione")); !ran)
        return ran;
    if (Result<void> ran = run(m_connectionName,
                               QStringLiteral("INSERT INTO Configurazione (ModoClient, RHPort, IPSERVER, SERVERName) "
                                              "VALUES (?, ?, ?, ?)"),
                               {modoClient, rhPort, ipServer, serverName});
        !ran)
        return ran;
    return transaction.commit();
}

Result<void> ArchiveBuilder::addService(qint64 id, const QString &name, bool active, qint64 attesa)
{
    return run(m_connectionName,
               QStringLiteral("INSERT INTO Servizi (Id, Servizio, ServizioAttivo, Attesa) VALUES (?, ?, ?, ?)"),
               {id, name, active, attesa});
}

Result<qint64> ArchiveBuilder::addDeskService(const QString &ipPostazione, qint64 servizioId,
                                              const QString &servizioTesto, const QVariant &idPostazione)
{
    qint64 key = 0;
    if (Result<void> ran = run(m_connectionName,
                               QStringLiteral("INSERT INTO ServiziPostazioni (IpPostazione, ServizioID, ServizioTesto, "
                                              "IDPostazione) VALUES (?, ?, ?, ?)"),
                               {ipPostazione, servizioId, servizioTesto, idPostazione}, &key);
        !ran)
        return ran.error();
    return key;
}

Result<qint64> ArchiveBuilder::addTicket(qint64 servizioId, qint64 nrDaChiamare, const QVariant &servizio,
                                         bool called, const QString &ora)
{
    qint64 key = 0;
    if (Result<void> ran = run(m_connectionName,
                               QStringLiteral("INSERT INTO CodaFromTotem (servizioid, NrDaChiamare, Servizio, "
                                              "SeChiamato, ora) VALUES (?, ?, ?, ?, ?)"),
                               {servizioId, nrDaChiamare, servizio, called, ora}, &key);
        !ran)
        return ran.error();
    return key;
}

Result<ArchiveBuilder::Draw> ArchiveBuilder::drawTicket(qint64 servizioId, const QDateTime &when)
{
    WriteTransaction transaction(m_connectionName);
    if (Result<void> began = transaction.begin(); !began)
        return began.error();

    QVariant serviceName;
    {
        QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
        query.prepare(QStringLiteral("SELECT Servizio FROM Servizi WHERE Id = ?"));
        query.addBindValue(servizioId);
        if (!query.exec())
            return failure(query);
        if (!query.next()) {
            return makeError(ErrorKind::NotFound, QStringLiteral("Servizio %1 inesistente !").arg(servizioId));
        }
        serviceName = query.value(0);
        query.finish();
    }
    qint64 number = 1;
    {
        QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
        query.prepare(QStringLiteral("SELECT MAX(NrDaChiamare) FROM CodaFromTotem WHERE servizioid = ?"));
        query.addBindValue(servizioId);
        if (!query.exec() || !query.next())
            return failure(query);
        if (!query.value(0).isNull())
            number = query.value(0).toLongLong() + 1;
        query.finish();
    }
    Draw draw;
    draw.number = number;
    if (Result<void> ran = run(m_connectionName,
                               QStringLiteral("INSERT INTO CodaFromTotem (servizioid, NrDaChiamare, Servizio, "
                                              "SeChiamato, ora) VALUES (?, ?, ?, ?, ?)"),
                               {servizioId, number, serviceName, false, oraText(when)}, &draw.key);
        !ran)
        return ran.error();
    if (Result<void> ran = run(m_connectionName,
                               QStringLiteral("UPDATE Servizi SET Attesa = COALESCE(Attesa, 0) + 1 WHERE Id = ?"),
                               {servizioId});
        !ran)
        return ran.error();
    if (Result<void> committed = transaction.commit(); !committed)
        return committed.error();
    return draw;
}

Result<void> ArchiveBuilder::fillTickets(const QList<qint64> &servizioIds, qint64 count, qint64 waitingEvery,
                                         const QDateTime &start)
{
    if (servizioIds.isEmpty() || count <= 0)
        return {};
    WriteTransaction transaction(m_connectionName);
    if (Result<void> began = transaction.begin(); !began)
        return began;
    {
        QSqlQuery insert(QSqlDatabase::database(m_connectionName, false));
        if (!insert.prepare(QStringLiteral("INSERT INTO CodaFromTotem (servizioid, NrDaChiamare, Servizio, "
                                           "SeChiamato, ora) VALUES (?, ?, ?, ?, ?)")))
            return failure(insert);
        const qint64 services = servizioIds.size();
        for (qint64 i = 0; i < count; ++i) {
            const qint64 serviceId = servizioIds.at(i % services);
            insert.bindValue(0, serviceId);
            insert.bindValue(1, i / services + 1);
            insert.bindValue(2, QStringLiteral("Servizio %1").arg(serviceId));
            insert.bindValue(3, waitingEvery <= 0 || i % waitingEvery != 0);
            insert.bindValue(4, oraText(start.addSecs(i)));
            if (!insert.exec())
                return failure(insert);
        }
    }
    return transaction.commit();
}

Result<void> ArchiveBuilder::execute(const QString &sql, const QVariantList &values)
{
    return run(m_connectionName, sql, values);
}

} // namespace tq3

#include "CallArchive.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;

namespace {

const QString kDesk = u"192.168.1.10"_s;

// "mode port address name", "-" for a null; or the failure.
QString describe(const Result<Configurazione> &config)
{
    if (!config)
        return config.error().kind == ErrorKind::NoConfiguration ? u"no configuration"_s : config.error().detail;
    const auto text = [](const auto &value) { return value ? QVariant(*value).toString() : u"-"_s; };
    return u"%1 %2 %3 %4"_s.arg(text(config->modoClient), config->rhPort.toString(), text(config->ipServer),
                                text(config->serverName));
}

} // namespace

class TestQueueDatabase final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void opensTheFileWhateverTheCaseOfItsName();
    void refusesWhatIsNoDatabaseAndCreatesNothing_data();
    void refusesWhatIsNoDatabaseAndCreatesNothing();
    void readsTheFirstConfigurazioneRow_data();
    void readsTheFirstConfigurazioneRow();
    void desksAreMatchedExactlyWhateverTheirAddressHolds_data();
    void desksAreMatchedExactlyWhateverTheirAddressHolds();
    void listsComeInServiceOrder();
    void lowerWaitingStopsOnlyAtZero_data();
    void lowerWaitingStopsOnlyAtZero();
    void oldestWaitingTicketOfTheDesksServices_data();
    void oldestWaitingTicketOfTheDesksServices();
    void aLostServerConnectionIsToldAndTheNextStatementConnectsAgain();

private:
    QString newFolder() { return m_dir.filePath(QString::number(++m_folders)); }
    std::unique_ptr<QueueDatabase> database(const std::function<bool(ArchiveBuilder &)> &fill = {})
    {
        return buildAndOpen(newFolder(), fill);
    }
    QTemporaryDir m_dir;
    int m_folders = 0;
};

// A folder with blanks, percent, hash, question mark and a trailing separator.
void TestQueueDatabase::opensTheFileWhateverTheCaseOfItsName()
{
    const QString folder = m_dir.filePath(u"archivio 100% #1 ?già/"_s);
    QVERIFY(QDir().mkpath(folder));
    {
        auto builder = createQueueDatabase(folder);
        QVERIFY(builder && builder->setConfigurazione(2, 4001, u"127.0.0.1"_s, u"SRV"_s).ok());
    }
    const QStringList before = folderSnapshot(folder);
    {
        const Result<std::unique_ptr<QueueDatabase>> db = QueueDatabase::open(folder, u"TQ3MAX.MDB"_s);
        QVERIFY(db.ok());
        QCOMPARE(QFileInfo((*db)->filePath()).fileName(), onPostgres() ? kPostgresFileName : u"TQ3MAX.mdb"_s);
        QCOMPARE(describe((*db)->configurazione()), u"2 4001 127.0.0.1 SRV"_s);
    }
    QCOMPARE(folderSnapshot(folder), before);
}

// What the folder holds (a file named `file` with `content`, when named).
void TestQueueDatabase::refusesWhatIsNoDatabaseAndCreatesNothing_data()
{
    QTest::addColumn<bool>("folderExists");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    const QByteArray access = QByteArray::fromHex("00010000") + "Standard Jet DB" + QByteArray(2000, '\0');
    const QString notFound = u"Archivio TQ3MAX.mdb non trovato !"_s;
    QTest::newRow("a folder that does not exist") << false << QString() << QByteArray() << notFound;
    QTest::newRow("a similar but different name") << true << u"TQ3MAX.mdb.bak"_s << QByteArray("x") << notFound;
    QTest::newRow("an Access file") << true << kDatabaseFileName << access << u"TQ3MAX.mdb non è un archivio valido !"_s;
    QTest::newRow("an empty TQ3MAX.pg") << true << kPostgresFileName << QByteArray("\r\n")
                                        << u"File TQ3MAX.pg non valido !"_s;
    if (!onPostgres())
        return;
    QTest::newRow("a TQ3MAX.pg naming a server that is not there")
        << true << kPostgresFileName << QByteArray("host=/nonexistent/tq3 user=tq3 dbname=tq3")
        << u"Server dell'archivio non raggiungibile !"_s;
    QTest::newRow("a TQ3MAX.pg whose login the server refuses")
        << true << kPostgresFileName << (newPostgresDatabase() + u" user=nessuno"_s).toUtf8()
        << u"Accesso all'archivio rifiutato dal server !"_s;
}

void TestQueueDatabase::refusesWhatIsNoDatabaseAndCreatesNothing()
{
    QFETCH(bool, folderExists);
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    const QString parent = newFolder();
    const QString folder = parent + u"/archivio"_s;
    QVERIFY(QDir().mkpath(folderExists ? folder : parent));
    if (!file.isEmpty())
        QVERIFY(writeFile(folder + u'/' + file, content));
    const QStringList before = folderSnapshot(parent);

    const Result<std::unique_ptr<QueueDatabase>> opened = QueueDatabase::open(folder);
    QVERIFY(!opened.ok());
    QCOMPARE(opened.error().message, message);
    QCOMPARE(folderSnapshot(parent), before);
    if (!file.isEmpty())
        QCOMPARE(contentOf(folder + u'/' + file), content);
}

void TestQueueDatabase::readsTheFirstConfigurazioneRow_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("read");
    const auto row = [](const char *tag, const char *values, const char *read) {
        QTest::newRow(tag) << u"INSERT INTO Configurazione VALUES "_s + QLatin1String(values)
                           << QString::fromUtf8(read);
    };
    row("a full selective row", "(2, 4001, '10.0.0.5', 'SERVER-1')", "2 4001 10.0.0.5 SERVER-1");
    row("an automatic row with no server address or name", "(1, 5000, NULL, NULL)", "1 5000 - -");
    if (!onPostgres())  // a column holds any type only in SQLite
        row("a port stored as text is handed over as stored", "(2, 'porta', 'x', 'y')", "2 porta x y");
    row("of two rows the first inserted is read", "(1, 7000, 'a', 'b'), (2, 8000, 'c', 'd')", "1 7000 a b");
    row("a null mode is no mode", "(NULL, 4001, 'a', 'b')", "- 4001 a b");
    QTest::newRow("an empty table is no configuration") << u"SELECT 1"_s << u"no configuration"_s;
    QTest::newRow("a missing table is no configuration") << u"DROP TABLE Configurazione"_s << u"no configuration"_s;
}

void TestQueueDatabase::readsTheFirstConfigurazioneRow()
{
    QFETCH(QString, change);
    QFETCH(QString, read);
    auto db = database([&](ArchiveBuilder &b) { return b.execute(change).ok(); });
    QVERIFY(db);
    QCOMPARE(describe(db->configurazione()), read);
}

void TestQueueDatabase::desksAreMatchedExactlyWhateverTheirAddressHolds_data()
{
    QTest::addColumn<QString>("desk");
    QTest::addColumn<QString>("lookalike");
    QTest::newRow("a plain address is not a prefix of a longer one") << u"10.0.0.1"_s << u"10.0.0.12"_s;
    QTest::newRow("a percent sign matches nothing but itself") << u"10.0.0.%"_s << u"10.0.0.7"_s;
    QTest::newRow("a quote is bound, not pasted into the statement") << u"10.0.0.1' OR ''='"_s << u"10.0.0.1"_s;
    QTest::newRow("letter case counts") << u"desk-a"_s << u"DESK-A"_s;
}

void TestQueueDatabase::desksAreMatchedExactlyWhateverTheirAddressHolds()
{
    QFETCH(QString, desk);
    QFETCH(QString, lookalike);
    auto db = database([&](ArchiveBuilder &b) {
        return b.addService(1, u"Anagrafe"_s, true, 3).ok() && b.addService(2, u"Tributi"_s, true, 5).ok()
               && b.addDeskService(lookalike, 2, u"Tributi"_s).ok()
               && b.addTicket(2, 7, u"Tributi"_s, false, u"2026-01-01 08:00:00"_s).ok()
               && b.addTicket(1, 9, u"Anagrafe"_s, false, u"2026-01-01 09:00:00"_s).ok();
    });
    QVERIFY(db);
    const QString quoted = u"Anagrafe 'centro' 100%"_s;
    QCOMPARE(db->deskHasService(desk, 1).value(), false);
    QVERIFY(db->addDeskService(desk, 1, quoted).ok());
    QCOMPARE(db->deskHasService(desk, 1).value(), true);
    QCOMPARE(db->deskHasService(desk, 2).value(), false);

    const auto waiting = db->deskServicesWaiting(desk).value();
    QCOMPARE(waiting.size(), 1);
    QCOMPARE(waiting.at(0).attesa.toLongLong(), 3);
    const auto services = db->deskServices(desk).value();
    QCOMPARE(services.size(), 1);
    QCOMPARE(services.at(0).servizioTesto, quoted);
    QCOMPARE(db->oldestWaitingTicket(desk).value()->nrDaChiamare.toLongLong(), 9);

    // A row is removed only through its own desk's address, and once.
    QCOMPARE(db->removeDeskService(services.at(0).key, lookalike).value(), false);
    QCOMPARE(db->removeDeskService(services.at(0).key, desk).value(), true);
    QCOMPARE(db->removeDeskService(services.at(0).key, desk).value(), false);
    QVERIFY(db->deskServices(desk)->isEmpty());
    QCOMPARE(db->deskServices(lookalike)->size(), 1);
}

// query1 and ServiziPostazioni by service then key; Servizi in use by id.
void TestQueueDatabase::listsComeInServiceOrder()
{
    QList<qint64> keys;
    auto db = database([&](ArchiveBuilder &b) {
        for (const auto &[id, idPostazione] : {std::pair{5, QVariant(u"P1"_s)}, {2, QVariant(7)}, {5, QVariant()}})
            keys << b.addDeskService(kDesk, id, u"S%1"_s.arg(id), idPostazione).value();
        return b.addService(2, u"Attività Produttive"_s, true, 4).ok() && b.addService(4, u"Tributi"_s, false, 0).ok()
               && b.execute(u"INSERT INTO Servizi VALUES (3, 'Access true', %1, 0), (1, 'Mai impostato', NULL, 0)"_s
                                .arg(onPostgres() ? u"true"_s : u"-1"_s)).ok();
    });
    QVERIFY(db);
    const auto waiting = db->deskServicesWaiting(kDesk).value();
    QCOMPARE(waiting.size(), 3);
    QCOMPARE(waiting.at(0).servizioId, 2);
    QCOMPARE(waiting.at(0).attesa.toLongLong(), 4);
    QCOMPARE(waiting.at(1).servizioId, 5);
    QVERIFY(waiting.at(1).attesa.isNull());  // no Servizi row
    QVERIFY(db->deskServicesWaiting(u"10.9.9.9"_s)->isEmpty());

    const QList<DeskService> services = db->deskServices(kDesk).value();
    QCOMPARE(services.size(), 3);
    QCOMPARE((QList<qint64>{services[0].key, services[1].key, services[2].key}),
             (QList<qint64>{keys[1], keys[0], keys[2]}));
    QCOMPARE(services[0].idPostazione.toString(), u"7"_s);

    QStringList active;
    const QList<ActiveService> rows = db->activeServices().value();
    for (const ActiveService &row : rows)
        active << u"%1 %2"_s.arg(row.id).arg(row.servizio);
    QCOMPARE(active, (QStringList{u"2 Attività Produttive"_s, u"3 Access true"_s}));  // not false, not null
}

void TestQueueDatabase::lowerWaitingStopsOnlyAtZero_data()
{
    QTest::addColumn<QVariant>("start");
    QTest::addColumn<int>("lowerings");
    QTest::addColumn<int>("successes");
    QTest::newRow("two waiting, three calls: two lowerings then none") << QVariant(2) << 3 << 2;
    QTest::newRow("a negative count is lowered, as the system always did") << QVariant(-3) << 2 << 2;
    QTest::newRow("a null count is not touched") << QVariant() << 1 << 0;
}

void TestQueueDatabase::lowerWaitingStopsOnlyAtZero()
{
    QFETCH(QVariant, start);
    QFETCH(int, lowerings);
    QFETCH(int, successes);
    auto db = database([&](ArchiveBuilder &b) {
        return b.execute(u"INSERT INTO Servizi VALUES (7, 'Anagrafe', true, ?)"_s, {start}).ok()
               && b.addService(8, u"Altro"_s, true, 10).ok();
    });
    QVERIFY(db);
    int won = 0;
    for (int i = 0; i < lowerings; ++i)
        won += db->lowerWaiting(7).value() ? 1 : 0;
    QCOMPARE(won, successes);
    const QVariant end = db->serviceWaiting(7).value().value();
    QCOMPARE(end.isNull(), start.isNull());
    QCOMPARE(end.toLongLong(), start.isNull() ? 0 : start.toLongLong() - successes);
    QCOMPARE(db->serviceWaiting(8).value()->toLongLong(), 10);
}

void TestQueueDatabase::oldestWaitingTicketOfTheDesksServices_data()
{
    // Tickets: "service,number,called,time" apart by blanks; 0: no ticket for the desk.
    QTest::addColumn<QString>("tickets");
    QTest::addColumn<QList<qint64>>("deskServices");
    QTest::addColumn<qint64>("expectedNumber");
    const auto row = [](const char *tag, const char *tickets, const QList<qint64> &deskServices, qint64 expected) {
        QTest::newRow(tag) << QString::fromLatin1(tickets) << deskServices << expected;
    };
    row("the oldest across the desk's services wins", "1,10,0,09:00:05 2,20,0,09:00:01 1,11,0,09:00:09", {1, 2}, 20);
    row("tickets of other services are passed over", "3,30,0,08:00:00 1,10,0,09:00:00", {1, 2}, 10);
    row("called tickets are passed over", "1,10,1,08:00:00 2,21,0,09:30:00", {1, 2}, 21);
    row("equal times go by the row key", "2,22,0,09:00:00 1,12,0,09:00:00", {1, 2}, 22);
    row("a fraction of a second counts", "1,13,0,09:00:00.9 2,23,0,09:00:00.2", {1, 2}, 23);
    row("a service listed twice for the desk counts once", "1,10,0,09:00:00", {1, 1}, 10);
    row("only other services wait: nothing for this desk", "3,30,0,08:00:00", {1, 2}, 0);
    row("a desk with no services gets nothing", "1,10,0,08:00:00", {}, 0);
}

void TestQueueDatabase::oldestWaitingTicketOfTheDesksServices()
{
    QFETCH(QString, tickets);
    QFETCH(QList<qint64>, deskServices);
    QFETCH(qint64, expectedNumber);
    auto db = database([&](ArchiveBuilder &b) {
        bool ok = b.addDeskService(u"10.0.0.99"_s, 3, u"S3"_s).ok();
        for (const qint64 id : deskServices)
            ok = ok && b.addDeskService(kDesk, id, u"S%1"_s.arg(id)).ok();
        for (const QString &ticket : tickets.split(u' ')) {
            const QStringList f = ticket.split(u',');
            ok = ok && b.addTicket(f[0].toLongLong(), f[1].toLongLong(), u"S"_s + f[0], f[2] == u'1',
                                   u"2026-03-02 "_s + f[3]).ok();
        }
        return ok;
    });
    QVERIFY(db);
    const std::optional<Ticket> oldest = db->oldestWaitingTicket(kDesk).value();
    QCOMPARE(oldest ? oldest->nrDaChiamare.toLongLong() : 0, expectedNumber);
    if (oldest)
        QCOMPARE(oldest->servizio.toString(), u"S%1"_s.arg(oldest->servizioId));
}

void TestQueueDatabase::aLostServerConnectionIsToldAndTheNextStatementConnectsAgain()
{
    if (!onPostgres())
        QSKIP("a database file has no connection to lose");
    const QString folder = newFolder();
    QVERIFY(QDir().mkpath(folder));
    auto builder = createQueueDatabase(folder);
    QVERIFY(builder && builder->addService(1, u"Anagrafe"_s, true, 3).ok());
    auto db = QueueDatabase::open(folder).value();
    QSqlQuery backend(QSqlDatabase::database(db->connectionName()));
    QVERIFY(backend.exec(u"SELECT pg_backend_pid()"_s) && backend.next());
    QVERIFY(builder->execute(u"SELECT pg_terminate_backend(?, 5000)"_s, {backend.value(0)}).ok());

    const Result<std::optional<QVariant>> lost = db->serviceWaiting(1);
    QVERIFY(!lost.ok());
    QCOMPARE(lost.error().message, u"Collegamento con l'archivio interrotto, riprovare !"_s);
    QCOMPARE(db->serviceWaiting(1).value()->toLongLong(), 3);
}

TQ3_ARCHIVE_TEST_MAIN(TestQueueDatabase)
#include "tst_queuedatabase.moc"

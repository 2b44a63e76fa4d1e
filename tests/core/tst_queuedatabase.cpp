#include "DatabaseFixture.h"
#include "store/ArchiveBuilder.h"
#include "store/QueueDatabase.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace tq3;
using namespace Qt::StringLiterals;

namespace {

const QString kDesk = QStringLiteral("192.168.1.10");

std::unique_ptr<QueueDatabase> openOrFail(const QString &folder, const QString &name = kDatabaseFileName)
{
    Result<std::unique_ptr<QueueDatabase>> opened = QueueDatabase::open(folder, name);
    if (!opened) {
        qWarning("open failed: %s (%s)", qPrintable(opened.error().message), qPrintable(opened.error().detail));
        return nullptr;
    }
    return std::move(opened).value();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class TestQueueDatabase final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void opensTheFileWhateverTheCaseOfItsName_data();
    void opensTheFileWhateverTheCaseOfItsName();
    void aMissingFileIsNotFoundAndNothingIsCreated_data();
    void aMissingFileIsNotFoundAndNothingIsCreated();
    void aFileThatIsNoDatabaseIsRefusedUntouched_data();
    void aFileThatIsNoDatabaseIsRefusedUntouched();
    void eachInstanceHasItsOwnConnectionRemovedAtTheEnd();

    void readsTheFirstConfigurazioneRow_data();
    void readsTheFirstConfigurazioneRow();
    void aMissingOrEmptyConfigurazioneIsNoConfiguration_data();
    void aMissingOrEmptyConfigurazioneIsNoConfiguration();

    void desksAreMatchedExactlyWhateverTheirAddressHolds_data();
    void desksAreMatchedExactlyWhateverTheirAddressHolds();
    void queryOneListsTheDesksServicesWithTheirWaitingCounts();
    void deskServicesComeByServiceThenKey();
    void activeServicesAreThoseNotMarkedFalse();
    void deskServicesAreAddedCheckedAndRemovedOnlyForTheirDesk();

    void lowerWaitingStopsAtZero_data();
    void lowerWaitingStopsAtZero();
    void raiseWaitingGivesBackALoweredCount();

    void oldestWaitingTicketOfTheDesksServices_data();
    void oldestWaitingTicketOfTheDesksServices();
    void aTicketIsMarkedCalledOnlyOnce();
    void anyWaitingTicketSeesEveryService();
    void ticketQueriesUseTheIndexesWithoutSorting();

private:
    QTemporaryDir m_dir;
    int m_folders = 0;
};

void TestQueueDatabase::opensTheFileWhateverTheCaseOfItsName_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<QString>("nameOnDisk");
    QTest::addColumn<QString>("nameAsked");
    QTest::addColumn<bool>("trailingSeparator");

    QTest::newRow("the exact name is found") << "a" << "TQ3MAX.mdb" << "TQ3MAX.mdb" << false;
    QTest::newRow("an upper-case extension reaches a lower-case file") << "b" << "TQ3MAX.mdb" << "TQ3MAX.MDB"
                                                                       << false;
    QTest::newRow("a lower-case extension reaches an upper-case file") << "c" << "TQ3MAX.MDB" << "TQ3MAX.mdb"
                                                                       << false;
    QTest::newRow("a folder with a trailing separator still reaches it") << "d" << "TQ3MAX.mdb" << "TQ3MAX.mdb"
                                                                         << true;
    QTest::newRow("a folder named with blanks, percent, hash and question mark")
        << "archivio 100% #1 ?già" << "TQ3MAX.mdb" << "TQ3MAX.MDB" << false;
}

void TestQueueDatabase::opensTheFileWhateverTheCaseOfItsName()
{
    QFETCH(QString, folderName);
    QFETCH(QString, nameOnDisk);
    QFETCH(QString, nameAsked);
    QFETCH(bool, trailingSeparator);

    const QString folder = m_dir.filePath(folderName);
    QVERIFY(QDir().mkpath(folder));
    {
        auto builder = test::createQueueDatabase(folder, nameOnDisk);
        QVERIFY(builder);
        QVERIFY(builder->setConfigurazione(2, 4001, QStringLiteral("127.0.0.1"), QStringLiteral("SRV")).ok());
    }
    const QStringList before = test::folderSnapshot(folder);

    auto db = openOrFail(trailingSeparator ? folder + QDir::separator() : folder, nameAsked);
    QVERIFY(db);
    QCOMPARE(QFileInfo(db->filePath()).fileName(), nameOnDisk);
    const Result<Configurazione> config = db->configurazione();
    QVERIFY(config.ok());
    QCOMPARE(config->rhPort.toLongLong(), 4001);
    db.reset();
    QCOMPARE(test::folderSnapshot(folder), before);
}

void TestQueueDatabase::aMissingFileIsNotFoundAndNothingIsCreated_data()
{
    QTest::addColumn<QString>("otherFile");
    QTest::addColumn<bool>("folderExists");

    QTest::newRow("an empty folder") << QString() << true;
    QTest::newRow("a folder with a similar but different name in it") << "TQ3MAX.mdb.bak" << true;
    QTest::newRow("a folder that does not exist") << QString() << false;
}

void TestQueueDatabase::aMissingFileIsNotFoundAndNothingIsCreated()
{
    QFETCH(QString, otherFile);
    QFETCH(bool, folderExists);

    const QString parent = m_dir.filePath(QStringLiteral("missing-%1").arg(++m_folders));
    QVERIFY(QDir().mkpath(parent));
    const QString folder = parent + QStringLiteral("/archive");
    if (folderExists)
        QVERIFY(QDir().mkpath(folder));
    if (!otherFile.isEmpty())
        writeFile(folder + u'/' + otherFile, "x");
    const QStringList before = test::folderSnapshot(parent);

    const Result<std::unique_ptr<QueueDatabase>> opened = QueueDatabase::open(folder);
    QVERIFY(!opened.ok());
    QCOMPARE(opened.error().kind, ErrorKind::NotFound);
    QVERIFY(!opened.error().message.isEmpty());
    QCOMPARE(test::folderSnapshot(parent), before);
}

void TestQueueDatabase::aFileThatIsNoDatabaseIsRefusedUntouched_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("a text file") << QByteArray("\"True\"\r\n");
    QTest::newRow("an empty file") << QByteArray();
    QTest::newRow("an Access file header")
        << (QByteArray::fromHex("00010000") + QByteArray("Standard Jet DB") + QByteArray(2000, '\0'));
}

void TestQueueDatabase::aFileThatIsNoDatabaseIsRefusedUntouched()
{
    QFETCH(QByteArray, content);

    const QString folder = m_dir.filePath(QStringLiteral("nodb-%1").arg(++m_folders));
    QVERIFY(QDir().mkpath(folder));
    writeFile(folder + QStringLiteral("/TQ3MAX.mdb"), content);
    const QStringList before = test::folderSnapshot(folder);

    const Result<std::unique_ptr<QueueDatabase>> opened = QueueDatabase::open(folder);
    QVERIFY(!opened.ok());
    QCOMPARE(opened.error().kind, ErrorKind::NotADatabase);
    QCOMPARE(test::folderSnapshot(folder), before);
    QFile file(folder + QStringLiteral("/TQ3MAX.mdb"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
}

void TestQueueDatabase::eachInstanceHasItsOwnConnectionRemovedAtTheEnd()
{
    const QString folder = m_dir.filePath(QStringLiteral("connections"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(test::createQueueDatabase(folder));

    auto first = openOrFail(folder);
    auto second = openOrFail(folder);
    QVERIFY(first && second);
    QVERIFY(first->connectionName() != second->connectionName());
    const QString name = first->connectionName();
    QVERIFY(QSqlDatabase::contains(name));
    first.reset();
    QVERIFY(!QSqlDatabase::contains(name));
    QVERIFY(second->activeServices().ok());
}

void TestQueueDatabase::readsTheFirstConfigurazioneRow_data()
{
    QTest::addColumn<QString>("insert");
    QTest::addColumn<QVariant>("modo");
    QTest::addColumn<QVariant>("port");
    QTest::addColumn<QVariant>("ipServer");
    QTest::addColumn<QVariant>("serverName");

    QTest::newRow("a full selective row")
        << "INSERT INTO Configurazione VALUES (2, 4001, '10.0.0.5', 'SERVER-1')" << QVariant(2) << QVariant(4001)
        << QVariant(QStringLiteral("10.0.0.5")) << QVariant(QStringLiteral("SERVER-1"));
    QTest::newRow("an automatic row with no server address or name")
        << "INSERT INTO Configurazione VALUES (1, 5000, NULL, NULL)" << QVariant(1) << QVariant(5000) << QVariant()
        << QVariant();
    QTest::newRow("a port stored as text is handed over as stored")
        << "INSERT INTO Configurazione VALUES (2, 'porta', 'x', 'y')" << QVariant(2)
        << QVariant(QStringLiteral("porta")) << QVariant(QStringLiteral("x")) << QVariant(QStringLiteral("y"));
    QTest::newRow("of two rows the first inserted is read")
        << "INSERT INTO Configurazione VALUES (1, 7000, 'a', 'b'), (2, 8000, 'c', 'd')" << QVariant(1)
        << QVariant(7000) << QVariant(QStringLiteral("a")) << QVariant(QStringLiteral("b"));
    QTest::newRow("a null mode is no mode") << "INSERT INTO Configurazione VALUES (NULL, 4001, 'a', 'b')"
                                            << QVariant() << QVariant(4001) << QVariant(QStringLiteral("a"))
                                            << QVariant(QStringLiteral("b"));
}

void TestQueueDatabase::readsTheFirstConfigurazioneRow()
{
    QFETCH(QString, insert);
    QFETCH(QVariant, modo);
    QFETCH(QVariant, port);
    QFETCH(QVariant, ipServer);
    QFETCH(QVariant, serverName);

    const QString folder = m_dir.filePath(QStringLiteral("config-%1").arg(++m_folders));
    QVERIFY(QDir().mkpath(folder));
    {
        auto builder = test::createQueueDatabase(folder);
        QVERIFY(builder);
        QVERIFY(builder->execute(insert).ok());
    }
    auto db = openOrFail(folder);
    QVERIFY(db);
    const Result<Configurazione> config = db->configurazione();
    QVERIFY(config.ok());
    QCOMPARE(config->modoClient.has_value(), modo.isValid());
    if (modo.isValid())
        QCOMPARE(*config->modoClient, modo.toLongLong());
    QCOMPARE(config->rhPort.toString(), port.toString());
    QCOMPARE(config->ipServer.has_value(), ipServer.isValid());
    if (ipServer.isValid())
        QCOMPARE(*config->ipServer, ipServer.toString());
    QCOMPARE(config->serverName.has_value(), serverName.isValid());
    if (serverName.isValid())
        QCOMPARE(*config->serverName, serverName.toString());
}

void TestQueueDatabase::aMissingOrEmptyConfigurazioneIsNoConfiguration_data()
{
    QTest::addColumn<QString>("change");

    QTest::newRow("the table is empty") << QString();
    QTest::newRow("the table is missing") << "DROP TABLE Configurazione";
}

void TestQueueDatabase::aMissingOrEmptyConfigurazioneIsNoConfiguration()
{
    QFETCH(QString, change);

    const QString folder = m_dir.filePath(QStringLiteral("noconfig-%1").arg(++m_folders));
    QVERIFY(QDir().mkpath(folder));
    {
        auto builder = test::createQueueDatabase(folder);
        QVERIFY(builder);
        if (!change.isEmpty())
            QVERIFY(builder->execute(change).ok());
    }
    auto db = openOrFail(folder);
    QVERIFY(db);
    const Result<Configurazione> config = db->configurazione();
    QVERIFY(!config.ok());
    QCOMPARE(config.error().kind, ErrorKind::NoConfiguration);
}

void TestQueueDatabase::desksAreMatchedExactlyWhateverTheirAddressHolds_data()
{
    QTest::addColumn<QString>("desk");
    QTest::addColumn<QString>("lookalike");

    QTest::newRow("a plain address is not a prefix of a longer one") << "10.0.0.1" << "10.0.0.12";
    QTest::newRow("a percent sign matches nothing but itself") << "10.0.0.%" << "10.0.0.7";
    QTest::newRow("an underscore matches nothing but itself") << "10.0.0._" << "10.0.0.9";
    QTest::newRow("a quote is bound, not pasted into the statement") << "10.0.0.1' OR ''='" << "10.0.0.1";
    QTest::newRow("letter case counts") << "desk-a" << "DESK-A";
}

void TestQueueDatabase::desksAreMatchedExactlyWhateverTheirAddressHolds()
{
    QFETCH(QString, desk);
    QFETCH(QString, lookalike);

    const QString folder = m_dir.filePath(QStringLiteral("match-%1").arg(++m_folders));
    QVERIFY(QDir().mkpath(folder));
    qint64 deskKey = 0;
    {
        auto builder = test::createQueueDatabase(folder);
        QVERIFY(builder);
        QVERIFY(builder->addService(1, QStringLiteral("Anagrafe"), true, 3).ok());
        QVERIFY(builder->addService(2, QStringLiteral("Tributi"), true, 5).ok());
        QVERIFY(builder->addDeskService(lookalike, 2, QStringLiteral("Tributi")).ok());
        deskKey = builder->addDeskService(desk, 1, QStringLiteral("Anagrafe")).value();
        QVERIFY(builder->addTicket(2, 7, QStringLiteral("Tributi"), false, QStringLiteral("2026-01-01 08:00:00")).ok());
        QVERIFY(builder->addTicket(1, 9, QStringLiteral("Anagrafe"), false, QStringLiteral("2026-01-01 09:00:00")).ok());
    }
    auto db = openOrFail(folder);
    QVERIFY(db);

    const auto waiting = db->deskServicesWaiting(desk);
    QVERIFY(waiting.ok());
    QCOMPARE(waiting->size(), 1);
    QCOMPARE(waiting->at(0).servizioId, 1);
    QCOMPARE(waiting->at(0).attesa.toLongLong(), 3);

    const auto services = db->deskServices(desk);
    QVERIFY(services.ok());
    QCOMPARE(services->size(), 1);
    QCOMPARE(services->at(0).ipPostazione, desk);

    QCOMPARE(db->deskHasService(desk, 1).value(), true);
    QCOMPARE(db->deskHasService(desk, 2).value(), false);

    const auto ticket = db->oldestWaitingTicket(desk);
    QVERIFY(ticket.ok());
    QVERIFY(ticket->has_value());
    QCOMPARE((*ticket)->nrDaChiamare.toLongLong(), 9);

    // Removing through a lookalike address must not touch the desk's row.
    QCOMPARE(db->removeDeskService(deskKey, lookalike).value(), false);
    QCOMPARE(db->deskServices(desk)->size(), 1);
}

void TestQueueDatabase::queryOneListsTheDesksServicesWithTheirWaitingCounts()
{
    const QString folder = m_dir.filePath(QStringLiteral("query1"));
    QVERIFY(QDir().mkpath(folder));
    {
        auto builder = test::createQueueDatabase(folder);
        QVERIFY(builder);
        QVERIFY(builder->addService(3, QStringLiteral("Stato Civile"), true, 4).ok());
        QVERIFY(builder->addService(1, QStringLiteral("Attività Produttive"), true, 0).ok());
        QVERIFY(builder->addDeskService(kDesk, 3, QStringLiteral("Stato Civile")).ok());
        QVERIFY(builder->addDeskService(kDesk, 9, QStringLiteral("Servizio rimosso")).ok());
        QVERIFY(builder->addDeskService(kDesk, 1, QStringLiteral("Attività Produttive")).ok());
    }
    auto db = openOrFail(folder);
    QVERIFY(db);
    const auto rows = db->deskServicesWaiting(kDesk);
    QVERIFY(rows.ok());
    QCOMPARE(rows->size(), 3);
    QCOMPARE(rows->at(0).servizioId, 1);
    QCOMPARE(rows->at(0).servizioTesto, QStringLiteral("Attività Produttive"));
    QCOMPARE(rows->at(0).attesa.toLongLong(), 0);
    QCOMPARE(rows->at(1).servizioId, 3);
    QCOMPARE(rows->at(1).attesa.toLongLong(), 4);
    QCOMPARE(rows->at(2).servizioId, 9);
    QVERIFY(rows->at(2).attesa.isNull());
    QVERIFY(db->deskServicesWaiting(QStringLiteral("10.9.9.9"))->isEmpty());
}

void TestQueueDatabase::deskServicesComeByServiceThenKey()
{
    const QString folder = m_dir.filePath(QStringLiteral("deskorder"));
    QVERIFY(QDir().mkpath(folder));
    QList<qint64> keys;
    {
        auto builder = test::createQueueDatabase(folder);
        QVERIFY(builder);
        keys << builder->addDeskService(kDesk, 5, QStringLiteral("E"), QStringLiteral("P1")).value();
        keys << builder->addDeskService(kDesk, 2, QStringLiteral("B"), 7).value();
        keys << builder->addDeskService(kDesk, 5, QStringLiteral("E bis")).value();
    }
    auto db = openOrFail(folder);
    QVERIFY(db);
    const auto rows = db->deskServices(kDesk);
    QVERIFY(rows.ok());
    QCOMPARE(rows->size(), 3);
    QCOMPARE(rows->at(0).key, keys[1]);
    QCOMPARE(rows->at(0).idPostazione.toString(), QStringLiteral("7"));
    QCOMPARE(rows->at(1).key, keys[0]);
    QCOMPARE(rows->at(1).idPostazione.toString(), QStringLiteral("P1"));
    QCOMPARE(rows->at(2).key, keys[2]);
    QVERIFY(rows->at(2).idPostazione.isNull());
}

void TestQueueDatabase::activeServicesAreThoseNotMarkedFalse()
{
    const QString folder = m_dir.filePath(QStringLiteral("active"));
    QVERIFY(QDir().mkpath(folder));
    {
        auto builder = test::createQueueDatabase(folder);
        QVERIFY(builder);
        QVERIFY(builder->addService(4, QStringLiteral("Polizia Municipale"), true, 0).ok());
        QVERIFY(builder->addService(2, QStringLiteral("Ufficio Tributi"), false, 0).ok());
        QVERIFY(builder->addService(1, QStringLiteral("Anagrafe"), true, 0).ok());
        QVERIFY(builder->execute(QStringLiteral("INSERT INTO Servizi VALUES (3, 'Access true', -1, 0)")).ok());
        QVERIFY(builder->execute(QStringLiteral("INSERT INTO Servizi VALUES (5, 'Mai impostato', NULL, 0)")).ok());
    }
    auto db = openOrFail(folder);
    QVERIFY(db);
    const auto rows = db->activeServices();
    QVERIFY(rows.ok());
    QStringList names;
    QList<qint64> ids;
    for (const ActiveService &row : *rows) {
        ids << row.id;
        names << row.servizio;
    }
    QCOMPARE(ids, (QList<qint64>{1, 3, 4}));
    QCOMPARE(names, (QStringList{QStringLiteral("Anagrafe"), QStringLiteral("Access true"),
                                 QStringLiteral("Polizia Municipale")}));
}

void TestQueueDatabase::deskServicesAreAddedCheckedAndRemovedOnlyForTheirDesk()
{
    const QString folder = m_dir.filePath(QStringLiteral("adddelete"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(test::createQueueDatabase(folder));
    auto db = openOrFail(folder);
    QVERIFY(db);

    const QString quoted = QStringLiteral("Servizi 'Sociali' 100%");
    QCOMPARE(db->deskHasService(kDesk, 6).value(), false);
    QVERIFY(db->addDeskService(kDesk, 6, quoted).ok());
    QCOMPARE(db->deskHasService(kDesk, 6).value(), true);
    const auto rows = db->deskServices(kDesk);
    QCOMPARE(rows->size(), 1);
    QCOMPARE(rows->at(0).servizioTesto, quoted);

    QCOMPARE(db->removeDeskService(rows->at(0).key, QStringLiteral("10.1.1.1")).value(), false);
    QCOMPARE(db->removeDeskService(rows->at(0).key, kDesk).value(), true);
    QCOMPARE(db->removeDeskService(rows->at(0).key, kDesk).value(), false);
    QVERIFY(db->deskServices(kDesk)->isEmpty());
}

void TestQueueDatabase::lowerWaitingStopsAtZero_data()
{
    QTest::addColumn<QVariant>("start");
    QTest::addColumn<int>("lowerings");
    QTest::addColumn<int>("successes");
    QTest::addColumn<QVariant>("end");

    QTest::newRow("two waiting, three calls: two lowerings then none") << QVariant(2) << 3 << 2 << QVariant(0);
    QTest::newRow("none waiting stays at zero") << QVariant(0) << 2 << 0 << QVariant(0);
    QTest::newRow("a negative count is never lowered further") << QVariant(-3) << 1 << 0 << QVariant(-3);
    QTest::newRow("a null count is not touched") << QVariant() << 1 << 0 << QVariant();
}

void TestQueueDatabase::lowerWaitingStopsAtZero()
{
    QFETCH(QVariant, start);
    QFETCH(int, lowerings);
    QFETCH(int, successes);
    QFETCH(QVariant, end);

    const QString folder = m_dir.filePath(QStringLiteral("lower-%1").arg(++m_folders));
    QVERIFY(QDir().mkpath(folder));
    {
        auto builder = test::createQueueDatabase(folder);
        QVERIFY(builder);
        QVERIFY(builder->execute(QStringLiteral("INSERT INTO Servizi VALUES (7, 'Anagrafe', 1, ?)"), {start}).ok());
        QVERIFY(builder->addService(8, QStringLiteral("Altro"), true, 10).ok());
    }
    auto db = openOrFail(folder);
    QVERIFY(db);
    int won = 0;
    for (int i = 0; i < lowerings; ++i) {
        const Result<bool> lowered = db->lowerWaiting(7);
        QVERIFY(lowered.ok());
        won += *lowered ? 1 : 0;
    }
    QCOMPARE(won, successes);
    const auto waiting = db->serviceWaiting(7);
    QVERIFY(waiting.ok() && waiting->has_value());
    QCOMPARE((*waiting)->isNull(), end.isNull());
    QCOMPARE((*waiting)->toLongLong(), end.toLongLong());
    QCOMPARE((*db->serviceWaiting(8))->toLongLong(), 10);
    QCOMPARE(db->lowerWaiting(99).value(), false);
    QVERIFY(!db->serviceWaiting(99)->has_value());
}

void TestQueueDatabase::raiseWaitingGivesBackALoweredCount()
{
    const QString folder = m_dir.filePath(QStringLiteral("raise"));
    QVERIFY(QDir().mkpath(folder));
    {
        auto builder = test::createQueueDatabase(folder);
        QVERIFY(builder);
        QVERIFY(builder->addService(1, QStringLiteral("Anagrafe"), true, 1).ok());
    }
    auto db = openOrFail(folder);
    QVERIFY(db);
    QCOMPARE(db->lowerWaiting(1).value(), true);
    QVERIFY(db->raiseWaiting(1).ok());
    QCOMPARE((*db->serviceWaiting(1))->toLongLong(), 1);
}

void TestQueueDatabase::oldestWaitingTicketOfTheDesksServices_data()
{
    // Tickets: "service,number,called,ora"; the desk serves services 1 and 2.
    QTest::addColumn<QStringList>("tickets");
    QTest::addColumn<QList<qint64>>("deskServices");
    QTest::addColumn<qint64>("expectedNumber");  // 0: none

    QTest::newRow("the oldest across the desk's services wins")
        << QStringList{u"1,10,0,2026-03-02 09:00:05"_s, u"2,20,0,2026-03-02 09:00:01"_s, u"1,11,0,2026-03-02 09:00:09"_s}
        << QList<qint64>{1, 2} << qint64(20);
    QTest::newRow("tickets of other services are passed over")
        << QStringList{u"3,30,0,2026-03-02 08:00:00"_s, u"1,10,0,2026-03-02 09:00:00"_s} << QList<qint64>{1, 2}
        << qint64(10);
    QTest::newRow("called tickets are passed over")
        << QStringList{u"1,10,1,2026-03-02 08:00:00"_s, u"2,21,0,2026-03-02 09:30:00"_s} << QList<qint64>{1, 2}
        << qint64(21);
    QTest::newRow("equal times go by the row key")
        << QStringList{u"2,22,0,2026-03-02 09:00:00"_s, u"1,12,0,2026-03-02 09:00:00"_s} << QList<qint64>{1, 2}
        << qint64(22);
    QTest::newRow("the order is by time, not by insertion or number")
        << QStringList{u"1,99,0,2026-03-02 12:00:00"_s, u"1,98,0,2026-03-01 12:00:00"_s} << QList<qint64>{1}
        << qint64(98);
    QTest::newRow("a service listed twice for the desk counts once")
        << QStringList{u"1,10,0,2026-03-02 09:00:00"_s} << QList<qint64>{1, 1} << qint64(10);
    QTest::newRow("only other services wait: nothing for this desk")
        << QStringList{u"3,30,0,2026-03-02 08:00:00"_s} << QList<qint64>{1, 2} << qint64(0);
    QTest::newRow("a desk with no services gets nothing")
        << QStringList{u"1,10,0,2026-03-02 08:00:00"_s} << QList<qint64>{} << qint64(0);
    QTest::newRow("an empty queue gives nothing") << QStringList{} << QList<qint64>{1, 2} << qint64(0);
}

void TestQueueDatabase::oldestWaitingTicketOfTheDesksServices()
{
    QFETCH(QStringList, tickets);
    QFETCH(QList<qint64>, deskServices);
    QFETCH(qint64, expectedNumber);

    const QString folder = m_dir.filePath(QStringLiteral("oldest-%1").arg(++m_folders));
    QVERIFY(QDir().mkpath(folder));
    {
        auto builder = test::createQueueDatabase(folder);
        QVERIFY(builder);
        for (const qint64 id : deskServices)
            QVERIFY(builder->addDeskService(kDesk, id, QStringLiteral("S%1").arg(id)).ok());
        QVERIFY(builder->addDeskService(QStringLiteral("10.0.0.99"), 3, QStringLiteral("S3")).ok());
        for (const QString &ticket : tickets) {
            const QStringList f = ticket.split(u',');
            QVERIFY(builder->addTicket(f[0].toLongLong(), f[1].toLongLong(), QStringLiteral("S") + f[0],
                                       f[2] == u'1', f[3])
                        .ok());
        }
    }
    auto db = openOrFail(folder);
    QVERIFY(db);
    const Result<std::optional<Ticket>> oldest = db->oldestWaitingTicket(kDesk);
    QVERIFY(oldest.ok());
    if (expectedNumber == 0) {
        QVERIFY(!oldest->has_value());
        return;
    }
    QVERIFY(oldest->has_value());
    const Ticket &ticket = **oldest;
    QCOMPARE(ticket.nrDaChiamare.toLongLong(), expectedNumber);
    QCOMPARE(ticket.servizio.toString(), QStringLiteral("S%1").arg(ticket.servizioId));
    QVERIFY(!ticket.ora.isEmpty());
}

void TestQueueDatabase::aTicketIsMarkedCalledOnlyOnce()
{
    const QString folder = m_dir.filePath(QStringLiteral("mark"));
    QVERIFY(QDir().mkpath(folder));
    qint64 key = 0;
    {
        auto builder = test::createQueueDatabase(folder);
        QVERIFY(builder);
        QVERIFY(builder->addDeskService(kDesk, 1, QStringLiteral("Anagrafe")).ok());
        key = builder->addTicket(1, 5, QStringLiteral("Anagrafe"), false, QStringLiteral("2026-01-01 10:00:00"))
                  .value();
    }
    auto desk1 = openOrFail(folder);
    auto desk2 = openOrFail(folder);
    QVERIFY(desk1 && desk2);
    QCOMPARE(desk1->markTicketCalled(key).value(), true);
    QCOMPARE(desk2->markTicketCalled(key).value(), false);
    QCOMPARE(desk1->markTicketCalled(key).value(), false);
    QVERIFY(!desk2->oldestWaitingTicket(kDesk)->has_value());
    QCOMPARE(desk2->markTicketCalled(key + 100).value(), false);

    QVERIFY(desk1->unmarkTicketCalled(key).ok());
    QCOMPARE((*desk2->oldestWaitingTicket(kDesk))->key, key);
    QCOMPARE(desk2->markTicketCalled(key).value(), true);
}

void TestQueueDatabase::anyWaitingTicketSeesEveryService()
{
    const QString folder = m_dir.filePath(QStringLiteral("anywaiting"));
    QVERIFY(QDir().mkpath(folder));
    auto builder = test::createQueueDatabase(folder);
    QVERIFY(builder);
    auto db = openOrFail(folder);
    QVERIFY(db);
    QCOMPARE(db->anyWaitingTicket().value(), false);
    QVERIFY(builder->addTicket(4, 1, QStringLiteral("S4"), true, QStringLiteral("2026-01-01 10:00:00")).ok());
    QCOMPARE(db->anyWaitingTicket().value(), false);
    const qint64 key =
        builder->addTicket(9, 1, QStringLiteral("S9"), false, QStringLiteral("2026-01-01 10:00:01")).value();
    QCOMPARE(db->anyWaitingTicket().value(), true);
    QCOMPARE(db->markTicketCalled(key).value(), true);
    QCOMPARE(db->anyWaitingTicket().value(), false);
}

void TestQueueDatabase::ticketQueriesUseTheIndexesWithoutSorting()
{
    const QString folder = m_dir.filePath(QStringLiteral("plan"));
    QVERIFY(QDir().mkpath(folder));
    auto builder = test::createQueueDatabase(folder);
    QVERIFY(builder);
    QVERIFY(builder->fillTickets({1, 2, 3}, 3000, 50, QDateTime(QDate(2026, 1, 1), QTime(8, 0))).ok());
    QVERIFY(builder->execute(QStringLiteral("ANALYZE")).ok());
    auto db = openOrFail(folder);
    QVERIFY(db);

    for (const QString &sql : QueueDatabase::queueStatements()) {
        QSqlQuery plan(QSqlDatabase::database(db->connectionName()));
        QVERIFY(plan.prepare(QStringLiteral("EXPLAIN QUERY PLAN ") + sql));
        const int placeholders = int(sql.count(u'?'));
        plan.addBindValue(false);
        if (placeholders > 1)
            plan.addBindValue(2);
        QVERIFY2(plan.exec(), qPrintable(sql));
        QStringList steps;
        while (plan.next())
            steps << plan.value(3).toString();
        plan.finish();
        const QString joined = steps.join(QStringLiteral(" | "));
        QVERIFY2(joined.contains(QStringLiteral("CodaFromTotem_Waiting")), qPrintable(joined));
        QVERIFY2(!joined.contains(QStringLiteral("SCAN CodaFromTotem")), qPrintable(joined));
        QVERIFY2(!joined.contains(QStringLiteral("TEMP B-TREE")), qPrintable(joined));
    }
    // The desk's services are found through their own index too.
    QSqlQuery plan(QSqlDatabase::database(db->connectionName()));
    QVERIFY(plan.exec(QStringLiteral("EXPLAIN QUERY PLAN SELECT * FROM query1 WHERE IpPostazione = 'x'")));
    QStringList steps;
    while (plan.next())
        steps << plan.value(3).toString();
    plan.finish();
    QVERIFY2(steps.join(u' ').contains(QStringLiteral("ServiziPostazioni_Desk")), qPrintable(steps.join(u' ')));
}

QTEST_GUILESS_MAIN(TestQueueDatabase)
#include "tst_queuedatabase.moc"

// The queue database on either engine: what is refused as no database,
// desks matched exactly, the lists in their order and the conditional
// updates. Configurazione and a file name in other letter case are read
// through the real start-up (tst_lamain) and the stand-in's archive.

#include "CallArchive.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;

class TestQueueDatabase final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void desksAreMatchedExactlyAndListedInServiceOrder_data()
    {
        QTest::addColumn<QString>("desk");
        QTest::addColumn<QString>("lookalike");
        QTest::newRow("a plain address is not a prefix of a longer one") << u"10.0.0.1"_s << u"10.0.0.12"_s;
        QTest::newRow("a percent sign matches nothing but itself") << u"10.0.0.%"_s << u"10.0.0.7"_s;
        QTest::newRow("a quote is bound, not pasted into the statement") << u"10.0.0.1' OR ''='"_s << u"10.0.0.1"_s;
        QTest::newRow("letter case counts") << u"desk-a"_s << u"DESK-A"_s;
    }

    // query1 and ServiziPostazioni by service then key; Servizi in use by id,
    // true as Access stored it (-1) too, not false nor null.
    void desksAreMatchedExactlyAndListedInServiceOrder()
    {
        QFETCH(QString, desk);
        QFETCH(QString, lookalike);
        auto db = database([&](ArchiveBuilder &b) {
            return b.addDeskService(desk, 5, u"S5 first"_s).ok() && b.addDeskService(desk, 5, u"S5 then"_s).ok()
                   && b.addService(1, u"Anagrafe"_s, true, 3).ok() && b.addService(2, u"Tributi"_s, true, 5).ok()
                   && b.addService(4, u"Chiuso"_s, false, 0).ok() && b.addDeskService(lookalike, 2, u"Tributi"_s).ok()
                   && b.execute(u"INSERT INTO Servizi VALUES (3, 'Access', %1, 0), (6, 'Mai impostato', NULL, 0)"_s
                                    .arg(onPostgres() ? u"true"_s : u"-1"_s)).ok()
                   && b.addTicket(2, 7, u"Tributi"_s, false, u"2026-01-01 08:00:00"_s).ok()
                   && b.addTicket(1, 9, u"Anagrafe"_s, false, u"2026-01-01 09:00:00"_s).ok();
        });
        QVERIFY(db && !db->deskHasService(desk, 1).value());
        QVERIFY(db->addDeskService(desk, 1, u"Anagrafe 'centro' 100%"_s).ok());
        QVERIFY(db->deskHasService(desk, 1).value() && !db->deskHasService(desk, 2).value());
        // What a desk sees: its services with their counts, the rows it lists, its oldest ticket.
        const auto seenBy = [&](const QString &ip) {
            QStringList seen;
            for (const auto rows = db->deskServicesWaiting(ip).value(); const DeskServiceWaiting &row : rows)
                seen << u"%1 waits %2"_s.arg(row.servizioId).arg(row.attesa.isNull() ? u"-"_s : row.attesa.toString());
            for (const auto rows = db->deskServices(ip).value(); const DeskService &row : rows)
                seen << u"lists "_s + row.servizioTesto;
            if (const std::optional<Ticket> oldest = db->oldestWaitingTicket(ip).value())
                seen << u"calls %1"_s.arg(oldest->nrDaChiamare.toLongLong());
            return seen.join(u", "_s);
        };
        const QString others = u"2 waits 5, lists Tributi, calls 7"_s;
        QCOMPARE(seenBy(desk), u"1 waits 3, 5 waits -, 5 waits -, lists Anagrafe 'centro' 100%, lists S5 first, "
                               "lists S5 then, calls 9"_s);
        QCOMPARE(seenBy(lookalike), others);
        // A row is removed only through its own desk's address, and once.
        const qint64 key = db->deskServices(desk)->value(0).key;
        QVERIFY(!db->removeDeskService(key, lookalike).value() && db->removeDeskService(key, desk).value()
                && !db->removeDeskService(key, desk).value());
        QCOMPARE(seenBy(desk), u"5 waits -, 5 waits -, lists S5 first, lists S5 then"_s);
        QCOMPARE(seenBy(lookalike), others);
        QStringList active;
        for (const auto rows = db->activeServices().value(); const ActiveService &row : rows)
            active << u"%1 %2"_s.arg(row.id).arg(row.servizio);
        QCOMPARE(active, (QStringList{u"1 Anagrafe"_s, u"2 Tributi"_s, u"3 Access"_s}));
    }

    void lowerWaitingStopsOnlyAtZero_data()
    {
        QTest::addColumn<QVariant>("start");
        QTest::addColumn<int>("lowerings");
        QTest::addColumn<int>("successes");
        QTest::newRow("two waiting, three calls: two lowerings then none") << QVariant(2) << 3 << 2;
        QTest::newRow("a negative count is lowered, as the system always did") << QVariant(-3) << 2 << 2;
        QTest::newRow("a null count is not touched") << QVariant() << 1 << 0;
    }

    void lowerWaitingStopsOnlyAtZero()
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

    void oldestWaitingTicketOfTheDesksServices_data()
    {
        // Tickets: "service,number,called,time" apart by blanks; 0: no ticket for the desk.
        QTest::addColumn<QString>("tickets");
        QTest::addColumn<QList<qint64>>("deskServices");
        QTest::addColumn<qint64>("expectedNumber");
        const auto row = [](const char *tag, const char *tickets, const QList<qint64> &deskServices, qint64 expected) {
            QTest::newRow(tag) << QString::fromLatin1(tickets) << deskServices << expected;
        };
        row("the oldest across the desk's services wins", "1,10,0,09:00:05 2,20,0,09:00:01 1,11,0,09:00:09", {1, 2},
            20);
        row("tickets of other services and called ones are passed over",
            "3,30,0,08:00:00 1,10,1,08:30:00 2,21,0,09:30:00", {1, 2}, 21);
        row("equal times go by the row key", "2,22,0,09:00:00 1,12,0,09:00:00", {1, 2}, 22);
        row("a fraction of a second counts", "1,13,0,09:00:00.9 2,23,0,09:00:00.2", {1, 2}, 23);
        row("a desk with no services gets nothing", "1,10,0,08:00:00", {}, 0);
    }

    void oldestWaitingTicketOfTheDesksServices()
    {
        QFETCH(QString, tickets);
        QFETCH(QList<qint64>, deskServices);
        QFETCH(qint64, expectedNumber);
        auto db = database([&](ArchiveBuilder &b) {
            bool ok = b.addDeskService(u"10.0.0.99"_s, 3, u"S3"_s).ok();
            for (const qint64 id : deskServices)
                ok = ok && b.addDeskService(u"10.0.0.1"_s, id, u"S%1"_s.arg(id)).ok();
            for (const QString &ticket : tickets.split(u' ')) {
                const QStringList f = ticket.split(u',');
                ok = ok && b.addTicket(f[0].toLongLong(), f[1].toLongLong(), u"S"_s + f[0], f[2] == u'1',
                                       u"2026-03-02 "_s + f[3]).ok();
            }
            return ok;
        });
        QVERIFY(db);
        const std::optional<Ticket> oldest = db->oldestWaitingTicket(u"10.0.0.1"_s).value();
        QCOMPARE(oldest ? oldest->nrDaChiamare.toLongLong() : 0, expectedNumber);
        if (oldest)
            QCOMPARE(oldest->servizio.toString(), u"S%1"_s.arg(oldest->servizioId));
    }

private:
    QString newFolder() { return m_dir.filePath(QString::number(++m_folders)); }
    std::unique_ptr<QueueDatabase> database(const std::function<bool(ArchiveBuilder &)> &fill)
    {
        return buildAndOpen(newFolder(), fill);
    }
    QTemporaryDir m_dir;
    int m_folders = 0;
};

TQ3_ARCHIVE_TEST_MAIN(TestQueueDatabase)
#include "tst_queuedatabase.moc"

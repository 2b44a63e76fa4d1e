// Bad input from outside met by the real calls of both desks, between two
// good calls of an open console: each row checks the operator's message, that
// nothing was written that should not be, and that the next call works once
// the input is mended.
//
// Bad inputs other tests hold: a missing settings file and its encodings
// (tst_lamain), values a save must refuse (tst_storefiles), "False" in the
// server-state file and a number write that fails (tst_calldesks), nothing
// listening at the server's port (tst_form1).

#include "CallArchive.h"
#include "TestSupport.h"

#include "core/calls/AutomaticCall.h"
#include "core/calls/SelectiveCall.h"
#include "core/calls/ServerLink.h"
#include "core/startup/StartupSequence.h"

#include <QDirIterator>
#include <QProcess>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;

namespace {

const QString kDeskIp = u"10.0.0.5"_s;
const QString kNumber = u"NrAll/NrAllS12.txt"_s;
const QString kState = u"UConnDP.txt"_s;
const QByteArray kFolder = "<a folder>";  // a folder in place of the file

enum Desk { S, A };  // the selective and the automatic desk
enum Spoil { Write, Unreadable, Away, Server, DeskName, Sql, Database, Locked };

// What is spoilt between two good calls, and what the call then tells (its
// lines joined by |) or, where it still goes ahead, sends.
struct Bad final {
    Desk desk;
    Spoil spoil;
    QString file = {};     // in the archive folder: Write, Unreadable
    QByteArray with = {};  // bytes (or kFolder), server address, desk name, statements; Database: null for half the file
    QString told = {};
    QByteArray sent = {};
    bool completes = false;  // the call is completed at the desk though nothing arrives
};

} // namespace

Q_DECLARE_METATYPE(Bad)

// Desk "Sportello 1" (10.0.0.5) serves 12 "Anagrafe": number 41, three waiting,
// tickets 7, 8 and 9.
class TestBadInput final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_work.emplace();
        m_archive.emplace();
        m_listener.emplace();
        m_link.emplace();
        QVERIFY(m_archive->addService(kDeskIp, 12, u"Anagrafe"_s, 3, 41));
        for (int number : {7, 8, 9})
            QVERIFY(m_archive->addTicket(12, number, u"Anagrafe"_s, u"2026-12-05 09:0%1:00"_s.arg(number)) > 0);
        QVERIFY(m_archive->builder().setConfigurazione(2, m_listener->port(), u"127.0.0.1"_s, u"SERVER"_s));
        mend();
    }
    void cleanup() { mend(); }

    void callAfterBadInput_data()
    {
        QTest::addColumn<Bad>("bad");
        const auto row = [](const char *name, const Bad &bad) { QTest::newRow(name) << bad; };
        const QString noNumber = u"Il file del numero del servizio non contiene un numero ! (NrAllS12.txt)"_s;
        const QString cannotOpen = u"Impossibile aprire il file del numero del servizio ! (NrAllS12.txt)"_s;
        const QString givenBack = u"Impossibile scrivere il numero chiamato !|Il biglietto resta in attesa."_s;
        const QString noServer = u"Indirizzo del Server non trovato: tq3-server.invalid ! Controllare impostazioni !"_s;
        const QString emptyState = u"File di stato del Server vuoto !"_s;
        const QString dbError = u"Errore nell'archivio delle code !"_s, busy = u"Archivio occupato, riprovare !"_s;
        const QString unreachable = u"Archivio del Server non raggiungibile !|"_s;
        const QString notDb = u"TQ3MAX.mdb non è un archivio valido !"_s;
        const QByteArray s042 = "042#Sportello 1#Anagrafe";

        row("an empty number file holds no number", {S, Write, kNumber, "", noNumber});
        row("a number file of letters holds no number", {S, Write, kNumber, "abc\r\n", noNumber});
        row("a negative number is called as it is", {S, Write, kNumber, "-5\r\n", {}, "-005#Sportello 1#Anagrafe"});
        row("the 32-bit maximum has no successor", {S, Write, kNumber, "2147483647\r\n",
            u"Numero massimo raggiunto !Azzerare la numerazione del servizio !"_s});
        row("one more than the 32-bit maximum is no number", {S, Write, kNumber, "2147483648\r\n", noNumber});
        row("10 MB of digits are no number", {S, Write, kNumber, QByteArray(10 << 20, '7'), noNumber});
        row("a folder in place of the number file cannot be opened", {S, Write, kNumber, kFolder, cannotOpen});
        row("a folder in place of the number file gives the ticket back", {A, Write, kNumber, kFolder, givenBack});
        row("a number file the operator may not read cannot be opened", {S, Unreadable, kNumber, {}, cannotOpen});
        row("a number file the operator may not write gives the ticket back", {A, Unreadable, kNumber, {}, givenBack});
        row("an empty server-state file stops the call", {S, Write, kState, "", emptyState});
        row("an empty server-state file stops the call before the mark", {A, Write, kState, "", emptyState});
        row("a binary server-state file is not False", {S, Write, kState, QByteArray("\0\x01\xFF\xFE,", 5), {}, s042});
        row("TRUE in capitals is not False", {S, Write, kState, "TRUE\r\n", {}, s042});
        row("FALSE in capitals is not False either", {A, Write, kState, "\"FALSE\"\r\n", {}, "008#Sportello 1#Anagrafe"});
        row("a server-state file the operator may not read stops the call", {S, Unreadable, kState, {},
            u"Impossibile leggere il file di stato del Server !"_s});
        row("the archive folder renamed away is told", {S, Away, {}, {}, u"File di stato del Server non trovato !"_s});
        row("a renamed archive folder is unreachable", {A, Away, {}, {}, unreachable + u"Archivio TQ3MAX.mdb non trovato !"_s});
        row("an unresolvable server name is told before anything changes", {S, Server, {}, "tq3-server.invalid", noServer});
        row("an unresolvable server name is told before the mark", {A, Server, {}, "tq3-server.invalid", noServer});
        row("port 0 in Configurazione is told before anything changes", {S, Sql, {},
            "UPDATE Configurazione SET RHPort = 0", u"Porta del Server non valida (0) !"_s});
        row("port 65536 in Configurazione is told before the mark", {A, Sql, {},
            "UPDATE Configurazione SET RHPort = 65536", u"Porta del Server non valida (65536) !"_s});
        row("a desk name of 100,000 characters cannot be sent, the call stays completed", {S, DeskName, {},
            QByteArray(100000, 'x'), u"Invio della chiamata al Server non riuscito (errore 10040) !"_s, {}, true});
        row("a file that is no database in place of TQ3MAX.mdb", {S, Database, {}, "Standard Jet DB", notDb});
        row("half a database file is no database", {A, Database, {}, {}, unreachable + notDb});
        row("a table missing", {S, Sql, {}, "DROP TABLE Servizi", dbError});
        row("a column missing", {A, Sql, {}, "DROP INDEX CodaFromTotem_Number;ALTER TABLE CodaFromTotem DROP COLUMN "
            "NrDaChiamare", u"Lettura della coda di attesa non riuscita !|"_s + dbError});
        row("text where the count of waiting tickets is read is told, not lowered", {S, Sql, {},
            "UPDATE Servizi SET Attesa = 'tre'", u"Attesa del servizio 12 non valida in archivio !"_s});
        row("NULL in every field the selective call reads is nothing waiting", {S, Sql, {},
            "UPDATE Servizi SET Attesa = NULL, Servizio = NULL;UPDATE ServiziPostazioni SET ServizioTesto = NULL"});
        row("NULL in every field of the queue leaves no ticket to call", {A, Sql, {}, "UPDATE CodaFromTotem SET "
            "servizioid = NULL, NrDaChiamare = NULL, Servizio = NULL, ora = NULL, SeChiamato = NULL",
            u"Al momento coda di attesa vuota !"_s});
        row("of two Configurazione rows the first counts", {S, Sql, {},
            "INSERT INTO Configurazione (ModoClient, RHPort) VALUES (1, 1)", {}, s042});
        row("a database locked by another process past the busy timeout is busy", {S, Locked, {}, {}, busy});
        row("a database locked past the busy timeout is busy at the automatic desk", {A, Locked, {}, {}, unreachable + busy});
    }
    void callAfterBadInput()
    {
        QFETCH(Bad, bad);
        const CallOutcome first = call(bad.desk);
        QCOMPARE(m_listener->receive(1).value(0), first.call.message);
        for (const QString &name : {kDatabaseFileName, kNumber, kState})
            m_pristine.insert(archive(name), readFile(archive(name)).value_or(""));

        QString before = state();  // the lock keeps state() from reading: taken before it
        spoil(bad);
        if (QTest::currentTestFailed())
            return;
        if (bad.spoil != Locked)
            before = state();
        // This thread's files as an operator's account sees them: as root, with
        // the rights of nobody (65534; no capability overrides them).
        const auto filesAs = [asOperator = bad.spoil == Unreadable && ::geteuid() == 0](unsigned id) {
            (void)(asOperator && ::setfsgid(id) >= 0 && ::setfsuid(id) >= 0);
        };
        filesAs(65534);
        const CallOutcome outcome = call(bad.desk);
        filesAs(0);
        if (m_locker) {  // the lock has outlasted the call's busy timeout
            m_locker->kill();
            QVERIFY(m_locker->waitForFinished());
        }
        QStringList told = outcome.message;
        if (outcome.kind == CallOutcome::Kind::Announced && outcome.error)
            told << outcome.error->message;
        QCOMPARE(told.join(u'|'), bad.told);
        QCOMPARE(m_listener->receive(1, bad.sent.isEmpty() ? 100 : 3000).value(0), bad.sent);
        if (bad.sent.isEmpty() && !bad.completes)
            QCOMPARE(state(), before);
        else if (bad.desk == S)
            QCOMPARE(readFile(archive(kNumber)), QByteArray::number(outcome.call.number + 1) + "\r\n");

        mend();
        const CallOutcome next = call(bad.desk);
        QCOMPARE(next.kind, CallOutcome::Kind::Announced);
        QCOMPARE(m_listener->receive(1).value(0), next.call.message);
    }

private:
    QString archive(const QString &name = {}) const { return QDir(m_archive->folder()).filePath(name); }

    // The desk started again with these settings: the settings file and Configurazione read anew.
    void restart(const QString &server = u"127.0.0.1"_s, const QString &desk = u"Sportello 1"_s)
    {
        const ClientEnvironment environment{.localAddress = [] { return kDeskIp; },
                                            .settingsFilePath = m_work->filePath(kSettingsFileName)};
        QVERIFY(writeFile(environment.settingsFilePath, '"' + archive().toUtf8() + "\",\"" + desk.toUtf8() + "\",\""
                                                            + server.toUtf8() + "\",\"N\"\r\n"));
        (void)runStartup(environment, m_record);  // as far as it gets: a broken database is the call's to tell
        m_link->setDestination(m_record.ipServer, m_record.portaServer);
    }

    CallOutcome call(Desk desk)
    {
        const CallRequest request{.archiveFolder = m_record.percorsoServer, .deskName = m_record.nomePostazione,
                                  .ipLocale = m_record.ipLocale, .serverAddress = m_record.ipServer,
                                  .numberFilePatience = std::chrono::milliseconds(200), .serviceId = 12,
                                  .serviceName = u"Anagrafe"_s, .serviceRows = 1};
        return desk == S ? SelectiveCall(*m_link).run(request) : AutomaticCall(*m_link).run(request);
    }

    void spoil(const Bad &bad)
    {
        const QString folder = archive(), file = archive(bad.file), database = archive(kDatabaseFileName);
        switch (bad.spoil) {
        case Write:
            QVERIFY(bad.with == kFolder ? QFile::remove(file) && QDir().mkpath(file) : writeFile(file, bad.with));
            break;
        case Unreadable:  // by the operator's account, which may use everything else
            for (const QString &path : {folder, archive(u"NrAll"_s)})
                QCOMPARE(::chmod(QFile::encodeName(path), 0777), 0);
            QCOMPARE(::chmod(QFile::encodeName(database), 0666), 0);
            QCOMPARE(::chmod(QFile::encodeName(file), 0), 0);
            m_undo = [file] { ::chmod(QFile::encodeName(file), 0644); };
            break;
        case Away:
            QVERIFY(QDir().rename(folder, folder + u"-via"_s));
            m_undo = [folder] { QDir().rename(folder + u"-via"_s, folder); };
            break;
        case Server:
        case DeskName:
            restart(bad.spoil == Server ? QString::fromUtf8(bad.with) : u"127.0.0.1"_s,
                    bad.spoil == DeskName ? QString::fromUtf8(bad.with) : u"Sportello 1"_s);
            break;
        case Sql:  // statements split at ';', then the desk starts again, to read Configurazione
            for (const QByteArray &statement : bad.with.split(';'))
                QVERIFY(m_archive->builder().execute(QString::fromUtf8(statement)));
            restart();
            break;
        case Database:
            QVERIFY(writeFile(database, bad.with.isNull() ? m_pristine[database].first(m_pristine[database].size() / 2)
                                                         : bad.with));
            break;
        case Locked:  // held far past the desks' 5 s busy timeout, let go of once the call is back
            m_locker = std::make_unique<QProcess>();
            m_locker->setProcessChannelMode(QProcess::ForwardedChannels);
            m_locker->start(binDir() + u"/store_crasher"_s, {u"hold"_s, folder, u"20000"_s, m_work->filePath(u"ready"_s)});
            QVERIFY(QTest::qWaitFor([&] { return QFile::exists(m_work->filePath(u"ready"_s)); }, 10000));
            break;
        }
    }

    // Undoes the spoil, puts back the archive's files and starts the desk again.
    void mend()
    {
        if (m_undo)
            std::exchange(m_undo, nullptr)();
        if (m_locker) {
            m_locker->kill();
            m_locker->waitForFinished();
        }
        m_locker.reset();
        for (auto it = m_pristine.cbegin(); it != m_pristine.cend(); ++it) {
            QDir(it.key()).removeRecursively();
            QVERIFY(writeFile(it.key(), it.value()));
        }
        m_pristine.clear();
        restart();
    }

    // Every file of the archive folder, with Attesa and the tickets marked as
    // called in place of the database's bytes (those change with any commit).
    QString state() const
    {
        QStringList lines;
        for (QDirIterator it(archive(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
             it.hasNext();) {
            const QString path = it.next();
            lines << path + u' ' + QString::number(path.endsWith(kDatabaseFileName) ? 0 : qHash(readFile(path).value_or("")));
        }
        lines.sort();
        for (const qint64 key : m_archive->calledKeys())
            lines << QString::number(key);
        return lines.join(u'\n') + u'\n' + QString::number(m_archive->attesa(12).value_or(-1));
    }

    std::optional<QTemporaryDir> m_work;
    std::optional<CallArchive> m_archive;
    std::optional<DatagramListener> m_listener;
    std::optional<ServerLink> m_link;  // the open console's, from one call to the next
    SettingsRecord m_record;
    QHash<QString, QByteArray> m_pristine;
    std::unique_ptr<QProcess> m_locker;
    std::function<void()> m_undo;
};

QTEST_GUILESS_MAIN(TestBadInput)
#include "tst_badinput.moc"

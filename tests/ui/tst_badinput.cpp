// Bad input from outside met by the real operations (start-up through the
// launcher, the calls of both desks between two good calls of an open
// console): each row checks the operator's message, that nothing was written
// that should not be, and that the next operation works once it is mended.
//
// Bad inputs other tests hold already, not written twice:
// - settings file: fewer than four fields, UTF-8 with a byte-order mark, UTF-16
//   (tst_lamain startUpPaths); saving a quote, a line break, a letter
//   Windows-1252 lacks, a control character or bytes that read as UTF-8
//   (tst_storefiles refusesValuesThatWouldNotReadBack, tst_settings);
// - server-state file: missing, "False", "false" (tst_selectivecall, tst_automaticcall);
// - number file: missing, held by another desk, a failed write (tst_selectivecall);
//   no NrAll folder (tst_automaticcall, tst_form11);
// - database and archive folder at start-up: no folder, no database, not a
//   database, no Configurazione, RHPort not a number (tst_lamain startUpPaths);
//   no Servizi row for a desk's service (tst_selectivecall); a ticket without
//   number or service (tst_automaticcall);
// - server: nothing listening, the server module stopping and starting again
//   between calls (tst_form1 refusedDatagramIsToldOnceAndNextCallArrives).

#include "CallArchive.h"
#include "TestSupport.h"
#include "UiTesting.h"

#include "core/calls/AutomaticCall.h"
#include "core/calls/SelectiveCall.h"
#include "core/calls/ServerLink.h"
#include "core/startup/SingleInstance.h"
#include "core/startup/StartupSequence.h"
#include "gui/kit/WindowRegistry.h"
#include "gui/launcher/ClientStart.h"
#include "gui/launcher/LaMain.h"

#include <QDirIterator>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>

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
const QByteArray kFolder = "<a folder>";     // a folder in place of the file
const QByteArray kNoRights = "<no rights>";  // the good file, which the operator may not read

enum Desk { S, A };  // the selective and the automatic desk
enum Spoil { Write, Unreadable, Away, ReadOnly, Full, Server, DeskName, Sql, Database, Locked };

// What is spoilt between two good calls, and what the call then tells (its
// lines joined by |) or, where it still goes ahead, sends.
struct Bad final {
    Desk desk;
    Spoil spoil;
    QString file = {};     // in the archive folder: Write, Unreadable
    QByteArray with = {};  // bytes (or kFolder), server address, desk name, statement; Database: null for half the file
    QString told = {};
    QByteArray sent = {};
    bool completes = false;  // the call is completed at the desk though nothing arrives
};

const bool kRoot = ::geteuid() == 0;

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// While it lives, this thread's files as an operator's account sees them: as
// root with the rights of nobody (65534; no capability overrides them).
struct AsOperator final {
    explicit AsOperator(bool on) : m_on(on && kRoot) { switchTo(m_on ? 65534 : 0); }
    ~AsOperator() { switchTo(0); }
    void switchTo(unsigned id) const { m_on && ::setfsgid(id) >= 0 && ::setfsuid(id) >= 0; }
    bool m_on;
};

QString told(const CallOutcome &outcome)
{
    QStringList lines = outcome.message;
    if (outcome.kind == CallOutcome::Kind::Announced && outcome.error)
        lines << outcome.error->message;
    return lines.join(u'|');
}

QString stop(const char *message)
{
    return u"TQ3MAX-Messaggio|%1|stop"_s.arg(QString::fromUtf8(message));
}

} // namespace

Q_DECLARE_METATYPE(Bad)

// Desk "Sportello 1" (10.0.0.5) serves 12 "Anagrafe": number 41, three waiting,
// tickets 7, 8 and 9.
class TestBadInput final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void callAfterBadInput_data();
    void callAfterBadInput();
    void startUpWithABadSettingsFile_data();
    void startUpWithABadSettingsFile();

private:
    QString archive(const QString &name = {}) const { return QDir(m_archive->folder()).filePath(name); }
    QString settingsPath() const { return m_work->filePath(kSettingsFileName); }
    void writeSettings(const QString &server = u"127.0.0.1"_s, const QString &desk = u"Sportello 1"_s);
    void restart();
    CallOutcome call(Desk desk);
    void spoil(const Bad &bad);
    void mend();
    QString state() const;
    QStringList startLauncher();

    std::optional<QTemporaryDir> m_work;
    std::optional<CallArchive> m_archive;
    std::optional<DatagramListener> m_listener;
    std::optional<ServerLink> m_link;  // the open console's, from one call to the next
    SettingsRecord m_record;
    QHash<QString, QByteArray> m_pristine;
    std::unique_ptr<QProcess> m_locker;
    QList<std::function<void()>> m_undo;
};

void TestBadInput::init()
{
    m_work.emplace();
    m_archive.emplace();
    m_listener.emplace();
    m_link.emplace();
    QVERIFY(m_archive->addService(kDeskIp, 12, u"Anagrafe"_s, 3, 41));
    for (int number : {7, 8, 9})
        QVERIFY(m_archive->addTicket(12, number, u"Anagrafe"_s, u"2026-12-05 09:0%1:00"_s.arg(number)) > 0);
    QVERIFY(m_archive->builder().setConfigurazione(2, m_listener->port(), u"127.0.0.1"_s, u"SERVER"_s));
    writeSettings();
    restart();
}

void TestBadInput::cleanup()
{
    mend();
    m_link.reset();
    m_archive.reset();
}

void TestBadInput::writeSettings(const QString &server, const QString &desk)
{
    QVERIFY(writeFile(settingsPath(), '"' + archive().toUtf8() + "\",\"" + desk.toUtf8() + "\",\"" + server.toUtf8()
                                          + "\",\"N\"\r\n"));
}

// The desk started again: the settings file and Configurazione read anew.
void TestBadInput::restart()
{
    ClientEnvironment environment;
    environment.settingsFilePath = settingsPath();
    environment.localAddress = [] { return kDeskIp; };
    (void)runStartup(environment, m_record);  // as far as it gets: a broken database is the call's to tell
    m_link->setDestination(m_record.ipServer, m_record.portaServer);
}

CallOutcome TestBadInput::call(Desk desk)
{
    const CallRequest request{.archiveFolder = m_record.percorsoServer, .deskName = m_record.nomePostazione,
                              .ipLocale = m_record.ipLocale, .serverAddress = m_record.ipServer,
                              .numberFilePatience = std::chrono::milliseconds(200), .serviceId = 12,
                              .serviceName = u"Anagrafe"_s, .serviceRows = 1};
    return desk == S ? SelectiveCall(*m_link).run(request) : AutomaticCall(*m_link).run(request);
}

void TestBadInput::spoil(const Bad &bad)
{
    const QString folder = archive();
    const QString file = archive(bad.file);
    const QString database = archive(kDatabaseFileName);
    const auto undo = [this](const QString &program, const QStringList &arguments) {
        m_undo << [=] { run(program, arguments); };
    };
    switch (bad.spoil) {
    case Write:
        QVERIFY(bad.with == kFolder ? QFile::remove(file) && QDir().mkpath(file) : writeFile(file, bad.with));
        break;
    case Unreadable:  // by the operator's account, which may use everything else
        for (const QString &path : {folder, archive(u"NrAll"_s)})
            QCOMPARE(::chmod(QFile::encodeName(path), 0777), 0);
        QCOMPARE(::chmod(QFile::encodeName(database), 0666), 0);
        QCOMPARE(::chmod(QFile::encodeName(file), 0), 0);
        undo(u"chmod"_s, {u"0644"_s, file});
        break;
    case Away:
        QVERIFY(QDir().rename(folder, folder + u"-via"_s));
        undo(u"mv"_s, {folder + u"-via"_s, folder});
        break;
    case ReadOnly:  // root writes anywhere the file system lets it
        if (kRoot) {
            QVERIFY(run(u"mount"_s, {u"--bind"_s, folder, folder}));
            undo(u"umount"_s, {u"-l"_s, folder});
            QVERIFY(run(u"mount"_s, {u"-o"_s, u"remount,bind,ro"_s, folder}));
        } else {
            QVERIFY(run(u"chmod"_s, {u"-R"_s, u"a-w"_s, folder}));
            undo(u"chmod"_s, {u"-R"_s, u"u+w"_s, folder});
        }
        break;
    case Full: {
        QVERIFY(run(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=1m"_s, u"tmpfs"_s, folder}));
        undo(u"umount"_s, {u"-l"_s, folder});
        QVERIFY(QDir(folder).mkdir(u"NrAll"_s));
        for (auto it = m_pristine.cbegin(); it != m_pristine.cend(); ++it)
            QVERIFY(writeFile(it.key(), it.value()));
        QFile filler(archive(u"riempimento"_s));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(4096, 'x')) == 4096 && filler.flush()) {
        }
        break;
    }
    case Server:
    case DeskName:
        writeSettings(bad.spoil == Server ? QString::fromUtf8(bad.with) : u"127.0.0.1"_s,
                      bad.spoil == DeskName ? QString::fromUtf8(bad.with) : u"Sportello 1"_s);
        restart();
        break;
    case Sql:  // statements split at ';', then the desk starts again, to read Configurazione
        for (const QByteArray &statement : bad.with.split(';'))
            QVERIFY(m_archive->builder().execute(QString::fromUtf8(statement)));
        restart();
        break;
    case Database:
        QVERIFY(writeFile(database, bad.with.isNull() ? m_pristine.value(database).left(m_pristine.value(database).size() / 2)
                                                     : bad.with));
        break;
    case Locked: {
        const QString ready = m_work->filePath(u"ready"_s);
        m_locker = std::make_unique<QProcess>();
        m_locker->setProcessChannelMode(QProcess::ForwardedChannels);
        m_locker->start(binDir() + u"/store_crasher"_s, {u"hold"_s, folder, u"10000"_s, ready});
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(ready); }, 10000));
        break;
    }
    }
}

// Undoes the spoil, puts back the archive's files and starts the desk again.
void TestBadInput::mend()
{
    while (!m_undo.isEmpty())
        m_undo.takeLast()();
    if (m_locker)
        m_locker->waitForFinished(30000);
    m_locker.reset();
    for (auto it = m_pristine.cbegin(); it != m_pristine.cend(); ++it) {
        QDir(it.key()).removeRecursively();
        QVERIFY(writeFile(it.key(), it.value()));
    }
    m_pristine.clear();
    writeSettings();
    restart();
}

// Every file of the archive folder, and Attesa and the oldest waiting ticket
// as a desk reads them (the database file's own bytes change with any commit).
QString TestBadInput::state() const
{
    QStringList lines;
    for (QDirIterator it(archive(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        const QString path = it.next();
        lines << path + u' ' + QString::number(path.endsWith(kDatabaseFileName) ? 0 : qHash(readFile(path).value_or("")));
    }
    lines.sort();
    Result<std::unique_ptr<QueueDatabase>> database = QueueDatabase::open(archive());
    if (!database)
        return lines.join(u'\n') + u'\n' + database.error().message;
    const Result<std::optional<QVariant>> attesa = (*database)->serviceWaiting(12);
    const Result<std::optional<Ticket>> oldest = (*database)->oldestWaitingTicket(kDeskIp);
    lines << (attesa ? attesa->value_or(u"none"_s).toString() : attesa.error().detail)
          << (oldest ? QString::number(oldest->has_value() ? (*oldest)->key : -1) : oldest.error().detail);
    return lines.join(u'\n');
}

void TestBadInput::callAfterBadInput_data()
{
    QTest::addColumn<Bad>("bad");
    const auto row = [](const char *name, const Bad &bad) { QTest::newRow(name) << bad; };
    const QString noNumber = u"Il file del numero del servizio non contiene un numero ! (NrAllS12.txt)"_s;
    const QString cannotOpen = u"Impossibile aprire il file del numero del servizio ! (NrAllS12.txt)"_s;
    const QString givenBack = u"Impossibile scrivere il numero chiamato !|Il biglietto resta in attesa."_s;
    const QByteArray s042 = "042#Sportello 1#Anagrafe";
    const QByteArray a008 = "008#Sportello 1#Anagrafe";

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
    row("an empty server-state file stops the call", {S, Write, kState, "", u"File di stato del Server vuoto !"_s});
    row("an empty server-state file stops the call before the mark", {A, Write, kState, "",
        u"File di stato del Server vuoto !"_s});
    row("a binary server-state file is not False", {S, Write, kState, QByteArray("\0\x01\xFF\xFE,", 5), {}, s042});
    row("TRUE in capitals is not False", {S, Write, kState, "TRUE\r\n", {}, s042});
    row("FALSE in capitals is not False either", {A, Write, kState, "\"FALSE\"\r\n", {}, a008});
    row("a server-state file the operator may not read stops the call", {S, Unreadable, kState, {},
        u"Impossibile leggere il file di stato del Server !"_s});
    row("the archive folder renamed away is told", {S, Away, {}, {}, u"File di stato del Server non trovato !"_s});
    row("the archive folder renamed away is unreachable", {A, Away, {}, {},
        u"Archivio del Server non raggiungibile !|Archivio TQ3MAX.mdb non trovato !"_s});
    row("a read-only archive folder lets nothing change", {S, ReadOnly, {}, {}, u"Errore nell'archivio delle code !"_s});
    row("a read-only archive folder keeps the ticket waiting", {A, ReadOnly, {}, {},
        u"Registrazione della chiamata non riuscita !|Errore nell'archivio delle code !"_s});
    row("a full archive folder lets nothing change", {S, Full, {}, {}, u"Errore nell'archivio delle code !"_s});
    row("a full archive folder keeps the ticket waiting", {A, Full, {}, {},
        u"Registrazione della chiamata non riuscita !|Errore nell'archivio delle code !"_s});
    row("a server name that does not resolve is told before anything changes", {S, Server, {}, "tq3-server.invalid",
        u"Indirizzo del Server non trovato: tq3-server.invalid ! Controllare impostazioni !"_s});
    row("a server name that does not resolve is told before the mark", {A, Server, {}, "tq3-server.invalid",
        u"Indirizzo del Server non trovato: tq3-server.invalid ! Controllare impostazioni !"_s});
    row("port 0 in Configurazione is told before anything changes", {S, Sql, {},
        "UPDATE Configurazione SET RHPort = 0", u"Porta del Server non valida (0) !"_s});
    row("port 65536 in Configurazione is told before the mark", {A, Sql, {},
        "UPDATE Configurazione SET RHPort = 65536", u"Porta del Server non valida (65536) !"_s});
    row("a desk name of 100,000 characters cannot be sent, the call stays completed", {S, DeskName, {},
        QByteArray(100000, 'x'), u"Invio della chiamata al Server non riuscito (errore 10040) !"_s, {}, true});
    const QString dbError = u"Errore nell'archivio delle code !"_s;
    row("a file that is no database in place of TQ3MAX.mdb", {S, Database, {}, "Standard Jet DB",
        u"TQ3MAX.mdb non è un archivio valido !"_s});
    row("half a database file is no database", {A, Database, {}, {},
        u"Archivio del Server non raggiungibile !|TQ3MAX.mdb non è un archivio valido !"_s});
    row("a table missing", {S, Sql, {}, "DROP TABLE Servizi", dbError});
    row("a column missing", {A, Sql, {}, "DROP INDEX CodaFromTotem_Number;ALTER TABLE CodaFromTotem DROP COLUMN NrDaChiamare",
        u"Lettura della coda di attesa non riuscita !|"_s + dbError});
    row("text where the count of waiting tickets is read is told, not lowered", {S, Sql, {},
        "UPDATE Servizi SET Attesa = 'tre'", u"Attesa del servizio 12 non valida in archivio !"_s});
    row("NULL in every field the selective call reads is nothing waiting", {S, Sql, {},
        "UPDATE Servizi SET Attesa = NULL, Servizio = NULL;UPDATE ServiziPostazioni SET ServizioTesto = NULL"});
    row("NULL in every field of the queue leaves no ticket to call", {A, Sql, {}, "UPDATE CodaFromTotem SET "
        "servizioid = NULL, NrDaChiamare = NULL, Servizio = NULL, ora = NULL, SeChiamato = NULL",
        u"Al momento coda di attesa vuota !"_s});
    row("of two Configurazione rows the first counts", {S, Sql, {},
        "INSERT INTO Configurazione (ModoClient, RHPort) VALUES (1, 1)", {}, s042});
    row("a database locked by another process for 10 s is busy", {S, Locked, {}, {}, u"Archivio occupato, riprovare !"_s});
    row("a database locked by another process for 10 s is busy for the automatic desk too", {A, Locked, {}, {},
        u"Archivio del Server non raggiungibile !|Archivio occupato, riprovare !"_s});
}

void TestBadInput::callAfterBadInput()
{
    QFETCH(Bad, bad);
    if (bad.spoil == Full && !kRoot)
        QSKIP("a full archive folder is a small tmpfs mounted by the test, which needs root");
    const CallOutcome first = call(bad.desk);
    QCOMPARE(m_listener->receive(1).value(0), first.call.message);
    for (const QString &name : {kDatabaseFileName, kNumber, kState})
        m_pristine.insert(archive(name), readFile(archive(name)).value_or(""));

    const bool locked = bad.spoil == Locked;
    QString before = locked ? state() : QString();
    spoil(bad);
    if (QTest::currentTestFailed())
        return;
    if (!locked)
        before = state();
    const CallOutcome outcome = [&] {
        const AsOperator as(bad.spoil == Unreadable);
        return call(bad.desk);
    }();
    if (m_locker)
        QVERIFY(m_locker->waitForFinished(30000));
    QCOMPARE(told(outcome), bad.told);
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

QStringList TestBadInput::startLauncher()
{
    ClientEnvironment environment;
    environment.settingsFilePath = settingsPath();
    environment.localAddress = [] { return kDeskIp; };
    WindowRegistry registry(environment);
    SingleInstance instance(m_work->filePath(u"lock"_s));
    ModalCloser closer;
    const ClientRun started = startClient(registry, instance);
    QStringList seen = closer.boxes();
    if (started == ClientRun::Running)
        seen << registry.loaded<LaMain>()->findChild<QLineEdit *>(u"A1_1"_s)->text();  // the mode shown
    return seen;
}

void TestBadInput::startUpWithABadSettingsFile_data()
{
    QTest::addColumn<QByteArray>("bytes");  // %A stands for the archive folder
    QTest::addColumn<QStringList>("told");  // boxes, then the launcher's mode field
    const QByteArray good = "\"%A\",\"Sportello 1\",\"127.0.0.1\",\"N\"\r\n";
    const QString notFound = u"TQ3MAX-Messaggio|Percorso Server non impostato o Server non raggiungibile !|info"_s;
    const QString unreadable = stop("Impossibile leggere il file delle impostazioni !");
    QRandomGenerator random(12);
    QByteArray garbage(4096, '\0');
    random.fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);

    QTest::newRow("an empty file is incomplete") << QByteArray("")
        << QStringList{stop("File delle impostazioni incompleto !"), {}};
    QTest::newRow("binary garbage names no archive folder") << garbage
        << QStringList{notFound, u"PercorsoRETESERVER"_s, notFound};
    QTest::newRow("10 MB of text after the line are not read") << good + QByteArray(10 << 20, 'x')
        << QStringList{u"Selettivo"_s};
    QTest::newRow("a line of 100,000 characters without a separator is incomplete") << QByteArray(100000, 'x')
        << QStringList{stop("File delle impostazioni incompleto !"), {}};
    QTest::newRow("an unclosed quote runs to the end, leaving too few fields")
        << QByteArray("\"%A,\"Sportello 1\",\"127.0.0.1\",\"N\"\r\n")
        << QStringList{stop("File delle impostazioni incompleto !"), {}};
    QTest::newRow("control characters in the fields are read as they stand")
        << QByteArray("\"%A\",\"Sportello\x01\t1\x7f\",\"127.0.0.1\",\"N\x1b\"\r\n") << QStringList{u"Selettivo"_s};
    QTest::newRow("a folder in place of the file cannot be read") << kFolder << QStringList{unreadable, {}};
    QTest::newRow("a file the operator may not read cannot be read") << kNoRights << QStringList{unreadable, {}};
}

void TestBadInput::startUpWithABadSettingsFile()
{
    QFETCH(QByteArray, bytes);
    const QString path = settingsPath();
    if (bytes == kFolder)
        QVERIFY(QFile::remove(path) && QDir().mkpath(path + u"/x"_s));
    else if (bytes != kNoRights)
        QVERIFY(writeFile(path, bytes.replace("%A", archive().toUtf8())));
    if (bytes == kNoRights) {
        QCOMPARE(::chmod(QFile::encodeName(m_work->path()), 0755), 0);
        QCOMPARE(::chmod(QFile::encodeName(path), 0), 0);
    }
    const QString before = state() + QString::number(qHash(readFile(path).value_or("<none>")));
    {
        const AsOperator as(bytes == kNoRights);
        QTEST(startLauncher(), "told");
    }
    QCOMPARE(state() + QString::number(qHash(readFile(path).value_or("<none>"))), before);

    QDir(path).removeRecursively();
    QFile::remove(path);
    writeSettings();
    QCOMPARE(startLauncher(), QStringList{u"Selettivo"_s});
}

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"

// Shared by every test program: files, archives on either engine, the
// server module's UDP port and driver processes let go together.

#include "CallArchive.h"
#include "TestSupport.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace tq3::test {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

std::optional<QByteArray> readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? std::optional<QByteArray>(file.readAll()) : std::nullopt;
}

// The run's server, as the test command's fixture wrote it: a connection string, or why there is none.
static QString postgresServer()
{
    static const QString server =
        QString::fromUtf8(readFile(qEnvironmentVariable("TQ3_POSTGRES_FILE")).value_or("unavailable: no server file"))
            .trimmed();
    return server;
}

bool engineAvailable()
{
    if (!onPostgres() || !postgresServer().startsWith(u"unavailable"))
        return true;
    std::printf("SKIP: PostgreSQL %s\n", qPrintable(postgresServer()));
    return false;
}

QString newPostgresDatabase()
{
    // A schema per archive: made in a few milliseconds, where a database takes
    // a copy of its template; the connection string makes it the only one seen.
    static int made = 0;
    const QString schema = u"a%1_%2"_s.arg(QCoreApplication::applicationPid()).arg(++made);
    if (!QSqlDatabase::contains(u"tq3-test-admin"_s))
        QSqlDatabase::addDatabase(u"QPSQL"_s, u"tq3-test-admin"_s).setConnectOptions(postgresServer());
    QSqlDatabase admin = QSqlDatabase::database(u"tq3-test-admin"_s);  // opened when closed
    if (!admin.isOpen())
        qWarning("no PostgreSQL server: %s", qPrintable(admin.lastError().text()));
    if (QSqlQuery create(admin); !create.exec(u"CREATE SCHEMA "_s + schema))
        qWarning("cannot create schema %s: %s", qPrintable(schema), qPrintable(create.lastError().text()));
    return postgresServer() + u" options='-c search_path="_s + schema + u'\'';
}

std::unique_ptr<ArchiveBuilder> createQueueDatabase(const QString &folder, const QString &fileName)
{
    const QString conninfo = onPostgres() ? newPostgresDatabase() : QString();
    const QString path = QDir(folder).filePath(fileName);
    Result<std::unique_ptr<ArchiveBuilder>> created =
        onPostgres() ? ArchiveBuilder::createPostgres(conninfo) : ArchiveBuilder::create(path);
    const Result<void> written =
        created && onPostgres() ? ArchiveBuilder::writeConninfoFile(folder, conninfo) : Result<void>();
    if (!written)
        created = written.error();
    if (!created)
        qWarning("cannot create the queue database: %s", qPrintable(created.error().detail));
    return created ? std::move(created).value() : nullptr;
}

std::unique_ptr<QueueDatabase> buildAndOpen(const QString &folder, const std::function<bool(ArchiveBuilder &)> &fill)
{
    if (auto built = QDir().mkpath(folder) ? createQueueDatabase(folder) : nullptr; !built || (fill && !fill(*built)))
        return nullptr;
    Result<std::unique_ptr<QueueDatabase>> opened = QueueDatabase::open(folder);
    if (!opened)
        qWarning("cannot open the queue database: %s", qPrintable(opened.error().detail));
    return opened ? std::move(opened).value() : nullptr;
}

bool createStartupArchive(const QString &folder, StartupDatabase database, const QVariant &modoClient,
                          const QVariant &rhPort)
{
    if (!QDir().mkpath(folder) || database == StartupDatabase::None)
        return QDir(folder).exists();
    const std::unique_ptr<ArchiveBuilder> builder = createQueueDatabase(folder);
    return builder && builder->execute(u"DELETE FROM Configurazione"_s).ok()
        && builder->execute(u"INSERT INTO Configurazione (ModoClient, RHPort, IPSERVER, SERVERName) "
                             "VALUES (?, ?, ?, ?)"_s, {modoClient, rhPort, u"127.0.0.1"_s, u"SERVER"_s}).ok();
}

CallArchive::CallArchive()
{
    if (QDir(folder()).mkdir(u"NrAll"_s))
        m_builder = createQueueDatabase(folder());
    setServerState(u"True"_s);
}

void CallArchive::setServerState(const QString &firstField)
{
    const QString path = QDir(folder()).filePath(u"UConnDP.txt"_s);
    firstField.isNull() ? QFile::remove(path) : writeFile(path, '"' + firstField.toLatin1() + "\"\r\n");
}

qint64 CallArchive::addDeskService(const QString &ip, qint64 servizioId, const QString &testo)
{
    const Result<qint64> key = m_builder->addDeskService(ip, servizioId, testo);
    return key ? *key : -1;
}

bool CallArchive::addService(const QString &ip, qint64 id, const QString &name, qint64 attesa,
                             std::optional<qint32> number)
{
    return m_builder->addService(id, name, true, attesa) && addDeskService(ip, id, name) > 0
        && (!number || writeNumberFile(id, QByteArray::number(*number) + "\r\n"));
}

qint64 CallArchive::addTicket(qint64 servizioId, qint64 number, const QVariant &servizio, const QString &ora,
                              bool called)
{
    const Result<qint64> key = m_builder->addTicket(servizioId, number, servizio, called, ora);
    return key ? *key : -1;
}

QList<qint64> CallArchive::calledKeys() const
{
    QSqlQuery q(QSqlDatabase::database(m_builder->connectionName()));
    QList<qint64> keys;
    for (q.exec(u"SELECT Id FROM CodaFromTotem WHERE SeChiamato ORDER BY Id"_s); q.next();)
        keys << q.value(0).toLongLong();
    return keys;
}

std::optional<qint64> CallArchive::attesa(qint64 servizioId) const
{
    QSqlQuery q(QSqlDatabase::database(m_builder->connectionName()));
    q.prepare(u"SELECT Attesa FROM Servizi WHERE Id = ?"_s);
    q.addBindValue(servizioId);
    return q.exec() && q.next() && !q.value(0).isNull() ? std::optional(q.value(0).toLongLong()) : std::nullopt;
}

DatagramListener::DatagramListener()
{
    m_socket.bind(QHostAddress::LocalHost, 0);
    // Room for every datagram of a multi-desk run, however late it is read.
    m_socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 * 1024 * 1024);
}

QList<QByteArray> DatagramListener::receive(int count, int timeoutMs)
{
    QList<QByteArray> got;
    for (QDeadlineTimer deadline(timeoutMs); got.size() < count && !deadline.hasExpired();) {
        if (!m_socket.hasPendingDatagrams())
            m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        while (m_socket.hasPendingDatagrams())
            got << m_socket.receiveDatagram().data();
    }
    return got;
}


QString binDir()
{
    const QString fromEnv = qEnvironmentVariable("TQ3_BIN_DIR");
    return fromEnv.isEmpty() ? QCoreApplication::applicationDirPath() : fromEnv;
}

static QString readyFile(const QString &go, qint64 pid) { return go + u'.' + QString::number(pid); }

void waitForGo(const QString &go)
{
    QFile(readyFile(go, QCoreApplication::applicationPid())).open(QIODevice::WriteOnly);
    for (int i = 0; i < 600000 && !QFile::exists(go); ++i)
        QThread::usleep(100);
    print(u"start %1"_s.arg(QDateTime::currentMSecsSinceEpoch()));
}

void print(const QString &line)
{
    const QByteArray bytes = (line.isEmpty() ? u"end %1"_s.arg(QDateTime::currentMSecsSinceEpoch()) : line).toUtf8();
    std::fprintf(stdout, "%s\n", bytes.constData());
    std::fflush(stdout);
}

RunTogether runTogether(const QString &program, const QList<QStringList> &arguments, const QString &go,
                        const Together &how)
{
    RunTogether result{QList<DriverRun>(arguments.size())};
    QList<std::shared_ptr<QProcess>> processes(arguments.size());
    const auto start = [&](int i) {  // returns once the driver stands at the barrier, went past it or died
        QProcess &p = *(processes[i] = std::make_shared<QProcess>());
        if (how.prepare)
            how.prepare(i, result.runs[i].crashes, p);
        p.start(program, arguments.at(i));
        const auto ready = [&] { return p.state() != QProcess::Running || QFile::exists(readyFile(go, p.processId())); };
        if (!p.waitForStarted(10000) || !QTest::qWaitFor(ready, 30000))
            qWarning("a driver never stood at the barrier");
    };
    // Marks on either channel (the stand-in prints its own on stderr); lines only from stdout.
    const auto collect = [&](int i) {
        QProcess &p = *processes[i];
        DriverRun &run = result.runs[i];
        run.exitCode = p.state() == QProcess::NotRunning && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        const QByteArray errors = p.readAllStandardError();
        const QStringList out = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        for (const QString &line : out + QString::fromUtf8(errors).split(u'\n')) {
            if (line.startsWith(u"start ") && run.start == 0)
                run.start = line.mid(6).toLongLong();
            else if (line.startsWith(u"end "))
                run.end = line.mid(4).toLongLong();
        }
        run.lines += out.filter(QRegularExpression(u"^(?!start |end )"_s));
        if (run.exitCode != 0 && p.exitStatus() != QProcess::CrashExit)
            qWarning("%s %s: %s", qPrintable(program), qPrintable(arguments.at(i).join(u' ')), errors.constData());
    };
    for (int i = 0; i < arguments.size(); ++i)
        start(i);
    QFile(go).open(QIODevice::WriteOnly);
    QList<QProcess *> running;
    for (QDeadlineTimer deadline(how.timeoutMs); !deadline.hasExpired();) {
        running.clear();
        for (int i = 0; i < arguments.size(); ++i) {
            QProcess &p = *processes[i];
            if (p.waitForFinished(5) || p.state() == QProcess::NotRunning) {
                if (p.exitStatus() != QProcess::CrashExit || !how.restartCrashed)
                    continue;
                collect(i);
                if (result.runs[i].end != 0)
                    continue;  // killed on its way out: its work was done
                ++result.runs[i].crashes;
                start(i);
            }
            running << processes[i].get();
        }
        if (running.isEmpty())
            break;
        if (how.meanwhile)
            how.meanwhile(running);
    }
    if (how.meanwhile)
        how.meanwhile({});
    for (int i = 0; i < arguments.size(); ++i)
        collect(i);
    const qint64 latestStart = std::ranges::max(result.runs, {}, &DriverRun::start).start;
    result.overlapped = latestStart > 0 && latestStart <= std::ranges::min(result.runs, {}, &DriverRun::end).end;
    return result;
}

} // namespace tq3::test

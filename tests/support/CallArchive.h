#pragma once

#include "archive/ArchiveBuilder.h"
#include "core/store/CallFiles.h"
#include "core/store/Clock.h"
#include "core/store/QueueDatabase.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <functional>
#include <limits>
#include <memory>
#include <optional>

namespace tq3::test {

bool writeFile(const QString &path, const QByteArray &bytes = {});
std::optional<QByteArray> readFile(const QString &path);  // nullopt: missing
inline QByteArray contentOf(const QString &path) { return readFile(path).value_or("<unreadable>"); }

// Whether this run puts its archives on PostgreSQL rather than in SQLite files.
inline bool onPostgres() { return qEnvironmentVariable("TQ3_TEST_ENGINE") == u"postgres"; }
// False, with the reason on standard output, when this run's engine has no server.
bool engineAvailable();
// A connection string to a new, empty schema of the run's PostgreSQL server.
QString newPostgresDatabase();

// A new queue database with the schema for `folder`, on the run's engine;
// null (with a warning) when it cannot be made.
std::unique_ptr<ArchiveBuilder> createQueueDatabase(const QString &folder,
                                                    const QString &fileName = QStringLiteral("TQ3MAX.mdb"));
// A new queue database in `folder` (made when missing), filled through `fill`,
// then opened as a desk opens it; null (with a warning) on any failure.
std::unique_ptr<QueueDatabase> buildAndOpen(const QString &folder,
                                            const std::function<bool(ArchiveBuilder &)> &fill = {});
// How the archive folder of a start-up test is laid out.
enum class StartupDatabase {
    None,                // the folder holds no TQ3MAX.mdb
    WithConfigurazione,  // one row with the given ModoClient and RHPort
};
// Makes `folder` (created when missing) an archive folder; ModoClient and
// RHPort are stored as given (a null QVariant stores NULL, text stays text).
bool createStartupArchive(const QString &folder, StartupDatabase database, const QVariant &modoClient = 2,
                          const QVariant &rhPort = 4000);

// A server archive folder as the desks find it: TQ3MAX.mdb, the server-state
// file reading "True" and the NrAll folder of number files.
class CallArchive final {
public:
    // In a temporary folder of its own.
    CallArchive();
    QString folder() const { return m_dir.path(); }
    ArchiveBuilder &builder() { return *m_builder; }

    // Writes the first field of UConnDP.txt; a null value removes the file.
    void setServerState(const QString &firstField);
    qint64 addDeskService(const QString &ip, qint64 servizioId, const QString &testo);
    // A service the desk lists, with its Servizi row and, when set, its number file.
    bool addService(const QString &ip, qint64 id, const QString &name, qint64 attesa,
                    std::optional<qint32> number = {});
    qint64 addTicket(qint64 servizioId, qint64 number, const QVariant &servizio, const QString &ora,
                     bool called = false);

    QList<qint64> calledKeys() const;
    std::optional<qint64> attesa(qint64 servizioId) const;  // nullopt: no row, or null
    bool writeNumberFile(qint64 id, const QByteArray &b) const { return writeFile(numberFilePath(folder(), id), b); }
    std::optional<QByteArray> numberFile(qint64 id) const { return readFile(numberFilePath(folder(), id)); }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ArchiveBuilder> m_builder;
};

// The server module's UDP port, on 127.0.0.1.
class DatagramListener final {
public:
    DatagramListener();
    quint16 port() const { return m_socket.localPort(); }
    // Waits up to `timeoutMs` for `count` datagrams; returns what came.
    QList<QByteArray> receive(int count, int timeoutMs = 3000);
    QList<QByteArray> drain(int ms = 200) { return receive(std::numeric_limits<int>::max(), ms); }

private:
    QUdpSocket m_socket;
};

// A clock the test sets by hand.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2026, 12, 5), QTime(14, 5))) : m_now(std::move(start)) {}
    QDateTime now() const override { return m_now; }
    void set(QDateTime value) { m_now = std::move(value); }
    void setTime(QTime time) { m_now.setTime(time); }

private:
    QDateTime m_now;
};

} // namespace tq3::test

// The main of a test program that runs on either engine: skipped (exit code
// 77) when the run's engine has no server.
#define TQ3_ARCHIVE_TEST_MAIN(TestObject) \
    int main(int argc, char *argv[]) \
    { \
        QCoreApplication app(argc, argv); \
        TestObject tc; \
        QTEST_SET_MAIN_SOURCE_PATH \
        return tq3::test::engineAvailable() ? QTest::qExec(&tc, argc, argv) : 77; \
    }

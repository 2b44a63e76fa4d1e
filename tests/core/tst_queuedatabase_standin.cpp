// The stand-in server module and kiosk that the demo and the window tests
// use. Kiosks drawing while desks call are tst_calldesks'.

#include "CallArchive.h"
#include "TestSupport.h"
#include "core/store/CallFiles.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;

class TestStandin final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void createsAnArchiveTheDesksCanUse()
    {
        // A folder with blanks, percent, hash, question mark and a trailing
        // separator, a file name asked for in other letter case.
        const QString folder = m_dir.filePath(u"archivio 100% #1 ?già/"_s);
        QCOMPARE(create(folder, {u"--desk-ip"_s, u"10.1.2.3"_s, u"--mode"_s, u"1"_s, u"--port"_s, u"5123"_s}), 0);
        {
            auto db = QueueDatabase::open(folder, u"TQ3MAX.MDB"_s).value();
            const Configurazione config = db->configurazione().value();
            QCOMPARE(config.modoClient.value_or(0), 1);
            QCOMPARE(config.rhPort.toLongLong(), 5123);
            QStringList texts;
            for (const auto rows = db->deskServicesWaiting(u"10.1.2.3"_s).value(); const DeskServiceWaiting &row : rows)
                texts << row.servizioTesto;
            QVERIFY2(texts.contains(u"Attività Produttive"_s), qPrintable(texts.join(u", "_s)));
            for (const auto rows = db->activeServices().value(); const ActiveService &service : rows)
                QCOMPARE(contentOf(numberFilePath(folder, service.id)), QByteArray("1\r\n"));
        }
        QCOMPARE(contentOf(serverStateFilePath(folder)), QByteArray("\"False\"\r\n"));
        // A second create never overwrites the archive.
        const QString file = QueueDatabase::locate(folder)->filePath;
        const QByteArray before = contentOf(file);
        QVERIFY(create(folder) != 0);
        QCOMPARE(contentOf(file), before);
    }

private:
    // The stand-in's create, on the run's engine.
    int create(const QString &folder, QStringList options = {})
    {
        if (onPostgres())
            options << u"--postgres"_s << newPostgresDatabase();
        return QProcess::execute(m_standin, QStringList{u"create"_s, folder} + options);
    }
    const QString m_standin = QDir(binDir()).filePath(u"tq3-standin"_s);
    QTemporaryDir m_dir;
};

TQ3_ARCHIVE_TEST_MAIN(TestStandin)
#include "tst_queuedatabase_standin.moc"

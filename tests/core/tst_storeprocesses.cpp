// The store under real processes: a desk killed in the middle of a write,
// desks lowering one count together, a desk waiting for an archive that
// another holds. Numbers and tickets across eight desks are tst_calldesks'.

#include "core/store/CallFiles.h"
#include "core/store/FaultPoint.h"
#include "core/store/SettingsFile.h"

#include "CallArchive.h"
#include "TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class TestStoreProcesses final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The file's bytes after the process died at the point: the old or the new
    // content, whole and readable.
    void aWriteKilledAtAnyPointLeavesTheOldOrTheNewValue_data()
    {
        QTest::addColumn<QString>("point");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QStringList>("values");  // four: the settings; one: the number
        QTest::addColumn<QByteArray>("after");
        const QByteArray oldLine("\"C:\\Archivio\",\"Sportello 1\",\"10.0.0.1\",\"N\"\r\n");
        const QStringList newValues{u"D:\\Nuovo archivio"_s, u"Sportello 2"_s, u"10.0.0.2"_s, u"S"_s};
        const auto row = [](const char *tag, const char *point, const QByteArray &before, const QStringList &values,
                            const QByteArray &after) {
            QTest::newRow(tag) << QString::fromLatin1(point) << before << values << after;
        };
        row("settings killed with the temporary half written keep the old line", fault::kSettingsTempHalfWritten,
            oldLine, newValues, oldLine);
        row("settings killed with the temporary whole but not renamed keep the old line", fault::kSettingsTempWritten,
            oldLine, newValues, oldLine);
        row("settings killed right after the rename hold the new line", fault::kSettingsReplaced, oldLine, newValues,
            "\"D:\\Nuovo archivio\",\"Sportello 2\",\"10.0.0.2\",\"S\"\r\n");
        row("a number killed before the cut of a longer old record reads the new number", fault::kNumberWritten,
            "1000000\r\n", {u"7"_s}, "7\r\n0000\r\n");
        row("a number killed after the cut reads the new number", fault::kNumberTruncated, "1000000\r\n", {u"7"_s},
            "7\r\n");
    }

    void aWriteKilledAtAnyPointLeavesTheOldOrTheNewValue()
    {
        QFETCH(QString, point);
        QFETCH(QByteArray, before);
        QFETCH(QStringList, values);
        QFETCH(QByteArray, after);
        const bool settings = values.size() == 4;
        const QString folder = newFolder();
        QVERIFY(QDir().mkpath(folder + u"/NrAll"_s));
        const QString file = settings ? folder + u'/' + kSettingsFileName : numberFilePath(folder, 7);
        QVERIFY(writeFile(file, before));
        QProcess process;
        process.start(m_crasher, QStringList{point, settings ? u"settings"_s : u"number"_s, file} + values);
        QVERIFY2(process.waitForFinished(20000), qPrintable(process.errorString()));
        QCOMPARE(process.exitStatus(), QProcess::CrashExit);  // killed at the point, not ended by itself
        QCOMPARE(contentOf(file), after);
        if (settings) {
            QVERIFY(SettingsFile::load(file).ok());
        } else {  // the dead process's lock went with it
            Result<NumberFile> number = NumberFile::open(file, NumberFile::Mode::ExistingOnly, 2s);
            QVERIFY(number.ok());
            QCOMPARE(QString::number(number->read().value()), values.first());
        }
    }

    // More calls than waiting tickets: every lowering up to zero counts, none beyond.
    void concurrentLoweringsAddUpAndNeverPassZero()
    {
        const QString folder = newFolder();
        auto db = buildAndOpen(folder, [&](ArchiveBuilder &b) {
            return b.addService(4, u"Sociali"_s, true, 120).ok() && b.addService(5, u"Anagrafe"_s, true, 17).ok();
        });
        QVERIFY(db);
        const QString go = folder + u"/go"_s;
        const QStringList desk{u"lower"_s, folder, u"4"_s, u"50"_s, go};  // four desks, 50 calls each
        const RunTogether runs = runTogether(m_crasher, QList<QStringList>(4, desk), go);
        QVERIFY2(runs.overlapped, "the desks did not lower at the same time");
        int successes = 0;
        for (const DriverRun &run : runs.runs) {
            QCOMPARE(run.exitCode, 0);
            successes += run.lines.value(0).mid(8).toInt();
        }
        QCOMPARE(successes, 120);
        QCOMPARE(db->serviceWaiting(4).value()->toLongLong(), 0);
        QCOMPARE(db->serviceWaiting(5).value()->toLongLong(), 17);
    }

    void aDeskWaitsForALockHeldByAnotherUpToFiveSeconds_data()
    {
        QTest::addColumn<int>("heldMs");
        QTest::addColumn<QString>("message");  // null: the count was lowered
        QTest::newRow("a lock held for 0.7 s is waited for") << 700 << QString();
        QTest::newRow("a lock held for 6.5 s makes the archive busy") << 6500 << u"Archivio occupato, riprovare !"_s;
    }

    // The holder starts while this desk has a number file open: a program the
    // desk starts must not keep the file locked once the desk lets it go.
    void aDeskWaitsForALockHeldByAnotherUpToFiveSeconds()
    {
        QFETCH(int, heldMs);
        QFETCH(QString, message);
        const QString folder = newFolder();
        auto db = buildAndOpen(folder, [](ArchiveBuilder &b) { return b.addService(1, u"Anagrafe"_s, true, 2).ok(); });
        QVERIFY(db && QDir(folder).mkdir(u"NrAll"_s) && writeFile(numberFilePath(folder, 1), "41\r\n"));
        QProcess holder;
        holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        {
            const Result<NumberFile> open = NumberFile::open(numberFilePath(folder, 1), NumberFile::Mode::ExistingOnly);
            QVERIFY(open.ok());
            holder.start(m_crasher, {u"hold"_s, folder, QString::number(heldMs), folder + u"/ready"_s});
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(folder + u"/ready"_s), 10000);
        }
        QVERIFY2(NumberFile::open(numberFilePath(folder, 1), NumberFile::Mode::ExistingOnly, 0ms).ok(),
                 "the child process kept the number file locked");

        // Without the timeout this would fail at once ("database is locked"), or wait for ever.
        const Result<bool> lowered = db->lowerWaiting(1);
        QCOMPARE(lowered.ok() ? QString() : lowered.error().message, message);
        QVERIFY(holder.waitForFinished(20000));
        QCOMPARE(holder.exitCode(), 0);
        QCOMPARE(db->serviceWaiting(1).value()->toLongLong(), message.isNull() ? 1 : 2);
    }

private:
    QString newFolder() { return m_dir.filePath(QString::number(++m_folders)); }
    const QString m_crasher = QDir(binDir()).filePath(u"store_crasher"_s);
    QTemporaryDir m_dir;
    int m_folders = 0;
};

TQ3_ARCHIVE_TEST_MAIN(TestStoreProcesses)
#include "tst_storeprocesses.moc"

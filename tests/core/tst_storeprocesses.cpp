// The store files under real processes: a desk killed in the middle of a
// write, a desk holding a number file, several desks taking numbers at once.
// The lock between machines on a shared folder is the file system's and the
// operating system's, and is not exercised here.

#include "store/CallFiles.h"
#include "store/FaultPoint.h"
#include "store/RecordSyntax.h"
#include "store/SettingsFile.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <numeric>

using namespace tq3;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class TestStoreProcesses final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void aWriteKilledAtAnyPointLeavesTheOldOrTheNewValue_data();
    void aWriteKilledAtAnyPointLeavesTheOldOrTheNewValue();
    void aFileHeldByAnotherProcessIsInUseAndUntouched();
    void aKilledHolderLeavesTheFileFree();
    void aChildProcessStartedWhileTheFileIsOpenDoesNotKeepItLocked();
    void desksTakingNumbersTogetherGetEachNumberOnce();

private:
    QString numberPath() const { return numberFilePath(m_dir->path(), 7); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

namespace {

QString program(const QString &name)
{
    return QDir(test::binDir()).filePath(name);
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

void touch(const QString &path)
{
    writeFile(path, QByteArray());
}

} // namespace

void TestStoreProcesses::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkdir(u"NrAll"_s));
}

void TestStoreProcesses::aWriteKilledAtAnyPointLeavesTheOldOrTheNewValue_data()
{
    QTest::addColumn<QString>("point");
    QTest::addColumn<QString>("file");  // "settings" or "number"
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("readsAs");  // the desk name, or the number

    const QByteArray oldLine("\"C:\\Archivio\",\"Sportello 1\",\"10.0.0.1\",\"N\"\r\n");
    const QByteArray newLine("\"D:\\Nuovo archivio\",\"Sportello 2\",\"10.0.0.2\",\"S\"\r\n");
    const QStringList newValues{u"D:\\Nuovo archivio"_s, u"Sportello 2"_s, u"10.0.0.2"_s, u"S"_s};

    QTest::newRow("settings killed with the temporary half written keep the old line")
        << QString::fromLatin1(fault::kSettingsTempHalfWritten) << u"settings"_s << oldLine << newValues << oldLine
        << u"Sportello 1"_s;
    QTest::newRow("settings killed with the temporary whole but not renamed keep the old line")
        << QString::fromLatin1(fault::kSettingsTempWritten) << u"settings"_s << oldLine << newValues << oldLine
        << u"Sportello 1"_s;
    QTest::newRow("settings killed right after the rename hold the new line")
        << QString::fromLatin1(fault::kSettingsReplaced) << u"settings"_s << oldLine << newValues << newLine
        << u"Sportello 2"_s;
    QTest::newRow("a number killed before the cut of a longer old record reads the new number")
        << QString::fromLatin1(fault::kNumberWritten) << u"number"_s << QByteArray("1000000\r\n")
        << QStringList{u"7"_s} << QByteArray("7\r\n0000\r\n") << u"7"_s;
    QTest::newRow("a number killed before the cut of an old record as long reads the new number")
        << QString::fromLatin1(fault::kNumberWritten) << u"number"_s << QByteArray("41\r\n")
        << QStringList{u"42"_s} << QByteArray("42\r\n") << u"42"_s;
    QTest::newRow("a number killed after the cut reads the new number")
        << QString::fromLatin1(fault::kNumberTruncated) << u"number"_s << QByteArray("1000000\r\n")
        << QStringList{u"7"_s} << QByteArray("7\r\n") << u"7"_s;
}

void TestStoreProcesses::aWriteKilledAtAnyPointLeavesTheOldOrTheNewValue()
{
    QFETCH(QString, point);
    QFETCH(QString, file);
    QFETCH(QByteArray, before);
    QFETCH(QStringList, values);
    QFETCH(QByteArray, after);
    QFETCH(QString, readsAs);

    const bool settings = file == u"settings"_s;
    const QString path = settings ? m_dir->filePath(kSettingsFileName) : numberPath();
    writeFile(path, before);

    QProcess crasher;
    crasher.start(program(u"store_crasher"_s), QStringList{point, file, path} + values);
    QVERIFY2(crasher.waitForFinished(20000), qPrintable(crasher.errorString()));
    QCOMPARE(crasher.exitStatus(), QProcess::CrashExit);  // killed at the point, not ended by itself

    QCOMPARE(contentOf(path), after);
    if (settings) {
        const Result<SettingsFile> loaded = SettingsFile::load(path);
        QVERIFY(loaded.ok());
        QCOMPARE(loaded->nomePostazione, readsAs);
    } else {
        // The dead process's lock went with it.
        Result<NumberFile> number = NumberFile::open(path, NumberFile::Mode::ExistingOnly, 2s);
        QVERIFY(number.ok());
        const Result<qint32> read = number->read();
        QVERIFY(read.ok());
        QCOMPARE(QString::number(*read), readsAs);
    }
}

void TestStoreProcesses::aFileHeldByAnotherProcessIsInUseAndUntouched()
{
    writeFile(numberPath(), "41\r\n");
    const QString ready = m_dir->filePath(u"ready"_s);
    const QString release = m_dir->filePath(u"release"_s);
    QProcess holder;
    holder.start(program(u"numberfile_holder"_s), {numberPath(), ready, release});
    QVERIFY(holder.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(ready) || holder.state() == QProcess::NotRunning, 10000);
    QVERIFY2(QFileInfo::exists(ready), holder.readAllStandardError().constData());

    for (const NumberFile::Mode mode : {NumberFile::Mode::ExistingOnly, NumberFile::Mode::CreateIfMissing}) {
        const Result<NumberFile> second = NumberFile::open(numberPath(), mode, 200ms);
        QVERIFY(!second.ok());
        QCOMPARE(second.error().kind, ErrorKind::InUse);
    }
    QCOMPARE(contentOf(numberPath()), QByteArray("41\r\n"));

    touch(release);
    QVERIFY(holder.waitForFinished(10000));
    QCOMPARE(holder.exitStatus(), QProcess::NormalExit);
    QCOMPARE(holder.exitCode(), 0);
    Result<NumberFile> after = NumberFile::open(numberPath(), NumberFile::Mode::ExistingOnly, 0ms);
    QVERIFY(after.ok());
    QCOMPARE(*after->read(), 41);
}

void TestStoreProcesses::aKilledHolderLeavesTheFileFree()
{
    writeFile(numberPath(), "41\r\n");
    const QString ready = m_dir->filePath(u"ready"_s);
    QProcess holder;
    holder.start(program(u"numberfile_holder"_s), {numberPath(), ready, m_dir->filePath(u"never"_s)});
    QVERIFY(holder.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(ready) || holder.state() == QProcess::NotRunning, 10000);
    QVERIFY(QFileInfo::exists(ready));
    QVERIFY(!NumberFile::open(numberPath(), NumberFile::Mode::ExistingOnly, 0ms).ok());

    holder.kill();
    QVERIFY(holder.waitForFinished(10000));
    QVERIFY(NumberFile::open(numberPath(), NumberFile::Mode::ExistingOnly, 0ms).ok());
    QCOMPARE(contentOf(numberPath()), QByteArray("41\r\n"));
}

void TestStoreProcesses::aChildProcessStartedWhileTheFileIsOpenDoesNotKeepItLocked()
{
    writeFile(numberPath(), "41\r\n");
    const QString otherFile = numberFilePath(m_dir->path(), 8);
    writeFile(otherFile, "1\r\n");
    const QString ready = m_dir->filePath(u"ready"_s);
    const QString release = m_dir->filePath(u"release"_s);

    QProcess child;
    {
        Result<NumberFile> open = NumberFile::open(numberPath(), NumberFile::Mode::ExistingOnly, 0ms);
        QVERIFY(open.ok());
        // Any long-lived program will do: this one holds another file.
        child.start(program(u"numberfile_holder"_s), {otherFile, ready, release});
        QVERIFY(child.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(ready) || child.state() == QProcess::NotRunning, 10000);
    }
    const bool freed = NumberFile::open(numberPath(), NumberFile::Mode::ExistingOnly, 0ms).ok();
    touch(release);
    QVERIFY(child.waitForFinished(10000));
    QVERIFY2(freed, "the child process kept the number file locked");
}

void TestStoreProcesses::desksTakingNumbersTogetherGetEachNumberOnce()
{
    constexpr int kDesks = 4;
    constexpr int kNumbersEach = 200;
    constexpr qint32 kFirst = 990;  // the record grows from three digits to four on the way
    writeFile(numberPath(), record::numberRecord(kFirst));

    const QString go = m_dir->filePath(u"go"_s);
    std::vector<std::unique_ptr<QProcess>> desks;
    for (int desk = 0; desk < kDesks; ++desk) {
        auto process = std::make_unique<QProcess>();
        process->start(program(u"numberfile_taker"_s),
                       {numberPath(), go, QString::number(kNumbersEach), u"300"_s,
                        m_dir->filePath(u"report%1"_s.arg(desk))});
        QVERIFY(process->waitForStarted(10000));
        desks.push_back(std::move(process));
    }
    touch(go);  // the barrier: every desk is waiting for this file

    QList<qint32> taken;
    qint64 latestStart = 0;
    qint64 earliestEnd = std::numeric_limits<qint64>::max();
    for (int desk = 0; desk < kDesks; ++desk) {
        QProcess &process = *desks[static_cast<size_t>(desk)];
        QVERIFY(process.waitForFinished(60000));
        QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
                 process.readAllStandardError().constData());
        const QList<QByteArray> lines = contentOf(m_dir->filePath(u"report%1"_s.arg(desk))).split('\n');
        QCOMPARE(lines.size(), kNumbersEach + 2);  // the times, the numbers, the empty end
        const QList<QByteArray> times = lines.first().split(' ');
        QCOMPARE(times.size(), 2);
        latestStart = std::max(latestStart, times.at(0).toLongLong());
        earliestEnd = std::min(earliestEnd, times.at(1).toLongLong());
        for (qsizetype i = 1; i <= kNumbersEach; ++i)
            taken.append(lines.at(i).toInt());
    }
    // All desks were taking numbers at the same time.
    QVERIFY2(latestStart < earliestEnd,
             qPrintable(u"no overlap: last start %1 after first end %2"_s.arg(latestStart).arg(earliestEnd)));

    std::sort(taken.begin(), taken.end());
    QList<qint32> expected(kDesks * kNumbersEach);
    std::iota(expected.begin(), expected.end(), kFirst);
    QCOMPARE(taken, expected);
    QCOMPARE(contentOf(numberPath()), record::numberRecord(kFirst + kDesks * kNumbersEach));
}

QTEST_GUILESS_MAIN(TestStoreProcesses)
#include "tst_storeprocesses.moc"

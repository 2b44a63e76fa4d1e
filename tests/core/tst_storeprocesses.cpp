// The store files under real processes: a desk killed in the middle of a
// write, a desk holding a number file, several desks taking numbers at once.
// The lock between machines on a shared folder is the file system's and the
// operating system's, and is not exercised here.

#include "core/store/CallFiles.h"
#include "core/store/FaultPoint.h"
#include "core/store/RecordSyntax.h"
#include "core/store/SettingsFile.h"

#include "CallArchive.h"
#include "TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <numeric>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class TestStoreProcesses final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void aWriteKilledAtAnyPointLeavesTheOldOrTheNewValue_data();
    void aWriteKilledAtAnyPointLeavesTheOldOrTheNewValue();
    void aFileHeldByAnotherProcessIsInUseUntilItDies();
    void aChildProcessStartedWhileTheFileIsOpenDoesNotKeepItLocked();
    void desksTakingNumbersTogetherGetEachNumberOnce();

private:
    QString numberPath() const { return numberFilePath(m_dir->path(), 7); }
    QString path(const QString &name) const { return m_dir->filePath(name); }
    // A numberfile_desk holding `file` until the "release" file appears.
    void startHolder(QProcess &holder, const QString &file);
    std::unique_ptr<QTemporaryDir> m_dir;
};

namespace {

QString program(const QString &name)
{
    return QDir(binDir()).filePath(name);
}

} // namespace

void TestStoreProcesses::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkdir(u"NrAll"_s));
}

void TestStoreProcesses::startHolder(QProcess &holder, const QString &file)
{
    holder.start(program(u"numberfile_desk"_s), {u"hold"_s, file, path(u"ready"_s), path(u"release"_s)});
    QVERIFY(holder.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(path(u"ready"_s)) || holder.state() == QProcess::NotRunning, 10000);
    QVERIFY2(QFileInfo::exists(path(u"ready"_s)), holder.readAllStandardError().constData());
}

// The file's bytes after the process died at the point: the old or the new
// content, whole and readable.
void TestStoreProcesses::aWriteKilledAtAnyPointLeavesTheOldOrTheNewValue_data()
{
    QTest::addColumn<QString>("point");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QByteArray>("after");
    const QByteArray oldLine("\"C:\\Archivio\",\"Sportello 1\",\"10.0.0.1\",\"N\"\r\n");
    const QByteArray newLine("\"D:\\Nuovo archivio\",\"Sportello 2\",\"10.0.0.2\",\"S\"\r\n");
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
        newLine);
    row("a number killed before the cut of a longer old record reads the new number", fault::kNumberWritten,
        "1000000\r\n", {u"7"_s}, "7\r\n0000\r\n");
    row("a number killed after the cut reads the new number", fault::kNumberTruncated, "1000000\r\n", {u"7"_s},
        "7\r\n");
}

void TestStoreProcesses::aWriteKilledAtAnyPointLeavesTheOldOrTheNewValue()
{
    QFETCH(QString, point);
    QFETCH(QByteArray, before);
    QFETCH(QStringList, values);
    QFETCH(QByteArray, after);

    const bool settings = values.size() == 4;
    const QString file = settings ? path(kSettingsFileName) : numberPath();
    QVERIFY(writeFile(file, before));
    QProcess crasher;
    crasher.start(program(u"store_crasher"_s),
                  QStringList{point, settings ? u"settings"_s : u"number"_s, file} + values);
    QVERIFY2(crasher.waitForFinished(20000), qPrintable(crasher.errorString()));
    QCOMPARE(crasher.exitStatus(), QProcess::CrashExit);  // killed at the point, not ended by itself

    QCOMPARE(contentOf(file), after);
    if (settings) {
        QVERIFY(SettingsFile::load(file).ok());
    } else {
        // The dead process's lock went with it.
        Result<NumberFile> number = NumberFile::open(file, NumberFile::Mode::ExistingOnly, 2s);
        QVERIFY(number.ok());
        QCOMPARE(QString::number(number->read().value()), values.first());
    }
}

void TestStoreProcesses::aFileHeldByAnotherProcessIsInUseUntilItDies()
{
    QVERIFY(writeFile(numberPath(), "41\r\n"));
    QProcess holder;
    startHolder(holder, numberPath());

    for (const NumberFile::Mode mode : {NumberFile::Mode::ExistingOnly, NumberFile::Mode::CreateIfMissing}) {
        const auto started = std::chrono::steady_clock::now();
        const Result<NumberFile> second = NumberFile::open(numberPath(), mode, 200ms);
        QVERIFY(std::chrono::steady_clock::now() - started >= 200ms);  // it retried for its patience
        QVERIFY(!second.ok());
        QCOMPARE(second.error().kind, ErrorKind::InUse);
        QCOMPARE(second.error().message, u"File del numero in uso da un'altra postazione !Riprovare !"_s);
    }
    QCOMPARE(contentOf(numberPath()), QByteArray("41\r\n"));

    holder.kill();
    QVERIFY(holder.waitForFinished(10000));
    QVERIFY(NumberFile::open(numberPath(), NumberFile::Mode::ExistingOnly, 0ms).ok());
    QCOMPARE(contentOf(numberPath()), QByteArray("41\r\n"));
}

void TestStoreProcesses::aChildProcessStartedWhileTheFileIsOpenDoesNotKeepItLocked()
{
    QVERIFY(writeFile(numberPath(), "41\r\n"));
    QVERIFY(writeFile(numberFilePath(m_dir->path(), 8), "1\r\n"));
    QProcess child;
    {
        Result<NumberFile> open = NumberFile::open(numberPath(), NumberFile::Mode::ExistingOnly, 0ms);
        QVERIFY(open.ok());
        startHolder(child, numberFilePath(m_dir->path(), 8));  // any long-lived program will do
    }
    const bool freed = NumberFile::open(numberPath(), NumberFile::Mode::ExistingOnly, 0ms).ok();
    QVERIFY(writeFile(path(u"release"_s)));
    QVERIFY(child.waitForFinished(10000));
    QVERIFY2(freed, "the child process kept the number file locked");
}

void TestStoreProcesses::desksTakingNumbersTogetherGetEachNumberOnce()
{
    constexpr int kDesks = 4;
    constexpr int kNumbersEach = 200;
    constexpr qint32 kFirst = 990;  // the record grows from three digits to four on the way
    QVERIFY(writeFile(numberPath(), record::numberRecord(kFirst)));

    QList<QStringList> arguments;
    for (int desk = 0; desk < kDesks; ++desk)
        arguments << QStringList{u"take"_s, numberPath(), path(u"go"_s), QString::number(kNumbersEach), u"300"_s};
    const RunTogether runs = runTogether(program(u"numberfile_desk"_s), arguments, path(u"go"_s));
    QVERIFY2(runs.overlapped, "the desks did not take numbers at the same time");
    QList<qint32> taken;
    for (const DriverRun &run : runs.runs) {
        QCOMPARE(run.exitCode, 0);
        for (const QString &number : run.lines)
            taken << number.toInt();
    }

    std::sort(taken.begin(), taken.end());
    QList<qint32> expected(kDesks * kNumbersEach);
    std::iota(expected.begin(), expected.end(), kFirst);
    QCOMPARE(taken, expected);
    QCOMPARE(contentOf(numberPath()), record::numberRecord(kFirst + kDesks * kNumbersEach));
}

QTEST_GUILESS_MAIN(TestStoreProcesses)
#include "tst_storeprocesses.moc"

// The files a desk writes for itself: the call history, one line per call,
// and its log, kept under a cap.

#include "core/calls/CallHistory.h"
#include "core/log/Log.h"

#include "CallArchive.h"

#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace tq3;
using namespace Qt::StringLiterals;

class TestDeskFiles final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fileNameNeverLeavesTheFolder_data();
    void fileNameNeverLeavesTheFolder();
    void minutesSincePreviousCall_data();
    void minutesSincePreviousCall();
    void appendsOneLinePerCallAcrossOpenings();
    void fileFailureIsReportedOnceAndTheCallGoesOn_data();
    void fileFailureIsReportedOnceAndTheCallGoesOn();
    void logStaysUnderItsCapKeepingOneOlderFile();
};

void TestDeskFiles::fileNameNeverLeavesTheFolder_data()
{
    QTest::addColumn<QString>("desk");
    QTest::addColumn<QString>("expected");
    QTest::newRow("a plain desk name is kept with its blank and accents")
        << u"Sportello è"_s << u"Cronologia-Sportello è.txt"_s;
    QTest::newRow("every character a Windows file name refuses becomes an underscore")
        << u"a\\b/c:d*e?f\"g<h>i|j"_s << u"Cronologia-a_b_c_d_e_f_g_h_i_j.txt"_s;
    QTest::newRow("control characters become underscores")
        << u"A\tB\nC"_s + QChar(0x7f) << u"Cronologia-A_B_C_.txt"_s;
}

void TestDeskFiles::fileNameNeverLeavesTheFolder()
{
    QFETCH(QString, desk);
    QFETCH(QString, expected);
    QCOMPARE(historyFileName(desk), expected);
}

void TestDeskFiles::minutesSincePreviousCall_data()
{
    QTest::addColumn<QTime>("previous");  // the console's last call in the run
    QTest::addColumn<QList<QTime>>("calls");
    QTest::addColumn<QList<qint32>>("expected");
    QTest::newRow("a call at exactly 00.00 makes the next call count 0 again")
        << QTime(23, 50) << QList<QTime>{QTime(0, 0, 30), QTime(0, 7)} << QList<qint32>{-1430, 0};
    QTest::newRow("the first call of the run counts 0, and seconds are dropped before counting")
        << QTime() << QList<QTime>{QTime(8, 0, 59), QTime(8, 1, 0)} << QList<qint32>{0, 1};
}

void TestDeskFiles::minutesSincePreviousCall()
{
    QFETCH(QTime, previous);
    QFETCH(QList<QTime>, calls);
    QFETCH(QList<qint32>, expected);
    QTemporaryDir dir;
    test::ManualClock clock;
    CallHistory history(clock);
    history.open(u"Sportello 1"_s, dir.path());
    QList<qint32> minutes;
    for (const QTime &t : calls) {
        clock.setTime(t);
        minutes << history.record(1, u"Anagrafe"_s, previous).minutes;
    }
    QCOMPARE(minutes, expected);
    QVERIFY(!history.failureToReport());
}

// A double quote written as an apostrophe, a line break never splitting the
// line, an accented letter as its Windows-1252 byte; earlier lines are kept.
// Midnight and reopening are tst_form1's, through the console.
void TestDeskFiles::appendsOneLinePerCallAcrossOpenings()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"Cronologia-Sportello 1.txt"_s);
    const QByteArray old("\"1\",\"08.00\",\"04/12/2026\",0,\"Anagrafe\"\r\n");
    QVERIFY(test::writeFile(path, old));
    test::ManualClock clock;
    CallHistory history(clock);
    QTime last;
    history.open(u"Sportello 1"_s, dir.path());
    history.record(7, u"Ufficio \"Tributi\""_s, last);
    history.record(1234, u"Attività\r\nnascite"_s, last);
    history.close();
    QCOMPARE(test::readFile(path), old + "\"7\",\"14.05\",\"05/12/2026\",0,\"Ufficio 'Tributi'\"\r\n"
                                         "\"1234\",\"14.05\",\"05/12/2026\",0,\"Attivit\xe0  nascite\"\r\n");
}

void TestDeskFiles::fileFailureIsReportedOnceAndTheCallGoesOn_data()
{
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<QString>("message");
    QTest::newRow("a file that cannot be opened") << false << u"Impossibile aprire il file della cronologia !"_s;
    QTest::newRow("a file that cannot be written") << true << u"Impossibile scrivere il file della cronologia !"_s;
}

void TestDeskFiles::fileFailureIsReportedOnceAndTheCallGoesOn()
{
    QFETCH(bool, diskFull);
    QFETCH(QString, message);
    QTemporaryDir dir;
    if (diskFull) {  // appending opens, every write fails
        QVERIFY(QFile::link(u"/dev/full"_s, dir.filePath(u"Cronologia-Sportello 1.txt"_s)));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"sequential device"_s));
    }
    test::ManualClock clock;
    CallHistory history(clock);
    QTime last;
    history.open(u"Sportello 1"_s, diskFull ? dir.path() : dir.filePath(u"no-such-folder"_s));
    QCOMPARE(history.record(7, u"Anagrafe"_s, last).number, 7);
    QCOMPARE(last, QTime(14, 5));
    QCOMPARE(history.failureToReport().value_or(Error{ErrorKind::Io, {}, {}}).message, message);
    history.record(8, u"Anagrafe"_s, last);
    QVERIFY(!history.failureToReport());
}

void TestDeskFiles::logStaysUnderItsCapKeepingOneOlderFile()
{
    auto stop = qScopeGuard([] { stopLog(); });
    QTemporaryDir folder;
    const auto read = [&](const QString &name) {
        QFile file(folder.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    constexpr qint64 cap = 400;  // about seven lines
    startLog(folder.path(), cap);
    for (int i = 0; i < 20; ++i)
        qCWarning(lcOperator, "line %02d", i);

    const QByteArray older = read(kLogFileName + u".1"_s);
    const QByteArray current = read(kLogFileName);
    QVERIFY(!older.isEmpty() && older.size() <= cap && !current.isEmpty() && current.size() <= cap);
    QVERIFY(!QFile::exists(folder.filePath(kLogFileName + u".2"_s)));
    // The newest lines, whole and in order across the two files; the first file is gone.
    const QByteArrayList kept = (older + current).trimmed().split('\n');
    QVERIFY(kept.size() < 20);
    for (qsizetype i = 0; i < kept.size(); ++i)
        QVERIFY(kept.at(i).endsWith(" warning tq3.operator: line "
                                    + QByteArray::number(20 - kept.size() + i).rightJustified(2, '0')));
}

QTEST_GUILESS_MAIN(TestDeskFiles)
#include "tst_deskfiles.moc"

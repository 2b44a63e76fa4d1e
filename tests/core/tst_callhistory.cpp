#include "console/CallHistory.h"

#include "automatic_Clock.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace tq3;

class TestCallHistory final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lineBytes_data();
    void lineBytes();
    void fileNameSanitising_data();
    void fileNameSanitising();
    void minutesSincePreviousCall_data();
    void minutesSincePreviousCall();
    void appendsOneLinePerCallAcrossOpenings();
    void unopenableFileIsReportedOnceAndTheCallGoesOn();
    void failedWriteIsReportedOnce();
};

void TestCallHistory::lineBytes_data()
{
    QTest::addColumn<qint32>("number");
    QTest::addColumn<qint32>("minutes");
    QTest::addColumn<QString>("service");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("a plain call has quoted texts and a bare minute count")
        << 7 << 3 << QStringLiteral("Anagrafe")
        << QByteArray("\"7\",\"14.05\",\"05/12/2026\",3,\"Anagrafe\"\r\n");
    QTest::newRow("a count across midnight keeps its minus sign")
        << 1234 << -1435 << QStringLiteral("Anagrafe")
        << QByteArray("\"1234\",\"14.05\",\"05/12/2026\",-1435,\"Anagrafe\"\r\n");
    QTest::newRow("a double quote in the service is written as an apostrophe")
        << 7 << 0 << QStringLiteral("Ufficio \"Tributi\"")
        << QByteArray("\"7\",\"14.05\",\"05/12/2026\",0,\"Ufficio 'Tributi'\"\r\n");
    QTest::newRow("a comma in the service stays inside its quotes")
        << 7 << 0 << QStringLiteral("Stato civile, nascite")
        << QByteArray("\"7\",\"14.05\",\"05/12/2026\",0,\"Stato civile, nascite\"\r\n");
    QTest::newRow("a line break in the service never splits the line")
        << 7 << 0 << QStringLiteral("Ana\r\ngrafe")
        << QByteArray("\"7\",\"14.05\",\"05/12/2026\",0,\"Ana  grafe\"\r\n");
    QTest::newRow("an accented service name is written as its single byte")
        << 7 << 0 << QStringLiteral("Attività")
        << QByteArray("\"7\",\"14.05\",\"05/12/2026\",0,\"Attivit\xe0\"\r\n");
}

void TestCallHistory::lineBytes()
{
    QFETCH(qint32, number);
    QFETCH(qint32, minutes);
    QFETCH(QString, service);
    QFETCH(QByteArray, expected);
    HistoryRow row;
    row.number = number;
    row.time = QStringLiteral("14.05");
    row.date = QStringLiteral("05/12/2026");
    row.minutes = minutes;
    row.service = service;
    QCOMPARE(CallHistory::fileLine(row), expected);
}

void TestCallHistory::fileNameSanitising_data()
{
    QTest::addColumn<QString>("desk");
    QTest::addColumn<QString>("expected");

    QTest::newRow("a plain desk name is kept with its blank")
        << QStringLiteral("Sportello 1") << QStringLiteral("Cronologia-Sportello 1.txt");
    QTest::newRow("a slash cannot lead into another folder")
        << QStringLiteral("../../etc/x") << QStringLiteral("Cronologia-.._.._etc_x.txt");
    QTest::newRow("every character a Windows file name refuses becomes an underscore")
        << QStringLiteral("a\\b/c:d*e?f\"g<h>i|j") << QStringLiteral("Cronologia-a_b_c_d_e_f_g_h_i_j.txt");
    QTest::newRow("control characters become underscores")
        << QStringLiteral("A\tB\nC") + QChar(0x7f) << QStringLiteral("Cronologia-A_B_C_.txt");
    QTest::newRow("accented letters are kept") << QStringLiteral("Cassa è") << QStringLiteral("Cronologia-Cassa è.txt");
}

void TestCallHistory::fileNameSanitising()
{
    QFETCH(QString, desk);
    QFETCH(QString, expected);
    QCOMPARE(historyFileName(desk), expected);
}

void TestCallHistory::minutesSincePreviousCall_data()
{
    QTest::addColumn<QTime>("previous");   // the console's last call in the run
    QTest::addColumn<QList<QTime>>("calls");
    QTest::addColumn<QList<qint32>>("expected");

    QTest::newRow("the first call of the run counts 0 and the next counts from it")
        << QTime() << QList<QTime>{QTime(9, 5), QTime(9, 8, 59)} << QList<qint32>{0, 3};
    QTest::newRow("calls at 23.58 and then 00.03 give -1435 for the second")
        << QTime() << QList<QTime>{QTime(23, 58), QTime(0, 3)} << QList<qint32>{0, -1435};
    QTest::newRow("a call at exactly 00.00 makes the next call count 0 again")
        << QTime(23, 50) << QList<QTime>{QTime(0, 0, 30), QTime(0, 7)} << QList<qint32>{-1430, 0};
    QTest::newRow("two calls in the same minute give 0 for the second")
        << QTime() << QList<QTime>{QTime(10, 15, 1), QTime(10, 15, 59)} << QList<qint32>{0, 0};
    QTest::newRow("the first call after reopening counts from the last call before closing")
        << QTime(11, 0) << QList<QTime>{QTime(11, 42)} << QList<qint32>{42};
    QTest::newRow("seconds are dropped before counting")
        << QTime() << QList<QTime>{QTime(8, 0, 59), QTime(8, 1, 0)} << QList<qint32>{0, 1};
}

void TestCallHistory::minutesSincePreviousCall()
{
    QFETCH(QTime, previous);
    QFETCH(QList<QTime>, calls);
    QFETCH(QList<qint32>, expected);

    QTemporaryDir dir;
    test::AutomaticClock clock;
    CallHistory history(clock);
    history.open(QStringLiteral("Sportello 1"), dir.path());
    QTime last = previous;
    QList<qint32> minutes;
    for (const QTime &t : calls) {
        clock.setTime(t);
        minutes << history.record(1, QStringLiteral("Anagrafe"), last).minutes;
        QCOMPARE(last, QTime(t.hour(), t.minute()));
    }
    QCOMPARE(minutes, expected);
    QVERIFY(!history.failureToReport());
}

void TestCallHistory::appendsOneLinePerCallAcrossOpenings()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Cronologia-Sportello 1.txt"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("\"1\",\"08.00\",\"04/12/2026\",0,\"Anagrafe\"\r\n");
    }
    test::AutomaticClock clock(QDateTime(QDate(2026, 12, 5), QTime(9, 5, 30)));
    CallHistory history(clock);
    QTime last;
    history.open(QStringLiteral("Sportello 1"), dir.path());
    QVERIFY(history.isOpen());
    const HistoryRow row = history.record(7, QStringLiteral("Anagrafe"), last);
    QCOMPARE(row.time, QStringLiteral("09.05"));
    QCOMPARE(row.date, QStringLiteral("05/12/2026"));
    history.close();
    QVERIFY(!history.isOpen());

    clock.set(QDateTime(QDate(2026, 12, 6), QTime(9, 9)));
    history.open(QStringLiteral("Sportello 1"), dir.path());
    history.record(8, QStringLiteral("Tributi"), last);
    history.close();

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(),
             QByteArray("\"1\",\"08.00\",\"04/12/2026\",0,\"Anagrafe\"\r\n"
                        "\"7\",\"09.05\",\"05/12/2026\",0,\"Anagrafe\"\r\n"
                        "\"8\",\"09.09\",\"06/12/2026\",4,\"Tributi\"\r\n"));
}

void TestCallHistory::unopenableFileIsReportedOnceAndTheCallGoesOn()
{
    QTemporaryDir dir;
    test::AutomaticClock clock;
    CallHistory history(clock);
    QTime last;
    history.open(QStringLiteral("Sportello 1"), dir.filePath(QStringLiteral("no-such-folder")));
    QVERIFY(!history.isOpen());
    const HistoryRow row = history.record(7, QStringLiteral("Anagrafe"), last);
    QCOMPARE(row.number, 7);
    QCOMPARE(last, QTime(14, 5));
    const std::optional<Error> failure = history.failureToReport();
    QVERIFY(failure);
    QCOMPARE(failure->message, QStringLiteral("Impossibile aprire il file della cronologia !"));
    history.record(8, QStringLiteral("Anagrafe"), last);
    QVERIFY(!history.failureToReport());

    // A new opening that works reports nothing.
    history.open(QStringLiteral("Sportello 1"), dir.path());
    QVERIFY(history.isOpen());
    QVERIFY(!history.failureToReport());
}

void TestCallHistory::failedWriteIsReportedOnce()
{
    QTemporaryDir dir;
    // A full disk: appending opens, every write fails.
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), dir.filePath(QStringLiteral("Cronologia-Pieno.txt"))));
    test::AutomaticClock clock;
    CallHistory history(clock);
    QTime last;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("sequential device")));
    history.open(QStringLiteral("Pieno"), dir.path());
    QVERIFY(history.isOpen());
    QVERIFY(!history.failureToReport());
    history.record(7, QStringLiteral("Anagrafe"), last);
    const std::optional<Error> failure = history.failureToReport();
    QVERIFY(failure);
    QCOMPARE(failure->message, QStringLiteral("Impossibile scrivere il file della cronologia !"));
    history.record(8, QStringLiteral("Anagrafe"), last);
    QVERIFY(!history.failureToReport());
}

QTEST_GUILESS_MAIN(TestCallHistory)
#include "tst_callhistory.moc"

// The text files byte for byte: the loose record syntax and its code page,
// the number files, the desk's settings file, its call history and its log
// with their cap. Killed writes are tst_storeprocesses'; the messages of
// empty, missing or unreadable files are shown through the calls
// (tst_calldesks, tst_badinput) and the launcher (tst_lamain).

#include "core/calls/CallHistory.h"
#include "core/log/Log.h"
#include "core/store/CallFiles.h"
#include "core/store/RecordSyntax.h"
#include "core/store/SettingsFile.h"
#include "core/store/Text1252.h"

#include "CallArchive.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(std::optional<qint32>)

namespace {

QStringList readAll(const QByteArray &bytes)
{
    record::FieldReader reader(bytes);
    QStringList fields;
    while (std::optional<QString> field = reader.next())
        fields.append(*field);
    return fields;
}

constexpr std::optional<qint32> kNaN = std::nullopt;
constexpr qint32 kMax = std::numeric_limits<qint32>::max();

} // namespace

class TestStoreFiles final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid() && QDir(m_dir->path()).mkdir(u"NrAll"_s));
    }

    // Every field the reader finds, and the first one taken as a number.
    void readsLooseRecords_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<std::optional<qint32>>("firstAsNumber");
        const auto row = [](const char *name, const QByteArray &bytes, const QStringList &fields,
                            std::optional<qint32> number = kNaN) { QTest::newRow(name) << bytes << fields << number; };
        row("a settings line reads as four fields", "\"C:\\Arch\",\"Sportello 1\",\"10.0.0.5\",\"S\"\r\n",
            {u"C:\\Arch"_s, u"Sportello 1"_s, u"10.0.0.5"_s, u"S"_s});
        row("LF-only and lone CR lines separate fields too", "\"a\"\n\"b\"\rc", {u"a"_s, u"b"_s, u"c"_s});
        row("a comma closing a line joins the record to the next", "\"a\",\r\n\"b\"", {u"a"_s, u"b"_s});
        row("blanks and tabs before a field and after an unquoted one are dropped", "  \t\"a\",   b  \r\n",
            {u"a"_s, u"b"_s});
        row("a quoted field holds commas and runs over a line end", "\"a,b\r\nc\",d", {u"a,b\r\nc"_s, u"d"_s});
        row("a blank line is one empty field", "a\r\n\r\nb\r\n", {u"a"_s, QString(), u"b"_s});
        row("empty data has no field", "", {});
        row("a number file cut short before its truncation reads the new number", "7\r\n00\r\n", {u"7"_s, u"00"_s}, 7);
        row("a plus sign and leading zeros", "+007", {u"+007"_s}, 7);
        row("the 32-bit maximum", "2147483647", {u"2147483647"_s}, kMax);
        row("the 32-bit minimum", "-2147483648", {u"-2147483648"_s}, -kMax - 1);
        row("one past the 32-bit maximum is no number", "2147483648", {u"2147483648"_s});
        row("an empty field is no number, never zero", ",", {QString()});
    }

    void readsLooseRecords()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, fields);
        QFETCH(std::optional<qint32>, firstAsNumber);
        QCOMPARE(readAll(bytes), fields);
        if (!fields.isEmpty())
            QCOMPARE(record::toNumber(fields.first()), firstAsNumber);
    }

    void writesRecordsByteForByte()
    {
        QCOMPARE(record::numberRecord(-42), QByteArray("-42\r\n"));
        QCOMPARE(record::quotedRecord({u"C:\\Arch"_s, u"Sì"_s, u""_s, u"N"_s}),
                 QByteArray("\"C:\\Arch\",\"S\xec\",\"\",\"N\"\r\n"));
        const QStringList values{u"Ufficio, piano 2"_s, u"  x  "_s, QString(), u"Città €"_s};
        QCOMPARE(readAll(record::quotedRecord(values)), values);
        // Text the code page holds round-trips; any other character goes out as one '?'.
        const QString held = u"Sì già € “–”"_s;
        QCOMPARE(cp1252::encodeExact(held), QByteArray("S\xec gi\xe0 \x80 \x93\x96\x94"));
        QCOMPARE(cp1252::decode(*cp1252::encodeExact(held)), held);
        QVERIFY(cp1252::canHold(held) && !cp1252::canHold(u"Łódź"_s) && !cp1252::encodeExact(u"Łódź"_s));
        QCOMPARE(cp1252::encodeLossy(u"Łódź a😀b"_s + QChar(0xd800)), QByteArray("?\xf3""d? a?b?"));
        // The number after the largest has none, and says so.
        QCOMPARE(*successor(kMax - 1), kMax);
        QCOMPARE(successor(kMax).error().message,
                 u"Numero massimo raggiunto !Azzerare la numerazione del servizio !"_s);
    }

    // Under one open: the number read (or none), then 7 written over the old
    // record, cut to its length. A missing file (null bytes) is created.
    void readsThenWritesTheNumberRecord_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<std::optional<qint32>>("read");
        QTest::newRow("a longer old record is cut away") << QByteArray("1000000\r\n") << std::optional(1000000);
        QTest::newRow("a shorter one without its line end grows") << QByteArray("99") << std::optional(99);
        QTest::newRow("a missing file is created, holding no number") << QByteArray() << kNaN;
    }

    void readsThenWritesTheNumberRecord()
    {
        QFETCH(QByteArray, before);
        QFETCH(std::optional<qint32>, read);
        const QString file = numberFilePath(m_dir->path(), 12);
        QVERIFY(before.isNull() || writeFile(file, before));
        {
            const auto mode = before.isNull() ? NumberFile::Mode::CreateIfMissing : NumberFile::Mode::ExistingOnly;
            Result<NumberFile> opened = NumberFile::open(file, mode, 0ms);
            QVERIFY(opened.ok());
            const Result<qint32> number = opened->read();
            QCOMPARE(number ? std::optional(*number) : std::nullopt, read);
            QCOMPARE(number ? QString() : number.error().message,
                     read ? QString() : u"Il file del numero del servizio non contiene un numero !"_s);
            QVERIFY(opened->write(7).ok());
        }
        QCOMPARE(contentOf(file), QByteArray("7\r\n"));
    }

    // Over a longer file whose fields after the fourth, and further lines,
    // are not read: saved byte for byte, or refused when a value would not
    // read back, the file left as it was.
    void settingsAreSavedByteForByteOrRefused_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");  // null: saved
        QTest::newRow("a desk name with an accent is saved") << 1 << u"Sportello Città 2"_s << QString();
        QTest::newRow("a desk name with a double quote") << 1 << u"Lo \"sportello\""_s
                                                         << u"Le virgolette (\") non sono ammesse !"_s;
        QTest::newRow("an archive folder with a line break") << 0 << u"C:\\A\r\nB"_s
                                                            << u"Il testo deve stare su una sola riga !"_s;
        QTest::newRow("an emoji in the second-screen field") << 3 << u"S😀"_s << u"Il carattere «😀» non è ammesso !"_s;
        // Found by fuzz_settingsfile: DE 9E is UTF-8 too, so the file would be read as UTF-8.
        QTest::newRow("a server address whose bytes read as UTF-8") << 2 << u"NÞžC"_s << u"Testo non ammesso !"_s;
        QTest::newRow("a NUL, which would make the file look like UTF-16") << 0 << u"\0\0"_s
                                                                          << u"Caratteri di controllo non ammessi !"_s;
    }

    void settingsAreSavedByteForByteOrRefused()
    {
        QFETCH(int, field);
        QFETCH(QString, value);
        QFETCH(QString, message);
        const QString file = path(kSettingsFileName);
        const QByteArray before = "\"\\\\srv\\A\",\"Uno\",\"10.0.0.1\",\"N\",\"extra\"\r\n" + QByteArray(5000, 'x');
        QVERIFY(writeFile(file, before));
        QCOMPARE(SettingsFile::load(file).value(), (SettingsFile{u"\\\\srv\\A"_s, u"Uno"_s, u"10.0.0.1"_s, u"N"_s}));
        QStringList f{u"C:\\A"_s, u"Due"_s, u"10.0.0.2"_s, u"S"_s};
        f[field] = value;
        const Result<void> storable = SettingsFile::checkStorable(value);
        QCOMPARE(storable ? QString() : storable.error().message, message);
        const Result<void> saved = SettingsFile{f[0], f[1], f[2], f[3]}.save(file);
        QCOMPARE(saved ? QString() : saved.error().message, message);
        QVERIFY(saved || saved.error().kind == ErrorKind::Unrepresentable);
        const QByteArray line("\"C:\\A\",\"Sportello Citt\xe0 2\",\"10.0.0.2\",\"S\"\r\n");
        QCOMPARE(contentOf(file), message.isNull() ? line : before);
        QCOMPARE(filesLeft(), (QStringList{u"NrAll"_s, kSettingsFileName}));  // no temporary left beside it
    }

    // The file name keeps blanks and accents, any other character a Windows file
    // name refuses becomes '_'. In a line a double quote is written as an
    // apostrophe, a line break as a blank, an accented letter as its
    // Windows-1252 byte; minutes count from the previous call with seconds dropped,
    // across midnight too, and a call at exactly 00.00 is no previous call.
    void historyAppendsOneLinePerCall()
    {
        const QString file = path(u"Cronologia-Sportello è a_b_c_d_e_f_g_h_i_j__.txt"_s);
        const QByteArray old("\"1\",\"08.00\",\"04/12/2026\",0,\"Anagrafe\"\r\n");
        QVERIFY(writeFile(file, old));
        ManualClock clock;
        CallHistory history(clock);
        QTime last;
        history.open(u"Sportello è a\\b/c:d*e?f\"g<h>i|j\t"_s + QChar(0x7f), m_dir->path());
        for (const auto &[time, number, service] :
             {std::tuple{QTime(14, 5, 59), 7, u"Ufficio \"Tributi\""_s}, {QTime(14, 7), 1234, u"Attività\r\nnascite"_s},
              {QTime(0, 0, 30), 8, u"Anagrafe"_s}, {QTime(0, 7), 9, u"Anagrafe"_s}}) {
            clock.setTime(time);
            history.record(number, service, last);
        }
        QCOMPARE(last, QTime(0, 7));
        history.close();
        QCOMPARE(readFile(file), old + "\"7\",\"14.05\",\"05/12/2026\",0,\"Ufficio 'Tributi'\"\r\n"
                                     "\"1234\",\"14.07\",\"05/12/2026\",2,\"Attivit\xe0  nascite\"\r\n"
                                     "\"8\",\"00.00\",\"05/12/2026\",-847,\"Anagrafe\"\r\n"
                                     "\"9\",\"00.07\",\"05/12/2026\",0,\"Anagrafe\"\r\n");
        QVERIFY(!history.failureToReport());
    }

    void logStaysUnderItsCapKeepingOneOlderFile()
    {
        auto stop = qScopeGuard([] { stopLog(); });
        constexpr qint64 cap = 400;  // about seven lines
        startLog(m_dir->path(), cap);
        for (int i = 0; i < 20; ++i)
            qCWarning(lcOperator, "line %02d", i);

        const QByteArray older = contentOf(path(kLogFileName + u".1"_s));
        const QByteArray current = contentOf(path(kLogFileName));
        QVERIFY(older.size() > 100 && older.size() <= cap && current.size() > 0 && current.size() <= cap);
        QVERIFY(!QFile::exists(path(kLogFileName + u".2"_s)));
        // The newest lines, whole and in order across the two files; the first file is gone.
        const QByteArrayList kept = (older + current).trimmed().split('\n');
        QVERIFY(kept.size() < 20);
        for (qsizetype i = 0; i < kept.size(); ++i)
            QVERIFY(kept.at(i).endsWith(" warning tq3.operator: line "
                                        + QByteArray::number(20 - kept.size() + i).rightJustified(2, '0')));
    }

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList filesLeft() const { return QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestStoreFiles)
#include "tst_storefiles.moc"

#include "core/store/RecordSyntax.h"
#include "core/store/Text1252.h"

#include <QTest>

#include <limits>

using namespace tq3;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(std::optional<qint32>)

class TestRecordSyntax final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsLooseRecords_data();
    void readsLooseRecords();
    void writesRecordsByteForByte();
    void codePageRoundTrips_data();
    void codePageRoundTrips();
};

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
constexpr qint32 kMin = std::numeric_limits<qint32>::min();

} // namespace

// Every field the reader finds, and the first one taken as a number.
void TestRecordSyntax::readsLooseRecords_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<std::optional<qint32>>("firstAsNumber");
    const auto row = [](const char *name, const QByteArray &bytes, const QStringList &fields,
                        std::optional<qint32> number) { QTest::newRow(name) << bytes << fields << number; };

    row("a settings line reads as four fields", "\"C:\\Arch\",\"Sportello 1\",\"10.0.0.5\",\"S\"\r\n",
        {u"C:\\Arch"_s, u"Sportello 1"_s, u"10.0.0.5"_s, u"S"_s}, kNaN);
    row("a number record reads as its number", "42\r\n", {u"42"_s}, 42);
    row("LF-only and lone CR lines separate fields too", "\"a\"\n\"b\"\rc", {u"a"_s, u"b"_s, u"c"_s}, kNaN);
    row("fields continue on the next line", "\"a\",\"b\"\r\n\"c\"", {u"a"_s, u"b"_s, u"c"_s}, kNaN);
    row("a comma closing a line joins the record to the next", "\"a\",\r\n\"b\"", {u"a"_s, u"b"_s}, kNaN);
    row("text after the closing quote is ignored", "\"a\"xyz,\"b\"  \r\n", {u"a"_s, u"b"_s}, kNaN);
    row("leading blanks and tabs are skipped", "  \t\"a\",   b", {u"a"_s, u"b"_s}, kNaN);
    row("trailing blanks of an unquoted field are dropped", "False  \r\n", {u"False"_s}, kNaN);
    row("a comma inside quotes belongs to the field", "\"a,b\",c", {u"a,b"_s, u"c"_s}, kNaN);
    row("a quoted field runs over a line end to the next quote", "\"a\r\nb\",c", {u"a\r\nb"_s, u"c"_s}, kNaN);
    row("an unclosed quote runs to the end of the data", "\"a\",\"Sporte", {u"a"_s, u"Sporte"_s}, kNaN);
    row("a blank line is one empty field", "a\r\n\r\nb\r\n", {u"a"_s, QString(), u"b"_s}, kNaN);
    row("empty data has no field", "", {}, kNaN);
    row("Windows-1252 bytes are decoded", "\"S\xec\",\"gi\xe0\",\"\x80\"", {u"Sì"_s, u"già"_s, u"€"_s}, kNaN);
    row("a number file cut short before its truncation reads the new number", "7\r\n00\r\n", {u"7"_s, u"00"_s}, 7);
    row("a plus sign and leading zeros", "+007", {u"+007"_s}, 7);
    row("the 32-bit maximum", "2147483647", {u"2147483647"_s}, kMax);
    row("the 32-bit minimum", "-2147483648", {u"-2147483648"_s}, kMin);
    row("one past the 32-bit maximum is no number", "2147483648", {u"2147483648"_s}, kNaN);
    row("digits followed by a letter are no number", "12a", {u"12a"_s}, kNaN);
    row("an empty field is no number, never zero", ",", {QString()}, kNaN);
}

void TestRecordSyntax::readsLooseRecords()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, fields);
    QFETCH(std::optional<qint32>, firstAsNumber);
    QCOMPARE(readAll(bytes), fields);
    if (!fields.isEmpty())
        QCOMPARE(record::toNumber(fields.first()), firstAsNumber);
}

void TestRecordSyntax::writesRecordsByteForByte()
{
    QCOMPARE(record::numberRecord(42), QByteArray("42\r\n"));
    QCOMPARE(record::numberRecord(kMin), QByteArray("-2147483648\r\n"));
    QCOMPARE(record::quotedRecord({u"C:\\Arch"_s, u"Sì"_s, u""_s, u"N"_s}),
             QByteArray("\"C:\\Arch\",\"S\xec\",\"\",\"N\"\r\n"));
    const QStringList values{u"Ufficio, piano 2"_s, u"  x  "_s, QString(), u"Città €"_s};
    QCOMPARE(readAll(record::quotedRecord(values)), values);
}

// Text the code page holds round-trips exactly; any other character becomes
// one '?' when sent anyway, never a control byte.
void TestRecordSyntax::codePageRoundTrips_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("exact");
    QTest::newRow("Sì is 53 EC") << u"Sì"_s << QByteArray("\x53\xec") << true;
    QTest::newRow("già is 67 69 E0") << u"già"_s << QByteArray("\x67\x69\xe0") << true;
    QTest::newRow("the euro sign is 80") << u"€"_s << QByteArray("\x80") << true;
    QTest::newRow("typographic quotes and dashes are 93 96 94") << u"“–”"_s << QByteArray("\x93\x96\x94") << true;
    QTest::newRow("a Polish letter is a question mark") << u"Łódź"_s << QByteArray("?\xf3""d?") << false;
    QTest::newRow("a character outside the basic plane is one question mark") << u"a😀b"_s << QByteArray("a?b")
                                                                              << false;
    QTest::newRow("a lone surrogate is a question mark") << QString(QChar(0xd800)) + u"x"_s << QByteArray("?x")
                                                         << false;
}

void TestRecordSyntax::codePageRoundTrips()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, exact);
    QCOMPARE(cp1252::encodeLossy(text), bytes);
    QCOMPARE(cp1252::canHold(text), exact);
    QCOMPARE(cp1252::encodeExact(text), exact ? std::optional<QByteArray>(bytes) : std::nullopt);
    if (exact)
        QCOMPARE(cp1252::decode(bytes), text);
}

QTEST_GUILESS_MAIN(TestRecordSyntax)
#include "tst_recordsyntax.moc"

#include "store/RecordSyntax.h"
#include "store/Text1252.h"

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
    void numberRecordIsPlainDecimalWithCrLf_data();
    void numberRecordIsPlainDecimalWithCrLf();
    void numbersAtTheEdgesOf32Bits();
    void quotedRecordIsQuotedCommaSeparatedCrLf();
    void quotedValuesReadBackUnchanged_data();
    void quotedValuesReadBackUnchanged();
    void codePageRoundTrips_data();
    void codePageRoundTrips();
    void lossyEncodingPutsOneQuestionMarkPerCharacter_data();
    void lossyEncodingPutsOneQuestionMarkPerCharacter();
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

const std::optional<qint32> kNotANumber = std::nullopt;

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
        {u"C:\\Arch"_s, u"Sportello 1"_s, u"10.0.0.5"_s, u"S"_s}, kNotANumber);
    row("a number record reads as its number", "42\r\n", {u"42"_s}, 42);
    row("a number without a line end still reads", "42", {u"42"_s}, 42);
    row("LF-only lines separate fields too", "\"a\"\n\"b\"\n", {u"a"_s, u"b"_s}, kNotANumber);
    row("a lone CR ends a line too", "7\r8\r", {u"7"_s, u"8"_s}, 7);
    row("fields continue on the next line", "\"a\",\"b\"\r\n\"c\",\"d\"\r\n",
        {u"a"_s, u"b"_s, u"c"_s, u"d"_s}, kNotANumber);
    row("a comma closing a line joins the record to the next", "\"a\",\r\n\"b\"", {u"a"_s, u"b"_s},
        kNotANumber);
    row("a comma at the very end adds no field", "1,", {u"1"_s}, 1);
    row("text after the closing quote is ignored", "\"a\"xyz,\"b\"  \r\n", {u"a"_s, u"b"_s}, kNotANumber);
    row("leading blanks and tabs are skipped", "  \t\"a\",   b", {u"a"_s, u"b"_s}, kNotANumber);
    row("blanks inside quotes are kept", "\" a b \"", {u" a b "_s}, kNotANumber);
    row("trailing blanks of an unquoted field are dropped", "False  \r\n", {u"False"_s}, kNotANumber);
    row("a quoted number reads as a number", "\"15\"\r\n", {u"15"_s}, 15);
    row("a comma inside quotes belongs to the field", "\"a,b\",c", {u"a,b"_s, u"c"_s}, kNotANumber);
    row("a quoted field runs over a line end to the next quote", "\"a\r\nb\",c", {u"a\r\nb"_s, u"c"_s},
        kNotANumber);
    row("an unclosed quote runs to the end of the data", "\"a\",\"Sporte", {u"a"_s, u"Sporte"_s},
        kNotANumber);
    row("two commas hold an empty field", "a,,b", {u"a"_s, QString(), u"b"_s}, kNotANumber);
    row("an empty quoted field is an empty field", "\"\",\"x\"", {QString(), u"x"_s}, kNotANumber);
    row("a blank line is one empty field", "a\r\n\r\nb\r\n", {u"a"_s, QString(), u"b"_s}, kNotANumber);
    row("a line of blanks is one empty field", "   \r\n5", {QString(), u"5"_s}, kNotANumber);
    row("empty data has no field", "", {}, kNotANumber);
    row("Windows-1252 bytes are decoded", "\"S\xec\",\"gi\xe0\",\"\x80\"", {u"Sì"_s, u"già"_s, u"€"_s},
        kNotANumber);
    row("a number file cut short before its truncation reads the new number", "7\r\n00\r\n",
        {u"7"_s, u"00"_s}, 7);

    row("plus sign", "+5", {u"+5"_s}, 5);
    row("minus zero is zero", "-0", {u"-0"_s}, 0);
    row("negative number", "-12\r\n", {u"-12"_s}, -12);
    row("leading zeros", "007", {u"007"_s}, 7);
    row("digits followed by a letter are no number", "12a", {u"12a"_s}, kNotANumber);
    row("a blank between digits is no number", "1 2", {u"1 2"_s}, kNotANumber);
    row("a blank inside quotes before the digits is no number", "\" 5\"", {u" 5"_s}, kNotANumber);
    row("one past the 32-bit maximum is no number", "2147483648", {u"2147483648"_s}, kNotANumber);
    row("one below the 32-bit minimum is no number", "-2147483649", {u"-2147483649"_s}, kNotANumber);
    row("a very long run of digits is no number", "99999999999999999999999", {u"99999999999999999999999"_s},
        kNotANumber);
    row("an empty field is no number, never zero", ",", {QString()}, kNotANumber);
    row("a bare sign is no number", "-", {u"-"_s}, kNotANumber);
    row("a decimal point is no number", "4.0", {u"4.0"_s}, kNotANumber);
    row("NUL bytes are no number", QByteArray(4, '\0'), {QString(4, QChar(u'\0'))}, kNotANumber);
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

void TestRecordSyntax::numberRecordIsPlainDecimalWithCrLf_data()
{
    QTest::addColumn<qint32>("number");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("42 is four bytes") << 42 << QByteArray("42\r\n");
    QTest::newRow("zero") << 0 << QByteArray("0\r\n");
    QTest::newRow("a negative number has its minus sign") << -17 << QByteArray("-17\r\n");
    QTest::newRow("the 32-bit maximum") << std::numeric_limits<qint32>::max() << QByteArray("2147483647\r\n");
    QTest::newRow("the 32-bit minimum") << std::numeric_limits<qint32>::min() << QByteArray("-2147483648\r\n");
}

void TestRecordSyntax::numberRecordIsPlainDecimalWithCrLf()
{
    QFETCH(qint32, number);
    QFETCH(QByteArray, bytes);
    QCOMPARE(record::numberRecord(number), bytes);
    record::FieldReader reader(bytes);
    QCOMPARE(record::toNumber(reader.next().value_or(QString())), std::optional<qint32>(number));
}

void TestRecordSyntax::numbersAtTheEdgesOf32Bits()
{
    QCOMPARE(record::toNumber(u"2147483647"_s), std::optional<qint32>(std::numeric_limits<qint32>::max()));
    QCOMPARE(record::toNumber(u"-2147483648"_s), std::optional<qint32>(std::numeric_limits<qint32>::min()));
    QCOMPARE(record::toNumber(u"+2147483647"_s), std::optional<qint32>(std::numeric_limits<qint32>::max()));
    QCOMPARE(record::toNumber(u"٣"_s), kNotANumber);  // a digit, but not an ASCII one
}

void TestRecordSyntax::quotedRecordIsQuotedCommaSeparatedCrLf()
{
    QCOMPARE(record::quotedRecord({u"C:\\Arch"_s, u"Sì"_s, u""_s, u"N"_s}),
             QByteArray("\"C:\\Arch\",\"S\xec\",\"\",\"N\"\r\n"));
}

void TestRecordSyntax::quotedValuesReadBackUnchanged_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("storable");
    QTest::newRow("plain text") << u"Sportello 3"_s << true;
    QTest::newRow("a comma") << u"Ufficio, piano 2"_s << true;
    QTest::newRow("leading and trailing blanks") << u"  x  "_s << true;
    QTest::newRow("accents and the euro sign") << u"Città €"_s << true;
    QTest::newRow("an empty value") << QString() << true;
    QTest::newRow("a double quote would end the field") << u"Lo \"sportello\""_s << false;
    QTest::newRow("a line feed") << u"a\nb"_s << false;
    QTest::newRow("a carriage return") << u"a\rb"_s << false;
    QTest::newRow("a character outside the code page") << u"Łódź"_s << false;
}

void TestRecordSyntax::quotedValuesReadBackUnchanged()
{
    QFETCH(QString, value);
    QFETCH(bool, storable);
    QCOMPARE(record::canStoreQuoted(value), storable);
    if (storable) {
        record::FieldReader reader(record::quotedRecord({value, u"next"_s}));
        QCOMPARE(reader.next(), std::optional<QString>(value));
        QCOMPARE(reader.next(), std::optional<QString>(u"next"_s));
        QCOMPARE(reader.next(), std::optional<QString>());
    }
}

void TestRecordSyntax::codePageRoundTrips_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("Sì is 53 EC") << u"Sì"_s << QByteArray("\x53\xec");
    QTest::newRow("già is 67 69 E0") << u"già"_s << QByteArray("\x67\x69\xe0");
    QTest::newRow("the euro sign is 80") << u"€"_s << QByteArray("\x80");
    QTest::newRow("typographic quotes and dashes are 93 94 96") << u"“—”"_s.replace(u'—', u'–')
                                                                 << QByteArray("\x93\x96\x94");
    QTest::newRow("plain ASCII is itself") << u"Anagrafe 12"_s << QByteArray("Anagrafe 12");
}

void TestRecordSyntax::codePageRoundTrips()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(cp1252::encodeExact(text), std::optional<QByteArray>(bytes));
    QCOMPARE(cp1252::encodeLossy(text), bytes);
    QCOMPARE(cp1252::decode(bytes), text);
    QVERIFY(cp1252::canHold(text));
}

void TestRecordSyntax::lossyEncodingPutsOneQuestionMarkPerCharacter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("a Polish letter") << u"Łódź"_s << QByteArray("?\xf3""d?");
    QTest::newRow("a Greek word") << u"αβ"_s << QByteArray("??");
    QTest::newRow("a character outside the basic plane is one question mark") << u"a😀b"_s << QByteArray("a?b");
    QTest::newRow("a lone surrogate") << QString(QChar(0xd800)) + u"x"_s << QByteArray("?x");
}

void TestRecordSyntax::lossyEncodingPutsOneQuestionMarkPerCharacter()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(cp1252::encodeExact(text), std::optional<QByteArray>());
    QVERIFY(!cp1252::canHold(text));
    const QByteArray lossy = cp1252::encodeLossy(text);
    QCOMPARE(lossy, bytes);
    QVERIFY(!lossy.contains('\x1a'));
}

QTEST_GUILESS_MAIN(TestRecordSyntax)
#include "tst_recordsyntax.moc"

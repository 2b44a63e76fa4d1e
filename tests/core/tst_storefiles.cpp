// The archive's text files byte for byte: the loose record syntax and its
// code page, the number files, the server-state file and the desk's
// settings file. Killed writes are tst_storeprocesses'.

#include "core/store/CallFiles.h"
#include "core/store/RecordSyntax.h"
#include "core/store/SettingsFile.h"
#include "core/store/Text1252.h"

#include "CallArchive.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(std::optional<qint32>)
Q_DECLARE_METATYPE(tq3::ErrorKind)

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

class TestStoreFiles final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void readsLooseRecords_data();
    void readsLooseRecords();
    void writesRecordsByteForByte();
    void codePageRoundTrips_data();
    void codePageRoundTrips();
    void readsThenWritesTheNumberRecord_data();
    void readsThenWritesTheNumberRecord();
    void failuresCreateNothing_data();
    void failuresCreateNothing();
    void settingsAreSavedByteForByteOverALongerFile();
    void settingsRefuseValuesThatWouldNotReadBack_data();
    void settingsRefuseValuesThatWouldNotReadBack();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList filesLeft() const { return QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestStoreFiles::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid() && QDir(m_dir->path()).mkdir(u"NrAll"_s));
}

// Every field the reader finds, and the first one taken as a number.
void TestStoreFiles::readsLooseRecords_data()
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

void TestStoreFiles::readsLooseRecords()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, fields);
    QFETCH(std::optional<qint32>, firstAsNumber);
    QCOMPARE(readAll(bytes), fields);
    if (!fields.isEmpty())
        QCOMPARE(record::toNumber(fields.first()), firstAsNumber);
}

void TestStoreFiles::writesRecordsByteForByte()
{
    QCOMPARE(record::numberRecord(42), QByteArray("42\r\n"));
    QCOMPARE(record::numberRecord(kMin), QByteArray("-2147483648\r\n"));
    QCOMPARE(record::quotedRecord({u"C:\\Arch"_s, u"Sì"_s, u""_s, u"N"_s}),
             QByteArray("\"C:\\Arch\",\"S\xec\",\"\",\"N\"\r\n"));
    const QStringList values{u"Ufficio, piano 2"_s, u"  x  "_s, QString(), u"Città €"_s};
    QCOMPARE(readAll(record::quotedRecord(values)), values);
    // The number after the largest has none, and says so.
    QCOMPARE(*successor(-1), 0);
    QCOMPARE(*successor(kMax - 1), kMax);
    QCOMPARE(successor(kMax).error().message, u"Numero massimo raggiunto !Azzerare la numerazione del servizio !"_s);
}

// Text the code page holds round-trips exactly; any other character becomes
// one '?' when sent anyway, never a control byte.
void TestStoreFiles::codePageRoundTrips_data()
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

void TestStoreFiles::codePageRoundTrips()
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

// Under one open: the number read (or none), then the record written over
// the old content. A missing file (null bytes) is created.
void TestStoreFiles::readsThenWritesTheNumberRecord_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<std::optional<qint32>>("read");
    QTest::addColumn<qint32>("written");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("42 over 41 is exactly four bytes") << QByteArray("41\r\n") << std::optional(41) << 42
                                                      << QByteArray("42\r\n");
    QTest::newRow("a longer old record is cut away") << QByteArray("1000000\r\n") << std::optional(1000000) << 7
                                                     << QByteArray("7\r\n");
    QTest::newRow("a longer new record grows the file") << QByteArray("99") << std::optional(99) << 100
                                                        << QByteArray("100\r\n");
    QTest::newRow("a missing file is created, holding no number") << QByteArray() << kNaN << 1 << QByteArray("1\r\n");
}

void TestStoreFiles::readsThenWritesTheNumberRecord()
{
    QFETCH(QByteArray, before);
    QFETCH(std::optional<qint32>, read);
    QFETCH(qint32, written);
    QFETCH(QByteArray, after);
    const QString numberPath = numberFilePath(m_dir->path(), 12);
    if (!before.isNull())
        QVERIFY(writeFile(numberPath, before));
    {
        const auto mode = before.isNull() ? NumberFile::Mode::CreateIfMissing : NumberFile::Mode::ExistingOnly;
        Result<NumberFile> file = NumberFile::open(numberPath, mode, 0ms);
        QVERIFY(file.ok());
        const Result<qint32> number = file->read();
        QCOMPARE(number.ok() ? std::optional(*number) : std::nullopt, read);
        if (!number.ok())
            QCOMPARE(number.error().message, u"Il file del numero del servizio non contiene un numero !"_s);
        QVERIFY(file->write(written).ok());
    }
    QCOMPARE(contentOf(numberPath), after);
}

// What fails to open or load, with its message; the folder is left as it was.
void TestStoreFiles::failuresCreateNothing_data()
{
    QTest::addColumn<QString>("file");  // written with `bytes` first, unless null
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("open");
    QTest::addColumn<ErrorKind>("kind");
    QTest::addColumn<QString>("message");
    const QString settings = kSettingsFileName;
    QTest::newRow("a missing number file is not created") << QString() << QByteArray() << u"NrAll/NrAllS12.txt"_s
        << ErrorKind::NotFound << u"File del numero del servizio non trovato !"_s;
    QTest::newRow("a missing NrAll folder is not created") << QString() << QByteArray() << u"altro/NrAllS12.txt"_s
        << ErrorKind::NotFound << u"Cartella NrAll non trovata !"_s;
    QTest::newRow("an empty server-state file has no state") << u"UConnDP.txt"_s << QByteArray() << u"UConnDP.txt"_s
        << ErrorKind::TooFewFields << u"File di stato del Server vuoto !"_s;
    QTest::newRow("settings in no such folder are not found") << QString() << QByteArray() << u"assente/"_s + settings
        << ErrorKind::NotFound << u"File delle impostazioni non trovato !"_s;
    QTest::newRow("a folder in place of the settings cannot be read")
        << settings + u"/x"_s << QByteArray() << settings << ErrorKind::Io
        << u"Impossibile leggere il file delle impostazioni !"_s;
    QTest::newRow("empty settings have too few fields") << settings << QByteArray() << settings
        << ErrorKind::TooFewFields << u"File delle impostazioni incompleto !"_s;
    // Three fields: tst_lamain, with its message.
}

void TestStoreFiles::failuresCreateNothing()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, open);
    QFETCH(ErrorKind, kind);
    QFETCH(QString, message);
    if (!file.isNull())
        QVERIFY(QDir().mkpath(QFileInfo(path(file)).path()) && writeFile(path(file), bytes));
    const QStringList before = folderSnapshot(m_dir->path());
    std::optional<Error> error;
    if (open.endsWith(u"NrAllS12.txt"_s))
        error = NumberFile::open(path(open), open.startsWith(u"altro"_s) ? NumberFile::Mode::CreateIfMissing
                                                                          : NumberFile::Mode::ExistingOnly, 0ms).error();
    else if (open == u"UConnDP.txt"_s)
        error = readServerState(m_dir->path()).error();
    else
        error = SettingsFile::load(path(open)).error();
    QCOMPARE(error->kind, kind);
    QCOMPARE(error->message, message);
    QCOMPARE(folderSnapshot(m_dir->path()), before);
}

void TestStoreFiles::settingsAreSavedByteForByteOverALongerFile()
{
    const QString file = path(kSettingsFileName);
    QVERIFY(writeFile(file, QByteArray(5000, 'x') + "\r\n\"a\",\"b\",\"c\",\"d\",\"e\"\r\n"));
    const SettingsFile desk{u"\\\\srv\\Archivio TQ3\\"_s, u"Sportello Città 2"_s, u"192.168.1.20"_s, u"S"_s};
    QVERIFY(desk.save(file).ok());
    const QByteArray line("\"\\\\srv\\Archivio TQ3\\\",\"Sportello Citt\xe0 2\",\"192.168.1.20\",\"S\"\r\n");
    QCOMPARE(contentOf(file), line);
    QCOMPARE(filesLeft(), (QStringList{u"NrAll"_s, kSettingsFileName}));  // the temporary was renamed over it

    // Fields after the fourth, and further lines, are not read.
    QVERIFY(writeFile(file, line.chopped(2) + ",\"extra\"\r\n\"D:\\B\",\"Due\",\"1.2.3.4\",\"N\"\r\n"));
    QCOMPARE(SettingsFile::load(file).value(), desk);
    QCOMPARE(desk.save(path(u"assente/PercorsiClient.txt"_s)).error().kind, ErrorKind::NotFound);
    QCOMPARE(filesLeft(), (QStringList{u"NrAll"_s, kSettingsFileName}));
}

void TestStoreFiles::settingsRefuseValuesThatWouldNotReadBack_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");
    QTest::newRow("a desk name with a double quote") << 1 << u"Lo \"sportello\""_s
                                                     << u"Le virgolette (\") non sono ammesse !"_s;
    QTest::newRow("an archive folder with a line break") << 0 << u"C:\\A\r\nB"_s
                                                        << u"Il testo deve stare su una sola riga !"_s;
    QTest::newRow("an emoji in the second-screen field") << 3 << u"S😀"_s << u"Il carattere «😀» non è ammesso !"_s;
    // Found by fuzz_settingsfile: DE 9E is UTF-8 too, so the file would be read as UTF-8.
    QTest::newRow("a server address whose bytes read as UTF-8") << 2 << u"NÞžC"_s << u"Testo non ammesso !"_s;
    QTest::newRow("a NUL, which would make the file look like UTF-16") << 0 << u"\0\0"_s
                                                                      << u"Caratteri di controllo non ammessi !"_s;
    QTest::newRow("a tab in the desk name") << 1 << u"Sportello\t1"_s << u"Caratteri di controllo non ammessi !"_s;
}

void TestStoreFiles::settingsRefuseValuesThatWouldNotReadBack()
{
    QFETCH(int, field);
    QFETCH(QString, value);
    QFETCH(QString, message);
    const QByteArray before("\"C:\\A\",\"Uno\",\"10.0.0.1\",\"N\"\r\n");
    QVERIFY(writeFile(path(kSettingsFileName), before));
    SettingsFile settings{u"C:\\A"_s, u"Due"_s, u"10.0.0.2"_s, u"S"_s};
    QString *const fields[] = {&settings.percorsoServer, &settings.nomePostazione, &settings.ipServer,
                               &settings.secondoSchermo};
    *fields[field] = value;

    QCOMPARE(SettingsFile::checkStorable(value).error().message, message);
    const Result<void> saved = settings.save(path(kSettingsFileName));
    QCOMPARE(saved.error().kind, ErrorKind::Unrepresentable);
    QCOMPARE(saved.error().message, message);
    QCOMPARE(contentOf(path(kSettingsFileName)), before);
    QCOMPARE(filesLeft(), (QStringList{u"NrAll"_s, kSettingsFileName}));
}

QTEST_GUILESS_MAIN(TestStoreFiles)
#include "tst_storefiles.moc"

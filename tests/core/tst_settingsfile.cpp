#include "store/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tq3;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(tq3::ErrorKind)

class TestSettingsFile final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void savesByteForByte();
    void loadsWhatItFinds_data();
    void loadsWhatItFinds();
    void missingFileOrFolderIsNotFound_data();
    void missingFileOrFolderIsNotFound();
    void aFolderInPlaceOfTheFileIsAnInputFailure();
    void refusesValuesThatWouldNotReadBack_data();
    void refusesValuesThatWouldNotReadBack();
    void saveIntoAMissingFolderCreatesNothing();
    void saveReplacesALongerFileWhole();

private:
    QString filePath() const { return m_dir->filePath(u"PercorsiClient.txt"_s); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

namespace {

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

const SettingsFile kDesk{u"\\\\srv\\Archivio TQ3\\"_s, u"Sportello Città 2"_s, u"192.168.1.20"_s, u"S"_s};
const QByteArray kDeskBytes("\"\\\\srv\\Archivio TQ3\\\",\"Sportello Citt\xe0 2\",\"192.168.1.20\",\"S\"\r\n");

} // namespace

void TestSettingsFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestSettingsFile::savesByteForByte()
{
    QVERIFY(kDesk.save(filePath()).ok());
    QCOMPARE(contentOf(filePath()), kDeskBytes);
    const Result<SettingsFile> loaded = SettingsFile::load(filePath());
    QVERIFY(loaded.ok());
    QCOMPARE(*loaded, kDesk);
    // Only the file itself is left: the temporary has been renamed over it.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{u"PercorsiClient.txt"_s});
}

void TestSettingsFile::loadsWhatItFinds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("fields");  // empty when loading fails
    QTest::addColumn<ErrorKind>("failure");

    const QStringList desk{u"\\\\srv\\Archivio TQ3\\"_s, u"Sportello Città 2"_s, u"192.168.1.20"_s, u"S"_s};
    QTest::newRow("the line save writes") << kDeskBytes << desk << ErrorKind::Io;
    QTest::newRow("a fifth field is ignored")
        << QByteArray("\"C:\\A\",\"Uno\",\"10.0.0.1\",\"N\",\"extra\"\r\n")
        << QStringList{u"C:\\A"_s, u"Uno"_s, u"10.0.0.1"_s, u"N"_s} << ErrorKind::Io;
    QTest::newRow("a second line is ignored")
        << QByteArray("\"C:\\A\",\"Uno\",\"10.0.0.1\",\"N\"\r\n\"D:\\B\",\"Due\",\"1.2.3.4\",\"S\"\r\n")
        << QStringList{u"C:\\A"_s, u"Uno"_s, u"10.0.0.1"_s, u"N"_s} << ErrorKind::Io;
    QTest::newRow("a line without its final line end")
        << QByteArray("\"C:\\A\",\"Uno\",\"10.0.0.1\",\"N\"") << QStringList{u"C:\\A"_s, u"Uno"_s, u"10.0.0.1"_s, u"N"_s}
        << ErrorKind::Io;
    QTest::newRow("four fields over four LF-only lines")
        << QByteArray("\"C:\\A\"\n\"Uno\"\n\"10.0.0.1\"\n\"N\"\n")
        << QStringList{u"C:\\A"_s, u"Uno"_s, u"10.0.0.1"_s, u"N"_s} << ErrorKind::Io;
    QTest::newRow("unquoted fields with blanks around commas")
        << QByteArray("  C:\\A , Uno ,10.0.0.1, S\r\n") << QStringList{u"C:\\A"_s, u"Uno"_s, u"10.0.0.1"_s, u"S"_s}
        << ErrorKind::Io;
    QTest::newRow("empty quoted fields are four empty values")
        << QByteArray("\"\",\"\",\"\",\"\"\r\n") << QStringList{QString(), QString(), QString(), QString()}
        << ErrorKind::Io;
    QTest::newRow("an empty file has too few fields") << QByteArray() << QStringList() << ErrorKind::TooFewFields;
    QTest::newRow("three fields are too few")
        << QByteArray("\"C:\\A\",\"Uno\",\"10.0.0.1\"\r\n") << QStringList() << ErrorKind::TooFewFields;
    QTest::newRow("a line cut short in its second field has too few fields")
        << QByteArray("\"C:\\A\",\"Spor") << QStringList() << ErrorKind::TooFewFields;
    QTest::newRow("a file of NUL bytes has too few fields")
        << QByteArray(64, '\0') << QStringList() << ErrorKind::TooFewFields;
}

void TestSettingsFile::loadsWhatItFinds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, fields);
    QFETCH(ErrorKind, failure);

    writeFile(filePath(), bytes);
    const Result<SettingsFile> loaded = SettingsFile::load(filePath());
    if (fields.isEmpty()) {
        QVERIFY(!loaded.ok());
        QCOMPARE(loaded.error().kind, failure);
        QCOMPARE(loaded.error().message, u"File delle impostazioni incompleto !"_s);
        QVERIFY(loaded.error().detail.contains(u"PercorsiClient.txt"_s));
        return;
    }
    QVERIFY2(loaded.ok(), qPrintable(loaded.ok() ? QString() : loaded.error().detail));
    QCOMPARE((QStringList{loaded->percorsoServer, loaded->nomePostazione, loaded->ipServer, loaded->secondoSchermo}),
             fields);
}

void TestSettingsFile::missingFileOrFolderIsNotFound_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::newRow("no file in the folder") << u"PercorsiClient.txt"_s;
    QTest::newRow("no such folder") << u"assente/PercorsiClient.txt"_s;
}

void TestSettingsFile::missingFileOrFolderIsNotFound()
{
    QFETCH(QString, relativePath);
    const Result<SettingsFile> loaded = SettingsFile::load(m_dir->filePath(relativePath));
    QVERIFY(!loaded.ok());
    QCOMPARE(loaded.error().kind, ErrorKind::NotFound);
    QCOMPARE(loaded.error().message, u"File delle impostazioni non trovato !"_s);
}

void TestSettingsFile::aFolderInPlaceOfTheFileIsAnInputFailure()
{
    QVERIFY(QDir(m_dir->path()).mkdir(u"PercorsiClient.txt"_s));
    const Result<SettingsFile> loaded = SettingsFile::load(filePath());
    QVERIFY(!loaded.ok());
    QCOMPARE(loaded.error().kind, ErrorKind::Io);
    QCOMPARE(loaded.error().message, u"Impossibile leggere il file delle impostazioni !"_s);
}

void TestSettingsFile::refusesValuesThatWouldNotReadBack_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("message");

    QTest::newRow("a desk name with a double quote") << 1 << u"Lo \"sportello\""_s
                                                     << u"Le virgolette (\") non sono ammesse !"_s;
    QTest::newRow("an archive folder with a line feed") << 0 << u"C:\\A\nB"_s
                                                        << u"Il testo deve stare su una sola riga !"_s;
    QTest::newRow("a server address with a carriage return") << 2 << u"10.0.0.1\r"_s
                                                             << u"Il testo deve stare su una sola riga !"_s;
    QTest::newRow("a desk name outside the code page") << 1 << u"Łódź"_s << u"Il carattere «Ł» non è ammesso !"_s;
    QTest::newRow("an emoji in the second-screen field") << 3 << u"S😀"_s << u"Il carattere «😀» non è ammesso !"_s;
}

void TestSettingsFile::refusesValuesThatWouldNotReadBack()
{
    QFETCH(int, field);
    QFETCH(QString, value);
    QFETCH(QString, message);

    const QByteArray before("\"C:\\A\",\"Uno\",\"10.0.0.1\",\"N\"\r\n");
    writeFile(filePath(), before);
    SettingsFile settings{u"C:\\A"_s, u"Due"_s, u"10.0.0.2"_s, u"S"_s};
    QString *const fields[] = {&settings.percorsoServer, &settings.nomePostazione, &settings.ipServer,
                               &settings.secondoSchermo};
    *fields[field] = value;

    const Result<void> checked = SettingsFile::checkStorable(value);
    QVERIFY(!checked.ok());
    QCOMPARE(checked.error().kind, ErrorKind::Unrepresentable);
    QCOMPARE(checked.error().message, message);

    const Result<void> saved = settings.save(filePath());
    QVERIFY(!saved.ok());
    QCOMPARE(saved.error().kind, ErrorKind::Unrepresentable);
    QCOMPARE(saved.error().message, message);
    QCOMPARE(contentOf(filePath()), before);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{u"PercorsiClient.txt"_s});
}

void TestSettingsFile::saveIntoAMissingFolderCreatesNothing()
{
    const Result<void> saved = kDesk.save(m_dir->filePath(u"assente/PercorsiClient.txt"_s));
    QVERIFY(!saved.ok());
    QCOMPARE(saved.error().kind, ErrorKind::NotFound);
    QVERIFY(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

void TestSettingsFile::saveReplacesALongerFileWhole()
{
    writeFile(filePath(), QByteArray(5000, 'x') + "\r\n\"a\",\"b\",\"c\",\"d\",\"e\"\r\n");
    const SettingsFile shortOne{u"C:"_s, u"D"_s, u"1.1.1.1"_s, u"N"_s};
    QVERIFY(shortOne.save(filePath()).ok());
    QCOMPARE(contentOf(filePath()), QByteArray("\"C:\",\"D\",\"1.1.1.1\",\"N\"\r\n"));
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"

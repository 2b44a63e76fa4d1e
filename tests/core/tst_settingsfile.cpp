#include "core/store/SettingsFile.h"

#include "CallArchive.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(tq3::ErrorKind)

class TestSettingsFile final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void savesByteForByteOverALongerFile();
    void loadFailuresAreTyped_data();
    void loadFailuresAreTyped();
    void refusesValuesThatWouldNotReadBack_data();
    void refusesValuesThatWouldNotReadBack();

private:
    QString filePath() const { return m_dir->filePath(kSettingsFileName); }
    QStringList filesLeft() const { return QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSettingsFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestSettingsFile::savesByteForByteOverALongerFile()
{
    QVERIFY(writeFile(filePath(), QByteArray(5000, 'x') + "\r\n\"a\",\"b\",\"c\",\"d\",\"e\"\r\n"));
    const SettingsFile desk{u"\\\\srv\\Archivio TQ3\\"_s, u"Sportello Città 2"_s, u"192.168.1.20"_s, u"S"_s};
    QVERIFY(desk.save(filePath()).ok());
    const QByteArray line("\"\\\\srv\\Archivio TQ3\\\",\"Sportello Citt\xe0 2\",\"192.168.1.20\",\"S\"\r\n");
    QCOMPARE(contentOf(filePath()), line);
    QCOMPARE(filesLeft(), QStringList{kSettingsFileName});  // the temporary was renamed over it

    // Fields after the fourth, and further lines, are not read.
    QVERIFY(writeFile(filePath(), line.chopped(2) + ",\"extra\"\r\n\"D:\\B\",\"Due\",\"1.2.3.4\",\"N\"\r\n"));
    const Result<SettingsFile> loaded = SettingsFile::load(filePath());
    QVERIFY(loaded.ok());
    QCOMPARE(*loaded, desk);

    const Result<void> noFolder = desk.save(m_dir->filePath(u"assente/PercorsiClient.txt"_s));
    QCOMPARE(noFolder.error().kind, ErrorKind::NotFound);
    QCOMPARE(filesLeft(), QStringList{kSettingsFileName});
}

// What is on disk (bytes written to `written`, nothing when it is empty), and
// the failure of loading `load`.
void TestSettingsFile::loadFailuresAreTyped_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("load");
    QTest::addColumn<ErrorKind>("failure");
    QTest::addColumn<QString>("message");
    const QString name = kSettingsFileName;
    const QString incomplete = u"File delle impostazioni incompleto !"_s;
    const QString notFound = u"File delle impostazioni non trovato !"_s;

    QTest::newRow("no such folder is not found") << QString() << QByteArray() << u"assente/"_s + name
                                                 << ErrorKind::NotFound << notFound;
    QTest::newRow("a folder in place of the file cannot be read")
        << name + u"/x"_s << QByteArray() << name << ErrorKind::Io
        << u"Impossibile leggere il file delle impostazioni !"_s;
    QTest::newRow("an empty file has too few fields") << name << QByteArray() << name << ErrorKind::TooFewFields
                                                      << incomplete;
    // Three fields: tst_lamain, with its message.
}

void TestSettingsFile::loadFailuresAreTyped()
{
    QFETCH(QString, written);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, load);
    QFETCH(ErrorKind, failure);
    QFETCH(QString, message);

    if (!written.isEmpty()) {
        QVERIFY(QDir().mkpath(QFileInfo(m_dir->filePath(written)).path()));
        QVERIFY(writeFile(m_dir->filePath(written), bytes));
    }
    const Result<SettingsFile> loaded = SettingsFile::load(m_dir->filePath(load));
    QVERIFY(!loaded.ok());
    QCOMPARE(loaded.error().kind, failure);
    QCOMPARE(loaded.error().message, message);
}

void TestSettingsFile::refusesValuesThatWouldNotReadBack_data()
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

void TestSettingsFile::refusesValuesThatWouldNotReadBack()
{
    QFETCH(int, field);
    QFETCH(QString, value);
    QFETCH(QString, message);

    const QByteArray before("\"C:\\A\",\"Uno\",\"10.0.0.1\",\"N\"\r\n");
    QVERIFY(writeFile(filePath(), before));
    SettingsFile settings{u"C:\\A"_s, u"Due"_s, u"10.0.0.2"_s, u"S"_s};
    QString *const fields[] = {&settings.percorsoServer, &settings.nomePostazione, &settings.ipServer,
                               &settings.secondoSchermo};
    *fields[field] = value;

    QCOMPARE(SettingsFile::checkStorable(value).error().message, message);
    const Result<void> saved = settings.save(filePath());
    QCOMPARE(saved.error().kind, ErrorKind::Unrepresentable);
    QCOMPARE(saved.error().message, message);
    QCOMPARE(contentOf(filePath()), before);
    QCOMPARE(filesLeft(), QStringList{kSettingsFileName});
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"

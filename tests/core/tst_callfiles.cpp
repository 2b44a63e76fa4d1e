#include "core/store/CallFiles.h"

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
Q_DECLARE_METATYPE(tq3::NumberFile::Mode)

class TestCallFiles final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void anEmptyServerStateFileHasNoState();
    void readsThenWritesTheNumberRecord_data();
    void readsThenWritesTheNumberRecord();
    void openFailuresCreateNothing_data();
    void openFailuresCreateNothing();
    void successorStopsAtThe32BitMaximum();

private:
    QString numberPath() const { return numberFilePath(m_dir->path(), 12); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestCallFiles::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkdir(u"NrAll"_s));
}

// False/false and a missing file are the call tests' (tst_selectivecall).
void TestCallFiles::anEmptyServerStateFileHasNoState()
{
    QVERIFY(writeFile(serverStateFilePath(m_dir->path()), ""));
    const Result<QString> read = readServerState(m_dir->path());
    QCOMPARE(read ? QString() : read.error().message, u"File di stato del Server vuoto !"_s);
}

// Under one open: the number read (or none), then the record written over
// the old content. A missing file (null bytes) is created.
void TestCallFiles::readsThenWritesTheNumberRecord_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<std::optional<qint32>>("read");
    QTest::addColumn<qint32>("written");
    QTest::addColumn<QByteArray>("after");
    const std::optional<qint32> none;
    QTest::newRow("42 over 41 is exactly four bytes") << QByteArray("41\r\n") << std::optional(41) << 42
                                                      << QByteArray("42\r\n");
    QTest::newRow("a longer old record is cut away") << QByteArray("1000000\r\n") << std::optional(1000000) << 7
                                                     << QByteArray("7\r\n");
    QTest::newRow("a longer new record grows the file") << QByteArray("99") << std::optional(99) << 100
                                                        << QByteArray("100\r\n");
    QTest::newRow("a missing file is created, holding no number") << QByteArray() << none << 1 << QByteArray("1\r\n");
}

void TestCallFiles::readsThenWritesTheNumberRecord()
{
    QFETCH(QByteArray, before);
    QFETCH(std::optional<qint32>, read);
    QFETCH(qint32, written);
    QFETCH(QByteArray, after);
    if (!before.isNull())
        QVERIFY(writeFile(numberPath(), before));
    {
        const auto mode = before.isNull() ? NumberFile::Mode::CreateIfMissing : NumberFile::Mode::ExistingOnly;
        Result<NumberFile> file = NumberFile::open(numberPath(), mode, 0ms);
        QVERIFY(file.ok());
        const Result<qint32> number = file->read();
        QCOMPARE(number.ok() ? std::optional(*number) : std::nullopt, read);
        if (!number.ok()) {
            QCOMPARE(number.error().kind, ErrorKind::NotANumber);
            QCOMPARE(number.error().message, u"Il file del numero del servizio non contiene un numero !"_s);
        }
        QVERIFY(file->write(written).ok());
    }
    QCOMPARE(contentOf(numberPath()), after);
}

void TestCallFiles::openFailuresCreateNothing_data()
{
    QTest::addColumn<NumberFile::Mode>("mode");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("message");
    QTest::newRow("a missing file is not created") << NumberFile::Mode::ExistingOnly << QString()
                                                   << u"File del numero del servizio non trovato !"_s;
    QTest::newRow("a missing NrAll folder is not created") << NumberFile::Mode::CreateIfMissing << u"altro"_s
                                                           << u"Cartella NrAll non trovata !"_s;
}

void TestCallFiles::openFailuresCreateNothing()
{
    QFETCH(NumberFile::Mode, mode);
    QFETCH(QString, folder);
    QFETCH(QString, message);
    const Result<NumberFile> file = NumberFile::open(numberFilePath(m_dir->filePath(folder), 12), mode, 0ms);
    QVERIFY(!file.ok());
    QCOMPARE(file.error().kind, ErrorKind::NotFound);
    QCOMPARE(file.error().message, message);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{u"NrAll"_s});
    QVERIFY(QDir(m_dir->filePath(u"NrAll"_s)).isEmpty());
}

void TestCallFiles::successorStopsAtThe32BitMaximum()
{
    constexpr qint32 kMax = std::numeric_limits<qint32>::max();
    QCOMPARE(*successor(-1), 0);
    QCOMPARE(*successor(kMax - 1), kMax);
    const Result<qint32> none = successor(kMax);
    QVERIFY(!none.ok());
    QCOMPARE(none.error().kind, ErrorKind::NoSuccessor);
    QCOMPARE(none.error().message, u"Numero massimo raggiunto !Azzerare la numerazione del servizio !"_s);
}

QTEST_GUILESS_MAIN(TestCallFiles)
#include "tst_callfiles.moc"

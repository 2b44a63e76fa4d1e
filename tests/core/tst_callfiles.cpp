#include "store/CallFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace tq3;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(tq3::ErrorKind)

class TestCallFiles final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void pathsAreFormedByPlainJoining_data();
    void pathsAreFormedByPlainJoining();
    void serverStateIsTheFirstField_data();
    void serverStateIsTheFirstField();
    void aMissingServerStateFileIsNotFound();
    void writesTheNumberRecordOverTheOldContent_data();
    void writesTheNumberRecordOverTheOldContent();
    void readsOnlyA32BitNumber_data();
    void readsOnlyA32BitNumber();
    void existingOnlyNeverCreatesAFile();
    void createIfMissingCreatesTheFileButNotTheFolder();
    void aSecondOpenInTheSameProcessWaitsThenGivesUp();
    void theLockIsFreeOnceTheHolderIsGone();
    void aMovedFromFileNeitherReadsNorWrites();
    void successorStopsAtThe32BitMaximum_data();
    void successorStopsAtThe32BitMaximum();

private:
    QString numberPath() const { return numberFilePath(m_dir->path(), 12); }
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

} // namespace

void TestCallFiles::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkdir(u"NrAll"_s));
}

void TestCallFiles::pathsAreFormedByPlainJoining_data()
{
    const QString sep = QDir::separator();
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("the server-state file") << serverStateFilePath(u"arch"_s) << u"arch"_s + sep + u"UConnDP.txt"_s;
    QTest::newRow("service 12's number file")
        << numberFilePath(u"arch"_s, 12) << u"arch"_s + sep + u"NrAll"_s + sep + u"NrAllS12.txt"_s;
    QTest::newRow("a large service id has no leading zeros or blanks")
        << numberFilePath(u"arch"_s, 3000000000) << u"arch"_s + sep + u"NrAll"_s + sep + u"NrAllS3000000000.txt"_s;
    QTest::newRow("a trailing separator gives a doubled one")
        << archiveFilePath(u"arch"_s + sep, u"TQ3MAX.mdb"_s) << u"arch"_s + sep + sep + u"TQ3MAX.mdb"_s;
}

void TestCallFiles::pathsAreFormedByPlainJoining()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(path, expected);
}

void TestCallFiles::serverStateIsTheFirstField_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("notListening");
    QTest::newRow("False means not listening") << QByteArray("False\r\n") << u"False"_s << true;
    QTest::newRow("quoted False means not listening") << QByteArray("\"False\"\r\n") << u"False"_s << true;
    QTest::newRow("False with trailing blanks reads as False") << QByteArray("False  \r\n") << u"False"_s << true;
    QTest::newRow("False in small letters means listening") << QByteArray("false\r\n") << u"false"_s << false;
    QTest::newRow("True means listening") << QByteArray("True\r\n") << u"True"_s << false;
    QTest::newRow("only the first field counts") << QByteArray("True,False\r\n") << u"True"_s << false;
    QTest::newRow("a blank quoted False is not False") << QByteArray("\" False\"") << u" False"_s << false;
}

void TestCallFiles::serverStateIsTheFirstField()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, state);
    QFETCH(bool, notListening);
    writeFile(serverStateFilePath(m_dir->path()), bytes);
    const Result<QString> read = readServerState(m_dir->path());
    QVERIFY(read.ok());
    QCOMPARE(*read, state);
    QCOMPARE(serverNotListening(*read), notListening);
}

void TestCallFiles::aMissingServerStateFileIsNotFound()
{
    Result<QString> read = readServerState(m_dir->path());
    QVERIFY(!read.ok());
    QCOMPARE(read.error().kind, ErrorKind::NotFound);
    QCOMPARE(read.error().message, u"File di stato del Server non trovato !"_s);

    writeFile(serverStateFilePath(m_dir->path()), QByteArray());
    read = readServerState(m_dir->path());
    QVERIFY(!read.ok());
    QCOMPARE(read.error().kind, ErrorKind::TooFewFields);
    QCOMPARE(read.error().message, u"File di stato del Server vuoto !"_s);
}

void TestCallFiles::writesTheNumberRecordOverTheOldContent_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<qint32>("number");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("42 is exactly four bytes") << QByteArray("41\r\n") << 42 << QByteArray("42\r\n");
    QTest::newRow("a longer old record is cut away") << QByteArray("1000000\r\n") << 7 << QByteArray("7\r\n");
    QTest::newRow("a longer new record grows the file") << QByteArray("99\r\n") << 100 << QByteArray("100\r\n");
    QTest::newRow("a negative number keeps its sign") << QByteArray("5\r\n") << -3 << QByteArray("-3\r\n");
    QTest::newRow("an empty file gets the record") << QByteArray() << 1 << QByteArray("1\r\n");
    QTest::newRow("garbage is replaced") << QByteArray("abc\r\ndef\r\n") << 8 << QByteArray("8\r\n");
}

void TestCallFiles::writesTheNumberRecordOverTheOldContent()
{
    QFETCH(QByteArray, before);
    QFETCH(qint32, number);
    QFETCH(QByteArray, after);
    writeFile(numberPath(), before);
    {
        Result<NumberFile> file = NumberFile::open(numberPath(), NumberFile::Mode::ExistingOnly, 0ms);
        QVERIFY(file.ok());
        QVERIFY(file->write(number).ok());
        // Read back through the same open, as the lock is still held.
        const Result<qint32> reread = file->read();
        QVERIFY(reread.ok());
        QCOMPARE(*reread, number);
    }
    QCOMPARE(contentOf(numberPath()), after);
}

void TestCallFiles::readsOnlyA32BitNumber_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint32>("number");  // 0 with a failure
    QTest::addColumn<bool>("isNumber");
    QTest::newRow("a plain record") << QByteArray("41\r\n") << 41 << true;
    QTest::newRow("a negative record") << QByteArray("-41\r\n") << -41 << true;
    QTest::newRow("no line end") << QByteArray("41") << 41 << true;
    QTest::newRow("leading blanks") << QByteArray("   41\r\n") << 41 << true;
    QTest::newRow("an empty file is no number") << QByteArray() << 0 << false;
    QTest::newRow("a blank line is no number") << QByteArray("\r\n41\r\n") << 0 << false;
    QTest::newRow("text is no number") << QByteArray("quaranta\r\n") << 0 << false;
    QTest::newRow("digits then text are no number") << QByteArray("41b\r\n") << 0 << false;
    QTest::newRow("more than 32 bits is no number") << QByteArray("4294967296\r\n") << 0 << false;
    QTest::newRow("NUL bytes are no number") << QByteArray(8, '\0') << 0 << false;
}

void TestCallFiles::readsOnlyA32BitNumber()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint32, number);
    QFETCH(bool, isNumber);
    writeFile(numberPath(), bytes);
    Result<NumberFile> file = NumberFile::open(numberPath(), NumberFile::Mode::ExistingOnly, 0ms);
    QVERIFY(file.ok());
    const Result<qint32> read = file->read();
    QCOMPARE(read.ok(), isNumber);
    if (isNumber) {
        QCOMPARE(*read, number);
    } else {
        QCOMPARE(read.error().kind, ErrorKind::NotANumber);
        QCOMPARE(read.error().message, u"Il file del numero del servizio non contiene un numero !"_s);
        QVERIFY(read.error().detail.contains(u"NrAllS12.txt"_s));
    }
    QCOMPARE(contentOf(numberPath()), bytes);
}

void TestCallFiles::existingOnlyNeverCreatesAFile()
{
    const Result<NumberFile> file = NumberFile::open(numberPath(), NumberFile::Mode::ExistingOnly, 0ms);
    QVERIFY(!file.ok());
    QCOMPARE(file.error().kind, ErrorKind::NotFound);
    QCOMPARE(file.error().message, u"File del numero del servizio non trovato !"_s);
    QVERIFY(!QFile::exists(numberPath()));

    QVERIFY(QDir(m_dir->filePath(u"NrAll"_s)).removeRecursively());
    const Result<NumberFile> noFolder = NumberFile::open(numberPath(), NumberFile::Mode::ExistingOnly, 0ms);
    QVERIFY(!noFolder.ok());
    QCOMPARE(noFolder.error().kind, ErrorKind::NotFound);
}

void TestCallFiles::createIfMissingCreatesTheFileButNotTheFolder()
{
    {
        Result<NumberFile> file = NumberFile::open(numberPath(), NumberFile::Mode::CreateIfMissing, 0ms);
        QVERIFY(file.ok());
        QCOMPARE(file->read().error().kind, ErrorKind::NotANumber);
        QVERIFY(file->write(5).ok());
    }
    QCOMPARE(contentOf(numberPath()), QByteArray("5\r\n"));

    const QString elsewhere = numberFilePath(m_dir->filePath(u"altro"_s), 12);
    const Result<NumberFile> noFolder = NumberFile::open(elsewhere, NumberFile::Mode::CreateIfMissing, 0ms);
    QVERIFY(!noFolder.ok());
    QCOMPARE(noFolder.error().kind, ErrorKind::NotFound);
    QCOMPARE(noFolder.error().message, u"Cartella NrAll non trovata !"_s);
    QVERIFY(!QFileInfo::exists(m_dir->filePath(u"altro"_s)));
}

void TestCallFiles::aSecondOpenInTheSameProcessWaitsThenGivesUp()
{
    writeFile(numberPath(), "41\r\n");
    Result<NumberFile> first = NumberFile::open(numberPath(), NumberFile::Mode::ExistingOnly, 0ms);
    QVERIFY(first.ok());

    // Another handle of this process opening and closing the file must not
    // drop the lock, as a classic POSIX lock would.
    QCOMPARE(contentOf(numberPath()), QByteArray("41\r\n"));

    const auto started = std::chrono::steady_clock::now();
    const Result<NumberFile> second = NumberFile::open(numberPath(), NumberFile::Mode::ExistingOnly, 150ms);
    QVERIFY(std::chrono::steady_clock::now() - started >= 150ms);
    QVERIFY(!second.ok());
    QCOMPARE(second.error().kind, ErrorKind::InUse);
    QCOMPARE(second.error().message, u"File del numero in uso da un'altra postazione !Riprovare !"_s);

    QCOMPARE(*first->read(), 41);
    QVERIFY(first->write(42).ok());
    QCOMPARE(contentOf(numberPath()), QByteArray("42\r\n"));
}

void TestCallFiles::theLockIsFreeOnceTheHolderIsGone()
{
    writeFile(numberPath(), "41\r\n");
    std::optional<Result<NumberFile>> first = NumberFile::open(numberPath(), NumberFile::Mode::ExistingOnly, 0ms);
    QVERIFY(first->ok());
    NumberFile moved = std::move(**first);  // the lock goes with the object
    first.reset();
    QVERIFY(!NumberFile::open(numberPath(), NumberFile::Mode::ExistingOnly, 0ms).ok());
    moved = NumberFile::open(numberFilePath(m_dir->path(), 13), NumberFile::Mode::CreateIfMissing, 0ms).value();
    QVERIFY(NumberFile::open(numberPath(), NumberFile::Mode::ExistingOnly, 0ms).ok());
}

void TestCallFiles::aMovedFromFileNeitherReadsNorWrites()
{
    writeFile(numberPath(), "41\r\n");
    Result<NumberFile> file = NumberFile::open(numberPath(), NumberFile::Mode::ExistingOnly, 0ms);
    QVERIFY(file.ok());
    NumberFile taken = std::move(*file);
    QCOMPARE(file->read().error().kind, ErrorKind::Io);
    QCOMPARE(file->write(1).error().kind, ErrorKind::Io);
    QVERIFY(file->path().isEmpty());
    QCOMPARE(taken.path(), numberPath());
    QCOMPARE(*taken.read(), 41);
    QCOMPARE(contentOf(numberPath()), QByteArray("41\r\n"));
}

void TestCallFiles::successorStopsAtThe32BitMaximum_data()
{
    QTest::addColumn<qint32>("number");
    QTest::addColumn<qint32>("next");
    QTest::addColumn<bool>("hasNext");
    QTest::newRow("41 is followed by 42") << 41 << 42 << true;
    QTest::newRow("-1 is followed by 0") << -1 << 0 << true;
    QTest::newRow("the minimum has a successor") << std::numeric_limits<qint32>::min()
                                                 << std::numeric_limits<qint32>::min() + 1 << true;
    QTest::newRow("one below the maximum reaches it") << std::numeric_limits<qint32>::max() - 1
                                                      << std::numeric_limits<qint32>::max() << true;
    QTest::newRow("the maximum has none, never a wrap") << std::numeric_limits<qint32>::max() << 0 << false;
}

void TestCallFiles::successorStopsAtThe32BitMaximum()
{
    QFETCH(qint32, number);
    QFETCH(qint32, next);
    QFETCH(bool, hasNext);
    const Result<qint32> result = successor(number);
    QCOMPARE(result.ok(), hasNext);
    if (hasNext) {
        QCOMPARE(*result, next);
    } else {
        QCOMPARE(result.error().kind, ErrorKind::NoSuccessor);
        QCOMPARE(result.error().message, u"Numero massimo raggiunto !Azzerare la numerazione del servizio !"_s);
    }
}

QTEST_GUILESS_MAIN(TestCallFiles)
#include "tst_callfiles.moc"

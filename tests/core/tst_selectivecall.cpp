#include "console/SelectiveCall.h"
#include "console/ServerLink.h"

#include "selective_Archive.h"
#include "store/ArchiveBuilder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

using namespace tq3;
using namespace tq3::test;
using Kind = SelectiveCallOutcome::Kind;

namespace {

const QString kDeskIp = QStringLiteral("10.0.0.5");
const QString kDesk = QStringLiteral("Sportello 1");
constexpr qint64 kBystander = 7;

QByteArray pendingDatagram(QUdpSocket &listener, int timeoutMs)
{
    if (!listener.hasPendingDatagrams() && !listener.waitForReadyRead(timeoutMs))
        return {};
    QByteArray data(int(listener.pendingDatagramSize()), '\0');
    listener.readDatagram(data.data(), data.size());
    return data;
}

// A call of service 12, "Anagrafe", from this desk to 127.0.0.1.
SelectiveCallRequest anagrafeRequest(const QString &folder)
{
    SelectiveCallRequest request;
    request.archiveFolder = folder;
    request.deskName = kDesk;
    request.ipLocale = kDeskIp;
    request.serverAddress = QStringLiteral("127.0.0.1");
    request.serviceId = 12;
    request.serviceName = QStringLiteral("Anagrafe");
    request.serviceRows = 1;
    request.numberFilePatience = std::chrono::milliseconds(100);
    return request;
}

} // namespace

class TestSelectiveCall final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void callEndsAsItShould_data();
    void callEndsAsItShould();
    void numberFileHeldByAnotherDeskIsReported();
    void secondCallAfterZeroWaitingAnnouncesTheSameNumber();
    void failedNumberWriteGivesTheCountBack();
};

void TestSelectiveCall::callEndsAsItShould_data()
{
    QTest::addColumn<QString>("serverAddress");
    QTest::addColumn<int>("serviceRows");
    QTest::addColumn<QByteArray>("serverState");   // empty: no server-state file
    QTest::addColumn<qint64>("serviceId");
    QTest::addColumn<QString>("serviceName");
    QTest::addColumn<bool>("inServizi");
    QTest::addColumn<QByteArray>("numberBytes");   // empty: no number file
    QTest::addColumn<qint64>("attesa");
    QTest::addColumn<bool>("dropDatabase");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("numberRead");           // -1: none
    QTest::addColumn<QByteArray>("numberAfter");
    QTest::addColumn<qint64>("attesaAfter");
    QTest::addColumn<QByteArray>("datagram");      // empty: nothing sent
    QTest::addColumn<QString>("messageHolds");

    const QString ip = QStringLiteral("127.0.0.1");
    const QByteArray on("\"True\"\r\n");
    const QString anagrafe = QStringLiteral("Anagrafe");

    QTest::newRow("number 41 with three waiting is announced as 041 and leaves 42 and two waiting")
        << ip << 2 << on << qint64(12) << anagrafe << true << QByteArray("41\r\n") << qint64(3) << false
        << int(Kind::Announced) << 41 << QByteArray("42\r\n") << qint64(2)
        << QByteArray("041#Sportello 1#Anagrafe") << QString();
    QTest::newRow("a count of zero shows the number read and changes nothing")
        << ip << 2 << on << qint64(12) << anagrafe << true << QByteArray("41\r\n") << qint64(0) << false
        << int(Kind::NothingWaiting) << 41 << QByteArray("41\r\n") << qint64(0) << QByteArray() << QString();
    QTest::newRow("False in the server-state file stops the call before anything is read")
        << ip << 2 << QByteArray("\"False\"\r\n") << qint64(12) << anagrafe << true << QByteArray("41\r\n")
        << qint64(3) << false << int(Kind::ServerNotListening) << -1 << QByteArray("41\r\n") << qint64(3)
        << QByteArray() << QString();
    QTest::newRow("false in small letters lets the call go ahead")
        << ip << 2 << QByteArray("\"false\"\r\n") << qint64(12) << anagrafe << true << QByteArray("41\r\n")
        << qint64(3) << false << int(Kind::Announced) << 41 << QByteArray("42\r\n") << qint64(2)
        << QByteArray("041#Sportello 1#Anagrafe") << QString();
    QTest::newRow("number 1000 is sent with all four digits")
        << ip << 2 << on << qint64(12) << anagrafe << true << QByteArray("1000\r\n") << qint64(1) << false
        << int(Kind::Announced) << 1000 << QByteArray("1001\r\n") << qint64(0)
        << QByteArray("1000#Sportello 1#Anagrafe") << QString();
    QTest::newRow("an accented service name is sent as one byte")
        << ip << 2 << on << qint64(12) << QStringLiteral("Identità") << true << QByteArray("5\r\n")
        << qint64(1) << false << int(Kind::Announced) << 5 << QByteArray("6\r\n") << qint64(0)
        << QByteArray("005#Sportello 1#Identit\xE0") << QString();
    QTest::newRow("the unset server address is refused before anything is read")
        << QStringLiteral("0.0.0.0") << 2 << on << qint64(12) << anagrafe << true << QByteArray("41\r\n")
        << qint64(3) << false << int(Kind::UnsetServerAddress) << -1 << QByteArray("41\r\n") << qint64(3)
        << QByteArray() << QString();
    QTest::newRow("a server address equal to this PC's address is refused")
        << kDeskIp << 2 << on << qint64(12) << anagrafe << true << QByteArray("41\r\n") << qint64(3) << false
        << int(Kind::ServerIsThisPc) << -1 << QByteArray("41\r\n") << qint64(3) << QByteArray() << QString();
    QTest::newRow("a desk without services is refused")
        << ip << 0 << on << qint64(12) << anagrafe << true << QByteArray("41\r\n") << qint64(3) << false
        << int(Kind::NoService) << -1 << QByteArray("41\r\n") << qint64(3) << QByteArray() << QString();
    QTest::newRow("a missing number file ends the call silently with nothing changed")
        << ip << 2 << on << qint64(12) << anagrafe << true << QByteArray() << qint64(3) << false
        << int(Kind::NoNumberFile) << -1 << QByteArray("<missing>") << qint64(3) << QByteArray() << QString();
    QTest::newRow("an empty number file is reported and nothing changes")
        << ip << 2 << on << qint64(12) << anagrafe << true << QByteArray(" ") << qint64(3) << false
        << int(Kind::Failed) << -1 << QByteArray(" ") << qint64(3) << QByteArray()
        << QStringLiteral("non contiene un numero");
    QTest::newRow("a number file holding text is reported and nothing changes")
        << ip << 2 << on << qint64(12) << anagrafe << true << QByteArray("abc\r\n") << qint64(3) << false
        << int(Kind::Failed) << -1 << QByteArray("abc\r\n") << qint64(3) << QByteArray()
        << QStringLiteral("NrAllS12.txt");
    QTest::newRow("a missing server-state file is reported and nothing changes")
        << ip << 2 << QByteArray() << qint64(12) << anagrafe << true << QByteArray("41\r\n") << qint64(3)
        << false << int(Kind::Failed) << -1 << QByteArray("41\r\n") << qint64(3) << QByteArray()
        << QStringLiteral("stato del Server");
    QTest::newRow("an unreachable database is reported and the number file keeps its number")
        << ip << 2 << on << qint64(12) << anagrafe << true << QByteArray("41\r\n") << qint64(3) << true
        << int(Kind::Failed) << 41 << QByteArray("41\r\n") << qint64(-1) << QByteArray()
        << QStringLiteral("Archivio");
    QTest::newRow("a service without its Servizi row is reported and no other row changes")
        << ip << 2 << on << qint64(65536 + kBystander) << anagrafe << false << QByteArray("41\r\n")
        << qint64(3) << false << int(Kind::Failed) << 41 << QByteArray("41\r\n") << qint64(-1)
        << QByteArray() << QStringLiteral("65543");
    QTest::newRow("a service id beyond 16 bits is called as itself")
        << ip << 2 << on << qint64(65536 + kBystander) << anagrafe << true << QByteArray("41\r\n") << qint64(3)
        << false << int(Kind::Announced) << 41 << QByteArray("42\r\n") << qint64(2)
        << QByteArray("041#Sportello 1#Anagrafe") << QString();
}

void TestSelectiveCall::callEndsAsItShould()
{
    QFETCH(QString, serverAddress);
    QFETCH(int, serviceRows);
    QFETCH(QByteArray, serverState);
    QFETCH(qint64, serviceId);
    QFETCH(QString, serviceName);
    QFETCH(bool, inServizi);
    QFETCH(QByteArray, numberBytes);
    QFETCH(qint64, attesa);
    QFETCH(bool, dropDatabase);
    QFETCH(int, kind);
    QFETCH(int, numberRead);
    QFETCH(QByteArray, numberAfter);
    QFETCH(qint64, attesaAfter);
    QFETCH(QByteArray, datagram);
    QFETCH(QString, messageHolds);

    QTemporaryDir archive;
    QVERIFY(archive.isValid());
    const QString folder = archive.path();
    SelectiveService chosen{serviceId, serviceName, attesa, std::nullopt, inServizi};
    SelectiveService bystander{kBystander, QStringLiteral("Altro"), 5, 100, true};
    QVERIFY(createSelectiveArchive(folder, kDeskIp, {bystander, chosen}, serverState.isEmpty() ? QByteArray("\"True\"\r\n") : serverState));
    if (serverState.isEmpty())
        QVERIFY(QFile::remove(QDir(folder).filePath(QStringLiteral("UConnDP.txt"))));
    if (!numberBytes.isEmpty())
        QVERIFY(writeNumberFile(folder, serviceId, numberBytes));
    if (dropDatabase)
        QVERIFY(QFile::remove(QDir(folder).filePath(QStringLiteral("TQ3MAX.mdb"))));

    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::LocalHost, 0));
    ServerLink link;
    link.setDestination(serverAddress, listener.localPort());

    SelectiveCallRequest request;
    request.archiveFolder = folder;
    request.deskName = kDesk;
    request.ipLocale = kDeskIp;
    request.serverAddress = serverAddress;
    request.serviceId = serviceId;
    request.serviceName = serviceName;
    request.serviceRows = serviceRows;
    request.numberFilePatience = std::chrono::milliseconds(200);
    const SelectiveCallOutcome outcome = SelectiveCall::run(request, link);

    QCOMPARE(int(outcome.kind), kind);
    QCOMPARE(outcome.numberRead.value_or(-1), numberRead);
    QCOMPARE(numberFileBytes(folder, serviceId), numberAfter);
    if (attesaAfter >= 0)
        QCOMPARE(storedAttesa(folder, serviceId).value_or(-1), attesaAfter);
    if (!dropDatabase)
        QCOMPARE(storedAttesa(folder, kBystander).value_or(-1), qint64(5));
    QCOMPARE(numberFileBytes(folder, kBystander), QByteArray("100\r\n"));
    if (messageHolds.isEmpty()) {
        QVERIFY2(!outcome.error, qPrintable(outcome.error ? outcome.error->message : QString()));
    } else {
        QVERIFY(outcome.error.has_value());
        QVERIFY2(outcome.error->message.contains(messageHolds), qPrintable(outcome.error->message));
    }
    QCOMPARE(outcome.message, datagram);
    QCOMPARE(pendingDatagram(listener, datagram.isEmpty() ? 50 : 2000), datagram);
}

void TestSelectiveCall::numberFileHeldByAnotherDeskIsReported()
{
    QTemporaryDir archive;
    const QString folder = archive.path();
    QVERIFY(createSelectiveArchive(folder, kDeskIp, {{12, QStringLiteral("Anagrafe"), 3, 41}}));
    ServerLink link;
    link.setDestination(QStringLiteral("127.0.0.1"), 9);
    // Another desk in the middle of its call holds the number file.
    Result<NumberFile> held = NumberFile::open(numberFilePath(folder, 12), NumberFile::Mode::ExistingOnly);
    QVERIFY(held.ok());

    SelectiveCallRequest request = anagrafeRequest(folder);
    const SelectiveCallOutcome outcome = SelectiveCall::run(request, link);
    QCOMPARE(int(outcome.kind), int(Kind::Failed));
    QVERIFY(outcome.error && outcome.error->kind == ErrorKind::InUse);
    QCOMPARE(storedAttesa(folder, 12).value_or(-1), qint64(3));
}

void TestSelectiveCall::secondCallAfterZeroWaitingAnnouncesTheSameNumber()
{
    QTemporaryDir archive;
    const QString folder = archive.path();
    QVERIFY(createSelectiveArchive(folder, kDeskIp, {{12, QStringLiteral("Anagrafe"), 0, 41}}));
    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::LocalHost, 0));
    ServerLink link;
    link.setDestination(QStringLiteral("127.0.0.1"), listener.localPort());
    SelectiveCallRequest request = anagrafeRequest(folder);
    QCOMPARE(int(SelectiveCall::run(request, link).kind), int(Kind::NothingWaiting));

    QVERIFY(storedAttesa(folder, 12).has_value());
    Result<std::unique_ptr<ArchiveBuilder>> builder =
        ArchiveBuilder::openExisting(QDir(folder).filePath(QStringLiteral("TQ3MAX.mdb")));
    QVERIFY(builder.ok());
    QVERIFY((*builder)->execute(QStringLiteral("UPDATE Servizi SET Attesa = 1 WHERE Id = 12")).ok());
    builder->reset();

    const SelectiveCallOutcome second = SelectiveCall::run(request, link);
    QCOMPARE(int(second.kind), int(Kind::Announced));
    QCOMPARE(pendingDatagram(listener, 2000), QByteArray("041#Sportello 1#Anagrafe"));
    QCOMPARE(numberFileBytes(folder, 12), QByteArray("42\r\n"));
}

void TestSelectiveCall::failedNumberWriteGivesTheCountBack()
{
    QTemporaryDir archive;
    const QString folder = archive.path();
    QVERIFY(createSelectiveArchive(folder, kDeskIp, {{12, QStringLiteral("Anagrafe"), 3, 41}}));
    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress::LocalHost, 0));
    ServerLink link;
    link.setDestination(QStringLiteral("127.0.0.1"), listener.localPort());
    SelectiveCallRequest request = anagrafeRequest(folder);
    std::optional<qint64> attesaWhileWriting;
    request.writeNumber = [&](NumberFile &, qint32) -> Result<void> {
        attesaWhileWriting = storedAttesa(folder, 12);
        return makeError(ErrorKind::Io, QStringLiteral("Impossibile scrivere il file del numero del servizio !"),
                         QStringLiteral("disk full"));
    };
    const SelectiveCallOutcome outcome = SelectiveCall::run(request, link);
    QCOMPARE(attesaWhileWriting.value_or(-1), qint64(2));
    QCOMPARE(int(outcome.kind), int(Kind::Failed));
    QVERIFY(outcome.error);
    QCOMPARE(outcome.error->message, QStringLiteral("Numero non salvato (NrAllS12.txt): chiamata annullata !"));
    QCOMPARE(storedAttesa(folder, 12).value_or(-1), qint64(3));
    QCOMPARE(numberFileBytes(folder, 12), QByteArray("41\r\n"));
    QCOMPARE(pendingDatagram(listener, 100), QByteArray());
}

QTEST_GUILESS_MAIN(TestSelectiveCall)
#include "tst_selectivecall.moc"

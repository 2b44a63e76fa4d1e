#include "console/SelectiveCall.h"
#include "console/ServerLink.h"

#include "CallArchive.h"

#include <QTest>

using namespace tq3;
using namespace tq3::test;
using Kind = SelectiveCallOutcome::Kind;

namespace {

const QString kDeskIp = QStringLiteral("10.0.0.5");
constexpr qint64 kBystander = 7;  // 65543 cut to 16 bits

// One call of a service of desk "Sportello 1" and what it must leave behind;
// left at their defaults, the archive holds number 41 and Attesa 3 for
// service 12 "Anagrafe" and the call must change nothing.
struct Case final {
    QString server = QStringLiteral("127.0.0.1");
    int rows = 2;
    QString state = QStringLiteral("True");  // null: no server-state file
    qint64 id = 12;
    QString name = QStringLiteral("Anagrafe");
    bool inServizi = true;
    QByteArray number = "41\r\n";  // null: no number file
    qint64 attesa = 3;
    enum Fault { None, NoDatabase, NumberFileHeld, NumberWriteFails } fault = None;
    Kind kind = Kind::Failed;
    int read = -1;
    QByteArray numberAfter = {};                   // null: unchanged
    std::optional<qint64> attesaAfter = {};        // nullopt: unchanged
    QByteArray datagram = {};                      // null: nothing sent
    QString message = {};                          // null: no error; else held by the error's message
};

} // namespace

Q_DECLARE_METATYPE(Case)

class TestSelectiveCall final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void callEndsAsItShould_data();
    void callEndsAsItShould();
};

void TestSelectiveCall::callEndsAsItShould_data()
{
    QTest::addColumn<Case>("c");
    const QByteArray sent041 = "041#Sportello 1#Anagrafe";
    QTest::newRow("number 41 with three waiting is announced as 041 and leaves 42 and two waiting")
        << Case{.kind = Kind::Announced, .read = 41, .numberAfter = "42\r\n", .attesaAfter = 2, .datagram = sent041};
    QTest::newRow("a count of zero shows the number read and changes nothing")
        << Case{.attesa = 0, .kind = Kind::NothingWaiting, .read = 41};
    QTest::newRow("False in the server-state file stops the call before anything is read")
        << Case{.state = QStringLiteral("False"), .kind = Kind::ServerNotListening};
    QTest::newRow("false in small letters lets the call go ahead")
        << Case{.state = QStringLiteral("false"), .kind = Kind::Announced, .read = 41, .numberAfter = "42\r\n",
                .attesaAfter = 2, .datagram = sent041};
    QTest::newRow("number 1000 is sent with all four digits")
        << Case{.number = "1000\r\n", .attesa = 1, .kind = Kind::Announced, .read = 1000, .numberAfter = "1001\r\n",
                .attesaAfter = 0, .datagram = "1000#Sportello 1#Anagrafe"};
    QTest::newRow("an accented service name is sent as one byte")
        << Case{.name = QStringLiteral("Identità"), .kind = Kind::Announced, .read = 41, .numberAfter = "42\r\n",
                .attesaAfter = 2, .datagram = "041#Sportello 1#Identit\xE0"};
    QTest::newRow("the unset server address is refused before anything is read")
        << Case{.server = QStringLiteral("0.0.0.0"), .kind = Kind::UnsetServerAddress};
    QTest::newRow("a server address equal to this PC's address is refused")
        << Case{.server = kDeskIp, .kind = Kind::ServerIsThisPc};
    QTest::newRow("a desk without services is refused") << Case{.rows = 0, .kind = Kind::NoService};
    QTest::newRow("a missing number file ends the call silently with nothing changed")
        << Case{.number = QByteArray(), .kind = Kind::NoNumberFile};
    QTest::newRow("an empty number file is reported and nothing changes")
        << Case{.number = " ", .message = QStringLiteral("non contiene un numero")};
    QTest::newRow("a number file holding text is reported and nothing changes")
        << Case{.number = "abc\r\n", .message = QStringLiteral("NrAllS12.txt")};
    QTest::newRow("a missing server-state file is reported and nothing changes")
        << Case{.state = QString(), .message = QStringLiteral("stato del Server")};
    QTest::newRow("an unreachable database is reported and the number file keeps its number")
        << Case{.fault = Case::NoDatabase, .read = 41, .message = QStringLiteral("Archivio")};
    QTest::newRow("a number file held by another desk is reported and nothing changes")
        << Case{.fault = Case::NumberFileHeld, .message = QStringLiteral("in uso da un'altra postazione")};
    QTest::newRow("a failed write of the next number gives the count back and sends nothing")
        << Case{.fault = Case::NumberWriteFails, .read = 41,
                .message = QStringLiteral("Numero non salvato (NrAllS12.txt): chiamata annullata !")};
    QTest::newRow("a service without its Servizi row is reported and no other row changes")
        << Case{.id = 65536 + kBystander, .inServizi = false, .read = 41, .message = QStringLiteral("65543")};
    QTest::newRow("a service id beyond 16 bits is called as itself")
        << Case{.id = 65536 + kBystander, .kind = Kind::Announced, .read = 41, .numberAfter = "42\r\n",
                .attesaAfter = 2, .datagram = sent041};
}

void TestSelectiveCall::callEndsAsItShould()
{
    QFETCH(Case, c);
    CallArchive archive;
    QVERIFY(archive.addService(kDeskIp, kBystander, QStringLiteral("Altro"), 5, 100));
    QVERIFY(c.inServizi ? archive.addService(kDeskIp, c.id, c.name, c.attesa) : archive.addDeskService(kDeskIp, c.id, c.name) > 0);
    archive.setServerState(c.state);
    if (!c.number.isNull())
        QVERIFY(archive.writeNumberFile(c.id, c.number));
    if (c.fault == Case::NoDatabase)
        QVERIFY(QFile::remove(QDir(archive.folder()).filePath(QStringLiteral("TQ3MAX.mdb"))));
    std::optional<Result<NumberFile>> held;  // another desk in the middle of its call
    if (c.fault == Case::NumberFileHeld)
        QVERIFY(held.emplace(NumberFile::open(numberFilePath(archive.folder(), c.id), NumberFile::Mode::ExistingOnly)).ok());
    const QByteArray numberBefore = archive.numberFile(c.id).value_or("<missing>");
    const std::optional<qint64> attesaBefore = archive.attesa(c.id);

    DatagramListener listener;
    ServerLink link;
    link.setDestination(c.server, listener.port());
    SelectiveCallRequest request{.archiveFolder = archive.folder(), .deskName = QStringLiteral("Sportello 1"),
                                       .ipLocale = kDeskIp, .serverAddress = c.server, .serviceId = c.id,
                                       .serviceName = c.name, .serviceRows = c.rows,
                                       .numberFilePatience = std::chrono::milliseconds(100), .writeNumber = {}};
    std::optional<qint64> attesaWhileWriting;
    if (c.fault == Case::NumberWriteFails) {
        request.writeNumber = [&](NumberFile &, qint32) -> Result<void> {
            attesaWhileWriting = archive.attesa(c.id);
            return makeError(ErrorKind::Io, QStringLiteral("Impossibile scrivere !"), QStringLiteral("disk full"));
        };
    }
    const SelectiveCallOutcome outcome = SelectiveCall::run(request, link);

    QCOMPARE(outcome.kind, c.kind);
    QCOMPARE(outcome.numberRead.value_or(-1), c.read);
    const QString message = outcome.error ? outcome.error->message : QString();
    QVERIFY2(c.message.isNull() ? message.isNull() : message.contains(c.message), qPrintable(message));
    QCOMPARE(archive.numberFile(c.id).value_or("<missing>"), c.numberAfter.isNull() ? numberBefore : c.numberAfter);
    QCOMPARE(archive.attesa(c.id), c.attesaAfter ? c.attesaAfter : attesaBefore);
    if (c.fault == Case::NumberWriteFails)
        QCOMPARE(attesaWhileWriting, std::optional<qint64>(c.attesa - 1));
    QCOMPARE(archive.attesa(kBystander), std::optional<qint64>(5));
    QCOMPARE(archive.numberFile(kBystander), std::optional<QByteArray>("100\r\n"));
    QCOMPARE(outcome.message, c.datagram);
    QCOMPARE(listener.receive(1, c.datagram.isNull() ? 50 : 2000).value(0), c.datagram);
}

QTEST_GUILESS_MAIN(TestSelectiveCall)
#include "tst_selectivecall.moc"

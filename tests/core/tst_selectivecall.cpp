#include "core/calls/SelectiveCall.h"
#include "core/calls/ServerLink.h"

#include "CallArchive.h"

#include <QTest>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;
using Kind = CallOutcome::Kind;

namespace {

const QString kDeskIp = u"10.0.0.5"_s;
constexpr qint64 kBystander = 7;  // 65543 cut to 16 bits

// One call of a service of desk "Sportello 1" and how it ends; by default
// service 12 "Anagrafe" has number 41 and Attesa 3. An announced call leaves
// the next number and one less waiting; any other end changes nothing.
struct Case final {
    QString server = u"127.0.0.1"_s;
    int rows = 2;
    QString state = u"True"_s;  // null: no server-state file
    qint64 id = 12;
    QString name = u"Anagrafe"_s;
    bool inServizi = true;
    QByteArray number = "41\r\n";  // null: no number file
    qint64 attesa = 3;
    enum Fault { None, NoDatabase, NumberFileHeld, NumberWriteFails } fault = None;
    Kind kind = Kind::Failed;
    int read = -1;
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
    const qint64 beyond16Bits = 65536 + kBystander;
    QTest::newRow("number 41 with three waiting is announced as 041 and leaves 42 and two waiting")
        << Case{.kind = Kind::Announced, .read = 41, .datagram = sent041};
    QTest::newRow("a count of zero shows the number read and changes nothing")
        << Case{.attesa = 0, .kind = Kind::NothingWaiting, .read = 41};
    QTest::newRow("a negative count calls and is lowered, as the system always did")
        << Case{.attesa = -2, .kind = Kind::Announced, .read = 41, .datagram = sent041};
    QTest::newRow("False in the server-state file stops the call before anything is read")
        << Case{.state = u"False"_s, .kind = Kind::ServerNotListening};
    QTest::newRow("false in small letters lets the call go ahead")
        << Case{.state = u"false"_s, .kind = Kind::Announced, .read = 41, .datagram = sent041};
    QTest::newRow("number 1000 is sent with all four digits")
        << Case{.number = "1000\r\n", .kind = Kind::Announced, .read = 1000, .datagram = "1000#Sportello 1#Anagrafe"};
    QTest::newRow("an accented service name is sent as one byte")
        << Case{.name = u"Identità"_s, .kind = Kind::Announced, .read = 41, .datagram = "041#Sportello 1#Identit\xE0"};
    QTest::newRow("the unset server address is refused before anything is read")
        << Case{.server = u"0.0.0.0"_s, .kind = Kind::UnsetServerAddress};
    QTest::newRow("a server address equal to this PC's address is refused")
        << Case{.server = kDeskIp, .kind = Kind::ServerIsThisPc};
    QTest::newRow("a desk without services is refused") << Case{.rows = 0, .kind = Kind::NoService};
    QTest::newRow("a missing number file ends the call silently") << Case{.number = {}, .kind = Kind::NoNumberFile};
    QTest::newRow("an empty number file is reported") << Case{.number = " ", .message = u"non contiene un numero"_s};
    QTest::newRow("a missing server-state file is reported") << Case{.state = {}, .message = u"stato del Server"_s};
    QTest::newRow("an unreachable database is reported and the number file keeps its number")
        << Case{.fault = Case::NoDatabase, .message = u"Archivio"_s};
    QTest::newRow("a number file held by another desk is reported")
        << Case{.fault = Case::NumberFileHeld, .message = u"in uso da un'altra postazione"_s};
    QTest::newRow("a failed write of the next number gives the count back and sends nothing")
        << Case{.fault = Case::NumberWriteFails, .read = 41,
                .message = u"Numero non salvato (NrAllS12.txt): chiamata annullata !"_s};
    QTest::newRow("a service without its Servizi row is reported and no other row changes")
        << Case{.id = beyond16Bits, .inServizi = false, .message = u"65543"_s};
    QTest::newRow("a service id beyond 16 bits is called as itself")
        << Case{.id = beyond16Bits, .kind = Kind::Announced, .read = 41, .datagram = sent041};
}

void TestSelectiveCall::callEndsAsItShould()
{
    QFETCH(Case, c);
    CallArchive archive;
    QVERIFY(archive.addService(kDeskIp, kBystander, u"Altro"_s, 5, 100));
    QVERIFY(c.inServizi ? archive.addService(kDeskIp, c.id, c.name, c.attesa)
                        : archive.addDeskService(kDeskIp, c.id, c.name) > 0);
    archive.setServerState(c.state);
    if (!c.number.isNull())
        QVERIFY(archive.writeNumberFile(c.id, c.number));
    if (c.fault == Case::NoDatabase)
        QVERIFY(removeQueueDatabase(archive.folder()));
    std::optional<Result<NumberFile>> held;  // another desk in the middle of its call
    if (c.fault == Case::NumberFileHeld)
        QVERIFY(held.emplace(NumberFile::open(numberFilePath(archive.folder(), c.id), NumberFile::Mode::ExistingOnly)));
    const QByteArray numberBefore = archive.numberFile(c.id).value_or("<missing>");
    const std::optional<qint64> attesaBefore = archive.attesa(c.id);

    DatagramListener listener;
    ServerLink link;
    link.setDestination(c.server, listener.port());
    CallRequest request{.archiveFolder = archive.folder(), .deskName = u"Sportello 1"_s, .ipLocale = kDeskIp,
                        .serverAddress = c.server, .numberFilePatience = std::chrono::milliseconds(100),
                        .serviceId = c.id, .serviceName = c.name, .serviceRows = c.rows};
    std::optional<qint64> attesaWhileWriting;
    if (c.fault == Case::NumberWriteFails) {
        request.writeNumber = [&](NumberFile &, qint32) -> Result<void> {
            attesaWhileWriting = archive.attesa(c.id);
            return makeError(ErrorKind::Io, u"Impossibile scrivere !"_s, u"disk full"_s);
        };
    }
    const CallOutcome outcome = SelectiveCall(link).run(request);

    QCOMPARE(outcome.kind, c.kind);
    QCOMPARE(outcome.numberRead.value_or(-1), c.read);
    const QString message = outcome.error ? outcome.error->message : QString();
    QVERIFY2(c.message.isNull() ? message.isNull() : message.contains(c.message), qPrintable(message));
    const bool announced = c.kind == Kind::Announced;
    QCOMPARE(archive.numberFile(c.id).value_or("<missing>"),
             announced ? QByteArray::number(c.read + 1) + "\r\n" : numberBefore);
    QCOMPARE(archive.attesa(c.id), announced ? std::optional<qint64>(c.attesa - 1) : attesaBefore);
    if (c.fault == Case::NumberWriteFails)
        QCOMPARE(attesaWhileWriting, std::optional<qint64>(c.attesa - 1));
    QCOMPARE(archive.attesa(kBystander), std::optional<qint64>(5));
    QCOMPARE(archive.numberFile(kBystander), std::optional<QByteArray>("100\r\n"));
    QCOMPARE(listener.receive(1, c.datagram.isNull() ? 50 : 2000).value(0), c.datagram);
}

TQ3_ARCHIVE_TEST_MAIN(TestSelectiveCall)
#include "tst_selectivecall.moc"

// One desk without its window, as a separate process: at the go file it runs
// the console's own call code and prints a "call" line per announced number
// and any "busy" or "fail" line.
//
//   call_desk <go> <port> automatic <archive> <desk> <ip>
//     calls until nothing is left for the desk: "call <key> <service id> <number> <ora>"
//   call_desk <go> <port> selective <archive> <desk> <ip> <service id> <count>
//     calls the service `count` times: "call <number as sent>"

#include "TestSupport.h"
#include "core/calls/AutomaticCall.h"
#include "core/calls/SelectiveCall.h"
#include "core/calls/ServerLink.h"

#include <QCoreApplication>

using namespace tq3;
using namespace Qt::StringLiterals;

namespace {

QString failure(const QString &what, const std::optional<Error> &error)
{
    return what + (error ? u' ' + error->message + u" ["_s + error->detail + u']' : QString());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool selective = args.value(3) == QLatin1String("selective");
    if (args.size() != (selective ? 9 : 7))
        return 64;

    const QString server = u"127.0.0.1"_s;
    ServerLink link;
    link.setDestination(server, args.at(2).toInt());
    test::waitForGo(args.at(1));
    if (selective) {
        // The name as the console's list shows it.
        const qint64 serviceId = args.at(7).toLongLong();
        QString name;
        const Result<QList<DeskServiceWaiting>> list = loadDeskServices(args.at(4), args.at(6));
        for (const DeskServiceWaiting &row : list ? *list : QList<DeskServiceWaiting>())
            name = row.servizioId == serviceId ? row.servizioTesto : name;
        const CallRequest request{.archiveFolder = args.at(4), .deskName = args.at(5), .ipLocale = args.at(6),
                                  .serverAddress = server, .serviceId = serviceId, .serviceName = name,
                                  .serviceRows = 1};
        SelectiveCall call(link);
        for (int i = args.at(8).toInt(); i > 0; --i) {
            const CallOutcome outcome = call.run(request);
            if (outcome.kind != CallOutcome::Kind::Announced || outcome.error) {
                test::print(failure(u"fail %1"_s.arg(int(outcome.kind)), outcome.error));
                break;
            }
            test::print(u"call "_s + outcome.call.numberText);
            app.processEvents();
        }
    } else {
        const CallRequest request{.archiveFolder = args.at(4), .deskName = args.at(5), .ipLocale = args.at(6),
                                  .serverAddress = server};
        AutomaticCall call(link);
        for (int busy = 0;;) {
            const CallOutcome r = call.run(request);
            app.processEvents();
            if (r.kind == CallOutcome::Kind::Announced) {
                const AnnouncedCall &c = r.call;
                test::print(u"call %1 %2 %3 %4"_s.arg(c.ticketKey).arg(c.serviceId).arg(c.number).arg(c.ora));
                continue;
            }
            if (r.kind != CallOutcome::Kind::Failed)
                break;  // nothing left for this desk
            // A busy archive is worth another press, as the operator would.
            const bool isBusy = r.error && r.error->kind == ErrorKind::InUse;
            test::print(failure(isBusy ? u"busy"_s : u"fail"_s, r.error));
            if (!isBusy || ++busy == 50)
                break;
        }
    }
    test::print();
    return 0;
}

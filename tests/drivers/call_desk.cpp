// One desk without its window, as a separate process: waits for the barrier
// file, runs the console's own call code and writes "start <ms>", a "call"
// line per announced number, any "busy" or "fail" line and "end <ms>" into
// the result file.
//
//   call_desk <barrier> <result> <port> automatic <archive> <desk> <ip>
//     calls until nothing is left for the desk: "call <key> <service id> <number> <ora>"
//   call_desk <barrier> <result> <port> selective <archive> <desk> <ip> <service id> <count>
//     calls the service `count` times: "call <number as sent>"

#include "CallArchive.h"
#include "DatabaseFixture.h"
#include "console/AutomaticCall.h"
#include "console/SelectiveCall.h"
#include "console/ServerLink.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>

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
    const bool selective = args.value(4) == QLatin1String("selective");
    if (args.size() != (selective ? 10 : 8))
        return 64;
    while (!QFileInfo::exists(args.at(1)))
        QThread::usleep(200);

    const QString server = u"127.0.0.1"_s;
    ServerLink link;
    link.setDestination(server, args.at(3).toInt());
    QStringList lines{u"start %1"_s.arg(test::nowMs())};
    if (selective) {
        const SelectiveCallRequest request{.archiveFolder = args.at(5), .deskName = args.at(6), .ipLocale = args.at(7),
                                           .serverAddress = server, .serviceId = args.at(8).toLongLong(),
                                           .serviceName = u"Anagrafe"_s, .serviceRows = 1, .writeNumber = {}};
        for (int i = args.at(9).toInt(); i > 0; --i) {
            const SelectiveCallOutcome outcome = SelectiveCall::run(request, link);
            if (outcome.kind != SelectiveCallOutcome::Kind::Announced || outcome.error) {
                lines << failure(u"fail %1"_s.arg(int(outcome.kind)), outcome.error);
                break;
            }
            lines << u"call "_s + outcome.numberText;
            app.processEvents();
        }
    } else {
        const AutomaticCallSetup setup{.archiveFolder = args.at(5), .deskName = args.at(6), .ipLocale = args.at(7),
                                       .serverAddress = server};
        AutomaticCall call(link);
        for (int busy = 0;;) {
            const AutomaticCallResult r = call.run(setup);
            app.processEvents();
            if (r.outcome == AutomaticOutcome::Announced) {
                lines << u"call %1 %2 %3 %4"_s.arg(r.ticketKey).arg(r.servizioId).arg(r.number).arg(r.ora);
                continue;
            }
            if (r.outcome != AutomaticOutcome::Failed)
                break;  // nothing left for this desk
            // A busy archive is worth another press, as the operator would.
            const bool isBusy = r.error && r.error->kind == ErrorKind::InUse;
            lines << failure(isBusy ? u"busy"_s : u"fail"_s, r.error);
            if (!isBusy || ++busy == 50)
                break;
        }
    }
    lines << u"end %1"_s.arg(test::nowMs());
    return test::writeFile(args.at(2), lines.join(u'\n').toUtf8() + '\n') ? 0 : 2;
}

// One desk without its window, as a separate process: at the go file it runs
// the console's own call code, prints "call <ticket key> <service id> <number
// as sent> <ora>" per announced number and a "busy" or "fail" line when a
// press fails.
//
//   call_desk <go> <port> selective|automatic <archive> <desk> <ip> <service ids> <count> [<work folder> <stop file>]
//
// A selective desk presses for the services (comma-separated) in turn; an
// automatic one ignores them. It stops after `count` calls (0: once nothing is
// left for it). With a work folder the desk keeps its journal there and first
// makes good a call cut short, as the console's load does, the operator
// confirming at once; with a stop file too it calls until the file exists and
// nothing waits. call_desk_faults, the fault-point build, dies at the first
// passage of the point TQ3_KILL_AT.

#include "TestSupport.h"
#include "core/calls/AutomaticCall.h"
#include "core/calls/SelectiveCall.h"
#include "core/calls/ServerLink.h"
#include "core/store/FaultPoint.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <csignal>
#include <unistd.h>

using namespace tq3;
using namespace Qt::StringLiterals;
using Kind = CallOutcome::Kind;

#ifdef TQ3_FAULT_INJECTION
void tq3::faultPoint(const char *name)
{
    if (qgetenv("TQ3_KILL_AT") != name)
        return;
    test::print(u"killed at "_s + QLatin1String(name));
    ::kill(::getpid(), SIGKILL);
}
#endif

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 9 && args.size() != 11)
        return 64;
    const QString server = u"127.0.0.1"_s, work = args.value(9), stop = args.value(10);
    ServerLink link;
    link.setDestination(server, args.at(2).toInt());
    CallRequest request{.archiveFolder = args.at(4), .deskName = args.at(5), .ipLocale = args.at(6),
                        .serverAddress = server, .serviceRows = 1,
                        .journalPath = work.isEmpty() ? QString() : QDir(work).filePath(kCallJournalFileName)};
    std::unique_ptr<Call> call = std::make_unique<AutomaticCall>(link);
    if (args.at(3) == u"selective")
        call = std::make_unique<SelectiveCall>(link);
    const QStringList services = args.at(7).split(u',');
    const int count = args.at(8).toInt();
    QHash<qint64, QString> names;  // as the console's list shows them
    if (const Result<QList<DeskServiceWaiting>> list = loadDeskServices(request.archiveFolder, request.ipLocale)) {
        for (const DeskServiceWaiting &row : *list)
            names[row.servizioId] = row.servizioTesto;
    }
    const auto announce = [&](const CallOutcome &outcome) {
        const CallOutcome made = outcome.kind == Kind::Unannounced ? call->announceTaken(request, outcome.call) : outcome;
        if (const AnnouncedCall &c = made.call; made.kind == Kind::Announced && !made.error)
            test::print(u"call %1 %2 %3 %4"_s.arg(c.ticketKey).arg(c.serviceId).arg(c.numberText, c.ora));
        return made;
    };

    test::waitForGo(args.at(1));
    if (const std::optional<CallOutcome> left = call->recover(request))
        announce(*left);
    for (qsizetype press = 0, announced = 0, idle = 0, busy = 0; count == 0 || announced < count; ++press) {
        request.serviceId = services.at(press % services.size()).toLongLong();
        request.serviceName = names.value(request.serviceId);
        const CallOutcome outcome = announce(call->run(request));
        app.processEvents();
        if (outcome.kind == Kind::Announced && !outcome.error) {
            ++announced;
            idle = 0;
        } else if (outcome.kind == Kind::Failed || outcome.error || (stop.isEmpty() && count > 0)) {
            // A busy archive is worth another press, as the operator would.
            const bool isBusy = outcome.error && outcome.error->kind == ErrorKind::InUse;
            test::print(u"%1 %2 %3"_s.arg(isBusy ? u"busy"_s : u"fail"_s).arg(int(outcome.kind))
                            .arg(outcome.error ? outcome.error->message + u" ["_s + outcome.error->detail + u']' : u""_s));
            if (!isBusy || (stop.isEmpty() && ++busy == 50))
                break;
        } else if (++idle >= services.size()) {  // nothing waits for this desk: done, or the kiosk will draw more
            if (stop.isEmpty() || QFileInfo::exists(stop))
                break;
            idle = 0;
            QThread::msleep(2);
        }
    }
    test::print();
    return 0;
}

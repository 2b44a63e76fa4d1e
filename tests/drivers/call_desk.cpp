// One desk without its window, as a separate process: at the go file it runs
// the console's own call code and prints a "call" line per announced number
// and any "busy" or "fail" line.
//
//   call_desk <go> <port> automatic <archive> <desk> <ip> [<work folder> <stop file>]
//     calls until nothing is left for the desk: "call <key> <service id> <number> <ora>"
//   call_desk <go> <port> selective <archive> <desk> <ip> <service ids> <count> [<work folder> <stop file>]
//     calls the services (comma-separated) in turn, `count` times: "call <number as sent> <service id>"
//
// With a work folder the desk keeps its journal there and first makes good a
// call cut short, as the console's load does, the operator confirming at once;
// with a stop file too it calls until the file exists and nothing waits.
// call_desk_faults, the fault-point build, dies at the TQ3_KILL_PASS-th
// passage (default the first) of the point TQ3_KILL_AT.

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

#ifdef TQ3_FAULT_INJECTION
void tq3::faultPoint(const char *name)
{
    static const QByteArray at = qgetenv("TQ3_KILL_AT");
    static int left = std::max(1, qEnvironmentVariableIntValue("TQ3_KILL_PASS"));
    if (at != name || --left != 0)
        return;
    test::print(u"killed at "_s + QLatin1String(name));
    ::kill(::getpid(), SIGKILL);
}
#endif

namespace {

QString failure(const QString &what, const std::optional<Error> &error)
{
    return what + (error ? u' ' + error->message + u" ["_s + error->detail + u']' : QString());
}

void printCall(const AnnouncedCall &c, bool selective)
{
    test::print(selective ? u"call %1 %2"_s.arg(c.numberText).arg(c.serviceId)
                          : u"call %1 %2 %3 %4"_s.arg(c.ticketKey).arg(c.serviceId).arg(c.number).arg(c.ora));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool selective = args.value(3) == QLatin1String("selective");
    const qsizetype fixed = selective ? 9 : 7;
    if (args.size() != fixed && args.size() != fixed + 2)
        return 64;
    const QString work = args.value(fixed);
    const QString stop = args.value(fixed + 1);

    const QString server = u"127.0.0.1"_s;
    ServerLink link;
    link.setDestination(server, args.at(2).toInt());
    CallRequest request{.archiveFolder = args.at(4), .deskName = args.at(5), .ipLocale = args.at(6),
                        .serverAddress = server, .serviceRows = 1,
                        .journalPath = work.isEmpty() ? QString() : QDir(work).filePath(kCallJournalFileName)};
    std::unique_ptr<Call> call;
    if (selective)
        call = std::make_unique<SelectiveCall>(link);
    else
        call = std::make_unique<AutomaticCall>(link);
    const QStringList services = selective ? args.at(7).split(u',') : QStringList{u"0"_s};
    // The names as the console's list shows them.
    QHash<qint64, QString> names;
    const Result<QList<DeskServiceWaiting>> list = loadDeskServices(request.archiveFolder, request.ipLocale);
    for (const DeskServiceWaiting &row : list ? *list : QList<DeskServiceWaiting>())
        names[row.servizioId] = row.servizioTesto;
    const int count = selective ? args.at(8).toInt() : 0;  // 0: until nothing is left

    test::waitForGo(args.at(1));
    const auto confirmed = [&](const CallOutcome &outcome) {
        return outcome.kind == CallOutcome::Kind::Unannounced ? call->announceTaken(request, outcome.call) : outcome;
    };
    if (const std::optional<CallOutcome> left = call->recover(request)) {
        if (const CallOutcome made = confirmed(*left); made.kind == CallOutcome::Kind::Announced)
            printCall(made.call, selective);
    }
    int announced = 0;
    for (qsizetype press = 0, idle = 0, busy = 0; count == 0 || announced < count; ++press) {
        request.serviceId = services.at(press % services.size()).toLongLong();
        request.serviceName = names.value(request.serviceId);
        const CallOutcome outcome = confirmed(call->run(request));
        app.processEvents();
        if (outcome.kind == CallOutcome::Kind::Announced && !outcome.error) {
            printCall(outcome.call, selective);
            ++announced;
            idle = 0;
            continue;
        }
        if (outcome.kind == CallOutcome::Kind::Failed || outcome.error) {
            // A busy archive is worth another press, as the operator would.
            const bool isBusy = outcome.error && outcome.error->kind == ErrorKind::InUse;
            test::print(failure(isBusy ? u"busy"_s : u"fail %1"_s.arg(int(outcome.kind)), outcome.error));
            if (!isBusy || (stop.isEmpty() && ++busy == 50))
                break;
            continue;
        }
        if (stop.isEmpty() && count > 0) {
            test::print(u"fail %1"_s.arg(int(outcome.kind)));
            break;
        }
        // Nothing waits for this desk: done, or the kiosk will draw more.
        if (++idle < services.size())
            continue;
        if (stop.isEmpty() || QFileInfo::exists(stop))
            break;
        idle = 0;
        QThread::msleep(2);
    }
    test::print();
    return 0;
}

// One desk without its window, as a separate process:
//
//   call_desk <go> <port> selective|automatic <archive> <desk> <ip> <service ids> <work folder> <stop file>
//
// At the go file it makes good a call cut short, as the console's load does
// with the operator confirming at once, then presses "Avanti" (a selective
// desk for the comma-separated services in turn) with the console's own call
// code until the stop file exists and nothing waits. It prints "call <ticket
// key> <service id> <number as sent> <ora>" per announced number and a "busy"
// or "fail" line when a press fails. The journal is kept in the work folder.
// call_desk_faults, the fault-point build, dies at the point TQ3_KILL_AT.

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
    if (args.size() != 10)
        return 64;
    ServerLink link;
    link.setDestination(u"127.0.0.1"_s, args.at(2).toInt());
    CallRequest request{.archiveFolder = args.at(4), .deskName = args.at(5), .ipLocale = args.at(6),
                        .serverAddress = u"127.0.0.1"_s, .serviceRows = 1,
                        .journalPath = QDir(args.at(8)).filePath(kCallJournalFileName)};
    std::unique_ptr<Call> call = std::make_unique<AutomaticCall>(link);
    if (args.at(3) == u"selective")
        call = std::make_unique<SelectiveCall>(link);
    const QStringList services = args.at(7).split(u',');
    QHash<qint64, QString> names;  // as the console's list shows them
    if (const Result<QList<DeskServiceWaiting>> list = loadDeskServices(request.archiveFolder, request.ipLocale)) {
        for (const DeskServiceWaiting &row : *list)
            names[row.servizioId] = row.servizioTesto;
    }
    const auto announce = [&](const CallOutcome &outcome) {
        const bool taken = outcome.kind == Kind::Unannounced;
        const CallOutcome made = taken ? call->announceTaken(request, outcome.call) : outcome;
        if (const AnnouncedCall &c = made.call; made.kind == Kind::Announced && !made.error)
            test::print(u"call %1 %2 %3 %4"_s.arg(c.ticketKey).arg(c.serviceId).arg(c.numberText, c.ora));
        return made;
    };

    test::waitForGo(args.at(1));
    if (const std::optional<CallOutcome> left = call->recover(request))
        announce(*left);
    for (qsizetype press = 0, idle = 0;; ++press) {
        request.serviceId = services.at(press % services.size()).toLongLong();
        request.serviceName = names.value(request.serviceId);
        const CallOutcome outcome = announce(call->run(request));
        app.processEvents();
        if (const std::optional<Error> &error = outcome.error; error || outcome.kind == Kind::Failed) {
            // A busy archive is worth another press, as the operator would.
            const Error shown = error.value_or(Error{});
            test::print(u"%1 %2 %3 [%4]"_s.arg(error && error->kind == ErrorKind::InUse ? u"busy"_s : u"fail"_s)
                            .arg(int(outcome.kind)).arg(shown.message, shown.detail));
            if (!error || error->kind != ErrorKind::InUse)
                break;
        } else if (outcome.kind == Kind::Announced) {
            idle = 0;
        } else if (++idle >= services.size()) {  // nothing waits for this desk: done, or the kiosk will draw more
            if (QFileInfo::exists(args.at(9)))
                break;
            idle = 0;
            QThread::msleep(2);
        }
    }
    test::print();
    return 0;
}

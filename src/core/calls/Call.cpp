#include "core/calls/Call.h"

#include "core/calls/AutomaticCall.h"
#include "core/calls/SelectiveCall.h"
#include "core/calls/ServerLink.h"
#include "core/store/FaultPoint.h"

namespace tq3 {

std::optional<CallOutcome> Call::refusedAddress(const CallRequest &request)
{
    if (request.serverAddress == QLatin1String("0.0.0.0"))
        return ended(CallOutcome::Kind::UnsetServerAddress,
                     {QStringLiteral("Indirizzo Host errato !Controllare impostazioni !")});
    if (request.serverAddress == request.ipLocale)
        return ended(CallOutcome::Kind::ServerIsThisPc,
                     {QStringLiteral("Client e Server non devono"), QStringLiteral("coesistere sullo stesso PC !")});
    return std::nullopt;
}

std::optional<CallOutcome> Call::recover(const CallRequest &request)
{
    if (request.journalPath.isEmpty())
        return std::nullopt;
    const Result<std::optional<JournalEntry>> found = CallJournal::read(request.journalPath);
    CallJournal journal(request.journalPath);
    if (!found) {
        // An entry that does not read can never be made good: told once.
        if (found.error().kind == ErrorKind::InvalidValue)
            (void)journal.clear();
        CallOutcome outcome = ended(CallOutcome::Kind::Failed, {found.error().message});
        outcome.error = found.error();
        return outcome;
    }
    if (!found->has_value())
        return std::nullopt;
    const JournalEntry &entry = **found;
    switch (entry.stage) {
    case JournalEntry::Stage::Lowering:
    case JournalEntry::Stage::Marking:
        // Cut while its change was still to come: nothing to make good.
        (void)journal.clear();
        return std::nullopt;
    case JournalEntry::Stage::Marked:
        return giveBackMarkedTicket(request, journal, entry);
    case JournalEntry::Stage::Lowered:
    case JournalEntry::Stage::NumberTaken:
        break;
    }
    return resumeSelectiveCall(request, journal, entry);
}

CallOutcome Call::announceTaken(const CallRequest &request, const AnnouncedCall &call)
{
    CallJournal journal(request.journalPath);
    return sendTaken(journal, call);
}

CallOutcome Call::sendTaken(CallJournal &journal, const AnnouncedCall &call)
{
    faultPoint(fault::kCallBeforeSend);
    CallOutcome outcome = ended(CallOutcome::Kind::Announced);
    outcome.numberRead = call.number;
    outcome.call = call;
    // A datagram that cannot be sent leaves the call completed at the desk,
    // as the system's did: the operator sees the number and the error.
    if (Result<void> sent = link().announce(call.message); !sent)
        outcome.error = sent.error();
    (void)journal.clear();
    return outcome;
}

} // namespace tq3

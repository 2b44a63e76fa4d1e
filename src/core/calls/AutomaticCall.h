#pragma once

#include "core/calls/Call.h"

namespace tq3 {

inline const QString kNoServiceForDeskText = QStringLiteral("Nessun Servizio associato !");
inline const QString kServerNotListeningText = QStringLiteral("Server non in ascolto ! ");

// The oldest waiting ticket of the desk's services is marked called (only
// where still uncalled, so no two desks ever take one ticket), written to its
// service's number file and announced. The server-state check runs before
// the mark, and a mark is given back when the call cannot be completed, so a
// ticket is never called without being announced; the journal names the
// ticket from its mark to its datagram.
class AutomaticCall final : public Call {
public:
    using Call::Call;
    CallOutcome run(const CallRequest &request) override;
};

// A ticket marked by a call cut short, back in the queue; nothing to tell
// unless it could not be put back (the journal then keeps it).
std::optional<CallOutcome> giveBackMarkedTicket(const CallRequest &request, CallJournal &journal,
                                                const JournalEntry &entry);

} // namespace tq3

#include "core/calls/Recall.h"

#include "core/calls/ServerLink.h"

namespace tq3 {

CallOutcome Recall::run(const CallRequest &request, const AnnouncedCall &last) const
{
    if (std::optional<CallOutcome> refused = Call::refusedAddress(request))
        return *std::move(refused);
    CallOutcome outcome;
    outcome.kind = CallOutcome::Kind::Announced;
    outcome.call = last;
    if (Result<void> sent = m_link.announce(last.message); !sent)
        outcome.error = sent.error();
    return outcome;
}

} // namespace tq3

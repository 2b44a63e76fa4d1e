#pragma once

#include "core/calls/Call.h"

namespace tq3 {

// "Richiama": the desk's last call announced again, the same datagram byte
// for byte. Refused as a call is when the server address is unset or this
// PC's own (the console may have been opened again with new settings since
// the call); otherwise nothing is read, taken or recorded.
class Recall final {
public:
    explicit Recall(ServerLink &link) : m_link(link) {}

    // Announced with `last`, and `error` when the datagram could not be
    // sent; or one of the two address refusals with its message.
    CallOutcome run(const CallRequest &request, const AnnouncedCall &last) const;

private:
    ServerLink &m_link;
};

} // namespace tq3

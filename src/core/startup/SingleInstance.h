#pragma once

#include "platform/InstanceGuard.h"

#include <QString>

namespace tq3 {

// Refuses a second client on the same machine, whichever user starts it. The
// claim lasts as long as the object; a client that crashed or was killed
// leaves no claim behind.
class SingleInstance final {
public:
    // Clients of one `scope` exclude each other: by default the machine, or
    // the scope named by TQ3_INSTANCE_SCOPE where tests run real clients side
    // by side; tests in one process give any text of their own (a folder).
    explicit SingleInstance(QString scope = {});

    // True when no other client runs: this one now holds the claim.
    bool claim();
    bool isClaimed() const { return m_guard.isClaimed(); }

    static inline const QString kName = QStringLiteral("tq3max-client");

private:
    QString m_scope;
    platform::InstanceGuard m_guard;
};

} // namespace tq3

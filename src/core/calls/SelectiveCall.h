#pragma once

#include "core/calls/Call.h"
#include "core/store/QueueDatabase.h"

namespace tq3 {

// The desk's services with their waiting counts, read afresh (the selective
// console's service list, by service id).
Result<QList<DeskServiceWaiting>> loadDeskServices(const QString &archiveFolder, const QString &ipLocale);

// The chosen service's next number. The number is read and its successor
// written under one held lock of the number file, and Attesa is lowered by
// one conditional statement taken while that lock is held (file lock first,
// then single-statement database writes), so two desks never announce the
// same number and the count is never lowered twice for one call.
class SelectiveCall final : public Call {
public:
    using Call::Call;
    CallOutcome run(const CallRequest &request) override;
};

} // namespace tq3

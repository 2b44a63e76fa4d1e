#pragma once

#include "core/calls/Call.h"
#include "core/store/QueueDatabase.h"

namespace tq3 {

// The desk's services with their waiting counts, read afresh (the selective
// console's service list, by service id).
Result<QList<DeskServiceWaiting>> loadDeskServices(const QString &archiveFolder, const QString &ipLocale);

// The chosen service's next number. Attesa is lowered first, by one
// conditional statement, so two desks never both take the last customer;
// only then is the number read and its successor written, under one short
// hold of the number file that never waits for the database, and the count
// goes back when no number can be taken. The journal follows each step.
class SelectiveCall final : public Call {
public:
    using Call::Call;
    CallOutcome run(const CallRequest &request) override;
};

// A selective call cut after Attesa was lowered, carried on from its journal
// entry: Unannounced with the number taken, or the count given back.
CallOutcome resumeSelectiveCall(const CallRequest &request, CallJournal &journal, const JournalEntry &entry);

} // namespace tq3

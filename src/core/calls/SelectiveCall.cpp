#include "core/calls/SelectiveCall.h"

#include "core/calls/ServerLink.h"
#include "core/store/FaultPoint.h"
#include "core/store/QueueDatabase.h"

#include <QFileInfo>

namespace tq3 {

namespace {

using Kind = CallOutcome::Kind;
using Stage = JournalEntry::Stage;

CallOutcome failed(Error error, std::optional<qint32> numberRead = std::nullopt)
{
    CallOutcome outcome;
    outcome.kind = Kind::Failed;
    outcome.numberRead = numberRead;
    outcome.message = QStringList{error.message};
    outcome.error = std::move(error);
    return outcome;
}

// The store's message, with the file it concerns, so the operator can act.
Error withFile(Error error, const QString &path)
{
    error.message = error.message + QStringLiteral(" (") + QFileInfo(path).fileName() + u')';
    return error;
}

CallOutcome unannounced(const JournalEntry &entry)
{
    CallOutcome outcome;
    outcome.kind = Kind::Unannounced;
    outcome.numberRead = entry.number;
    AnnouncedCall &call = outcome.call;
    call.number = entry.number;
    call.numberText = formatCallNumber(entry.number);
    call.desk = entry.desk;
    call.service = entry.service;
    call.serviceId = entry.serviceId;
    call.message = callMessage(call.numberText, call.desk, call.service);
    return outcome;
}

// With Attesa lowered for this call: the number read and its successor
// written under one short hold of the number file, the journal noting the
// number first. When no number can be taken the customer counted off waits
// again; if even that fails, the journal keeps the call for the next load.
CallOutcome takeNumber(const CallRequest &request, QueueDatabase &db, CallJournal &journal, JournalEntry entry)
{
    // First of all, right after the change in the archive.
    entry.stage = Stage::Lowered;
    const Result<void> lowered = journal.write(entry);
    const QString path = numberFilePath(request.archiveFolder, entry.serviceId);
    const auto giveBack = [&](std::optional<Error> error, std::optional<qint32> numberRead,
                              const QString &whenGivenBack) {
        if (Result<void> restored = db.raiseWaiting(entry.serviceId); !restored) {
            Error lost = error.value_or(restored.error());
            lost.message = QStringLiteral("Numero non salvato (%1): chiamata annullata, controllare l'attesa del "
                                          "servizio !").arg(QFileInfo(path).fileName());
            lost.detail += QLatin1String("; ") + restored.error().detail;
            return failed(lost, numberRead);
        }
        (void)journal.clear();
        if (!error) {
            CallOutcome silent;
            silent.kind = Kind::NoNumberFile;
            return silent;
        }
        if (!whenGivenBack.isEmpty())
            error->message = whenGivenBack;
        return failed(*error, numberRead);
    };

    if (!lowered)
        return giveBack(lowered.error(), std::nullopt, {});
    faultPoint(fault::kCallLowered);

    Result<NumberFile> opened = NumberFile::open(path, NumberFile::Mode::ExistingOnly, request.numberFilePatience);
    if (!opened) {
        // No number file: a silent end, as the system's call had.
        if (opened.error().kind == ErrorKind::NotFound)
            return giveBack(std::nullopt, std::nullopt, {});
        return giveBack(withFile(opened.error(), path), std::nullopt, {});
    }
    NumberFile &file = *opened;
    const Result<qint32> read = file.read();
    if (!read)
        return giveBack(withFile(read.error(), path), std::nullopt, {});
    const Result<qint32> next = successor(*read);
    if (!next)
        return giveBack(next.error(), *read, {});
    entry.stage = Stage::NumberTaken;
    entry.number = *read;
    if (Result<void> noted = journal.write(entry, CallJournal::Flush::Later); !noted)
        return giveBack(noted.error(), *read, {});
    const Result<void> written = request.writeNumber ? request.writeNumber(file, *next) : file.write(*next);
    (void)journal.flush();  // the number is taken whatever the flush says
    if (!written) {
        return giveBack(written.error(), *read,
                        QStringLiteral("Numero non salvato (%1): chiamata annullata !").arg(QFileInfo(path).fileName()));
    }
    return unannounced(entry);
}

Error missingService(qint64 serviceId)
{
    return makeError(ErrorKind::NotFound, QStringLiteral("Servizio %1 non presente in archivio !").arg(serviceId),
                     QStringLiteral("no Servizi row with Id %1").arg(serviceId));
}

} // namespace

Result<QList<DeskServiceWaiting>> loadDeskServices(const QString &archiveFolder, const QString &ipLocale)
{
    Result<std::unique_ptr<QueueDatabase>> database = QueueDatabase::open(archiveFolder);
    if (!database)
        return database.error();
    return (*database)->deskServicesWaiting(ipLocale);
}

CallOutcome SelectiveCall::run(const CallRequest &request)
{
    if (std::optional<CallOutcome> refused = refusedAddress(request))
        return *refused;
    if (std::optional<CallOutcome> pending = recover(request))
        return *pending;
    if (request.serviceRows <= 0)
        return ended(Kind::NoService);

    Result<QString> serverState = readServerState(request.archiveFolder);
    if (!serverState)
        return failed(serverState.error());
    if (serverNotListening(*serverState))
        return ended(Kind::ServerNotListening);

    // An address that cannot be used is found before anything changes.
    if (Result<void> ready = link().prepare(); !ready)
        return failed(ready.error());

    Result<std::unique_ptr<QueueDatabase>> database = QueueDatabase::open(request.archiveFolder);
    if (!database)
        return failed(database.error());
    QueueDatabase &db = **database;
    const Result<std::optional<QVariant>> waiting = db.serviceWaiting(request.serviceId);
    if (!waiting)
        return failed(waiting.error());
    if (!waiting->has_value())
        return failed(missingService(request.serviceId));

    // A count that is no number (SQLite keeps whatever text is stored) would
    // pass "Attesa <> 0" and be lowered to -1.
    bool isCount = (*waiting)->isNull();
    if (!isCount)
        (void)(*waiting)->toLongLong(&isCount);
    if (!isCount) {
        return failed(makeError(ErrorKind::InvalidValue,
                                QStringLiteral("Attesa del servizio %1 non valida in archivio !").arg(request.serviceId),
                                QStringLiteral("Servizi Id %1: Attesa '%2'").arg(request.serviceId).arg((*waiting)->toString())));
    }

    CallJournal journal(request.journalPath);
    JournalClearer clearer{journal};
    const JournalEntry entry{.serviceId = request.serviceId, .service = request.serviceName,
                             .desk = request.deskName};
    if (Result<void> noted = journal.write(entry); !noted)
        return failed(noted.error());
    const Result<bool> lowered = db.lowerWaiting(request.serviceId);
    if (!lowered)
        return failed(lowered.error());
    if (!*lowered) {
        // Nobody waits: the number is read only to be shown.
        const QString path = numberFilePath(request.archiveFolder, request.serviceId);
        Result<NumberFile> file = NumberFile::open(path, NumberFile::Mode::ExistingOnly, request.numberFilePatience);
        if (!file && file.error().kind == ErrorKind::NotFound)
            return ended(Kind::NoNumberFile);
        const Result<qint32> read = file ? file->read() : Result<qint32>(file.error());
        if (!read)
            return failed(withFile(read.error(), path));
        CallOutcome outcome = ended(Kind::NothingWaiting);
        outcome.numberRead = *read;
        return outcome;
    }

    clearer.keep = true;  // from here the journal is the call's to clear or keep
    const CallOutcome taken = takeNumber(request, db, journal, entry);
    if (taken.kind != Kind::Unannounced)
        return taken;
    database->reset();
    return sendTaken(journal, taken.call);
}

CallOutcome resumeSelectiveCall(const CallRequest &request, CallJournal &journal, const JournalEntry &entry)
{
    if (entry.stage == Stage::NumberTaken) {
        // Its successor in the file: the number was taken. Still the number
        // itself: the call was cut before the write, and takes it now.
        const QString path = numberFilePath(request.archiveFolder, entry.serviceId);
        Result<NumberFile> file = NumberFile::open(path, NumberFile::Mode::ExistingOnly, request.numberFilePatience);
        const Result<qint32> now = file ? file->read() : Result<qint32>(file.error());
        if (!now)
            return failed(withFile(now.error(), path));
        if (*now != entry.number)
            return unannounced(entry);
    }
    Result<std::unique_ptr<QueueDatabase>> database = QueueDatabase::open(request.archiveFolder);
    if (!database)
        return failed(database.error());
    return takeNumber(request, **database, journal, entry);
}

} // namespace tq3

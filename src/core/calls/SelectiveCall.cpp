#include "core/calls/SelectiveCall.h"

#include "core/calls/ServerLink.h"
#include "core/store/QueueDatabase.h"

#include <QFileInfo>

namespace tq3 {

namespace {

using Kind = CallOutcome::Kind;

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

// With Attesa lowered for this call: the number read and its successor
// written under one short hold of the number file. When no number can be
// taken the customer counted off waits again.
CallOutcome takeNumber(const CallRequest &request, QueueDatabase &db)
{
    const QString path = numberFilePath(request.archiveFolder, request.serviceId);
    const auto giveBack = [&](std::optional<Error> error, std::optional<qint32> numberRead,
                              const QString &whenGivenBack) {
        if (Result<void> restored = db.raiseWaiting(request.serviceId); !restored) {
            Error lost = error.value_or(restored.error());
            lost.message = QStringLiteral("Numero non salvato (%1): chiamata annullata, controllare l'attesa del "
                                          "servizio !").arg(QFileInfo(path).fileName());
            lost.detail += QLatin1String("; ") + restored.error().detail;
            return failed(lost, numberRead);
        }
        if (!error) {
            CallOutcome silent;
            silent.kind = Kind::NoNumberFile;
            return silent;
        }
        if (!whenGivenBack.isEmpty())
            error->message = whenGivenBack;
        return failed(*error, numberRead);
    };

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
    const Result<void> written = request.writeNumber ? request.writeNumber(file, *next) : file.write(*next);
    if (!written) {
        return giveBack(written.error(), *read,
                        QStringLiteral("Numero non salvato (%1): chiamata annullata !").arg(QFileInfo(path).fileName()));
    }
    CallOutcome outcome;
    outcome.kind = Kind::Announced;
    outcome.numberRead = *read;
    return outcome;
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

    CallOutcome outcome = takeNumber(request, db);
    if (outcome.kind != Kind::Announced)
        return outcome;
    database->reset();

    AnnouncedCall &call = outcome.call;
    call.number = *outcome.numberRead;
    call.numberText = formatCallNumber(call.number);
    call.desk = request.deskName;
    call.service = request.serviceName;
    call.serviceId = request.serviceId;
    call.message = callMessage(call.numberText, call.desk, call.service);
    if (Result<void> sent = link().announce(call.message); !sent)
        outcome.error = sent.error();
    return outcome;
}

} // namespace tq3

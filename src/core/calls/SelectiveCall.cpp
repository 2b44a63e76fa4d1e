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

// The store's message, with the file or service it concerns where the
// operator needs it to act.
Error withContext(Error error, const QString &context)
{
    if (!context.isEmpty())
        error.message = error.message + QLatin1Char(' ') + context;
    return error;
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

    const QString numberPath = numberFilePath(request.archiveFolder, request.serviceId);
    const QString numberFileName = QFileInfo(numberPath).fileName();
    Result<NumberFile> opened =
        NumberFile::open(numberPath, NumberFile::Mode::ExistingOnly, request.numberFilePatience);
    if (!opened) {
        if (opened.error().kind == ErrorKind::NotFound)
            return ended(Kind::NoNumberFile);
        return failed(withContext(opened.error(), QStringLiteral("(%1)").arg(numberFileName)));
    }
    // The lock is held from here until the successor is written.
    std::optional<NumberFile> numberFile(std::move(opened).value());
    const Result<qint32> read = numberFile->read();
    if (!read)
        return failed(withContext(read.error(), QStringLiteral("(%1)").arg(numberFileName)));
    const qint32 number = *read;
    const Result<qint32> next = successor(number);
    if (!next)
        return failed(next.error(), number);

    Result<std::unique_ptr<QueueDatabase>> database = QueueDatabase::open(request.archiveFolder);
    if (!database)
        return failed(database.error(), number);
    QueueDatabase &db = **database;
    const Result<std::optional<QVariant>> waiting = db.serviceWaiting(request.serviceId);
    if (!waiting)
        return failed(waiting.error(), number);
    if (!waiting->has_value()) {
        return failed(makeError(ErrorKind::NotFound,
                                QStringLiteral("Servizio %1 non presente in archivio !").arg(request.serviceId),
                                QStringLiteral("no Servizi row with Id %1").arg(request.serviceId)),
                      number);
    }
    // A count that is no number (SQLite keeps whatever text is stored) would
    // pass "Attesa > 0" and be lowered to -1.
    bool isCount = (*waiting)->isNull();
    if (!isCount)
        (void)(*waiting)->toLongLong(&isCount);
    if (!isCount) {
        return failed(makeError(ErrorKind::InvalidValue,
                                QStringLiteral("Attesa del servizio %1 non valida in archivio !").arg(request.serviceId),
                                QStringLiteral("Servizi Id %1: Attesa '%2'").arg(request.serviceId).arg((*waiting)->toString())),
                      number);
    }
    const Result<bool> lowered = db.lowerWaiting(request.serviceId);
    if (!lowered)
        return failed(lowered.error(), number);
    if (!*lowered) {
        CallOutcome outcome = ended(Kind::NothingWaiting);
        outcome.numberRead = number;
        return outcome;
    }

    const Result<void> written =
        request.writeNumber ? request.writeNumber(*numberFile, *next) : numberFile->write(*next);
    if (!written) {
        // Nothing is called, so the ticket counted off goes back.
        Error error = written.error();
        if (Result<void> restored = db.raiseWaiting(request.serviceId); restored) {
            error.message = QStringLiteral("Numero non salvato (%1): chiamata annullata !").arg(numberFileName);
        } else {
            error.message =
                QStringLiteral("Numero non salvato (%1): chiamata annullata, controllare l'attesa del servizio !")
                    .arg(numberFileName);
            error.detail += QLatin1String("; ") + restored.error().detail;
        }
        return failed(error, number);
    }
    numberFile.reset();
    database->reset();

    CallOutcome outcome = ended(Kind::Announced);
    outcome.numberRead = number;
    AnnouncedCall &call = outcome.call;
    call.number = number;
    call.numberText = formatCallNumber(number);
    call.desk = request.deskName;
    call.service = request.serviceName;
    call.serviceId = request.serviceId;
    call.message = callMessage(call.numberText, call.desk, call.service);
    if (Result<void> sent = link().announce(call.message); !sent)
        outcome.error = sent.error();
    return outcome;
}

} // namespace tq3

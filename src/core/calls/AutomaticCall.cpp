#include "core/calls/AutomaticCall.h"

#include "core/calls/ServerLink.h"
#include "core/store/FaultPoint.h"
#include "core/store/QueueDatabase.h"

#include <limits>

namespace tq3 {

namespace {

const QString kTicketStaysWaiting = QStringLiteral("Il biglietto resta in attesa.");

using Kind = CallOutcome::Kind;

CallOutcome outcome(Kind what, QStringList message = {})
{
    CallOutcome result;
    result.kind = what;
    result.message = std::move(message);
    return result;
}

CallOutcome failure(const QString &line0, Error error, const QString &line1 = QString())
{
    CallOutcome result;
    result.kind = Kind::Failed;
    result.message << line0;
    if (!line1.isEmpty())
        result.message << line1;
    result.error = std::move(error);
    return result;
}

// The archive's own words ("Archivio occupato, riprovare !") under the step
// that failed.
CallOutcome databaseFailure(const QString &line0, const Error &error)
{
    return failure(line0, error, error.message == line0 ? QString() : error.message);
}

std::optional<qint32> ticketNumber(const QVariant &value)
{
    if (value.isNull() || !value.isValid())
        return std::nullopt;
    bool ok = false;
    const qint64 number = value.toString().trimmed().toLongLong(&ok);
    if (!ok || number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(number);
}

// The ticket's own service text; a ticket without one takes the desk's name
// for that service, so that the announcement still names it.
QString ticketService(const Ticket &ticket, const QList<DeskService> &deskServices)
{
    const QString own = ticket.servizio.isNull() ? QString() : ticket.servizio.toString();
    if (!own.trimmed().isEmpty())
        return own;
    for (const DeskService &service : deskServices) {
        if (service.servizioId == ticket.servizioId && !service.servizioTesto.trimmed().isEmpty())
            return service.servizioTesto;
    }
    return QString();
}

} // namespace

CallOutcome AutomaticCall::run(const CallRequest &request)
{
    if (std::optional<CallOutcome> refused = refusedAddress(request))
        return *refused;
    if (std::optional<CallOutcome> pending = recover(request))
        return *pending;

    // Opened afresh at each call, so that every call sees the queue as it stands.
    Result<std::unique_ptr<QueueDatabase>> opened = QueueDatabase::open(request.archiveFolder);
    if (!opened)
        return databaseFailure(QStringLiteral("Archivio del Server non raggiungibile !"), opened.error());
    QueueDatabase &database = **opened;

    const Result<QList<DeskService>> deskServices = database.deskServices(request.ipLocale);
    if (!deskServices)
        return databaseFailure(QStringLiteral("Lettura dei servizi della postazione non riuscita !"), deskServices.error());
    if (deskServices->isEmpty())
        return outcome(Kind::NoService);

    CallJournal journal(request.journalPath);
    JournalClearer clearer{journal};
    JournalEntry entry;
    bool serverChecked = false;
    Ticket ticket;
    qint32 number = 0;
    QString service;
    for (;;) {
        const Result<std::optional<Ticket>> oldest = database.oldestWaitingTicket(request.ipLocale);
        if (!oldest)
            return databaseFailure(QStringLiteral("Lettura della coda di attesa non riuscita !"), oldest.error());
        if (!oldest->has_value()) {
            const Result<bool> anyWaiting = database.anyWaitingTicket();
            if (!anyWaiting)
                return databaseFailure(QStringLiteral("Lettura della coda di attesa non riuscita !"), anyWaiting.error());
            return *anyWaiting ? outcome(Kind::NothingWaiting)
                               : outcome(Kind::QueueEmpty, {QStringLiteral("Al momento coda di attesa vuota !")});
        }
        ticket = **oldest;

        // A ticket that cannot be announced would stay the oldest for ever and
        // hold up every desk behind it: it leaves the queue, and the operator
        // has the server's administrator mend the row.
        const std::optional<qint32> ticketNr = ticketNumber(ticket.nrDaChiamare);
        service = ticketService(ticket, *deskServices);
        if (!ticketNr || service.isEmpty()) {
            const QString line0 = !ticketNr ? QStringLiteral("Biglietto senza numero: tolto dalla coda !")
                                            : QStringLiteral("Biglietto senza servizio: tolto dalla coda !");
            const Error unusable = makeError(ErrorKind::InvalidValue, line0,
                                             QStringLiteral("CodaFromTotem Id %1: NrDaChiamare '%2', Servizio '%3'")
                                                 .arg(ticket.key)
                                                 .arg(ticket.nrDaChiamare.toString(), ticket.servizio.toString()));
            if (const Result<bool> removed = database.markTicketCalled(ticket.key); !removed)
                return databaseFailure(QStringLiteral("Registrazione della chiamata non riuscita !"), removed.error());
            return failure(line0, unusable, QStringLiteral("Avvisare il responsabile del Server."));
        }
        number = *ticketNr;

        if (!serverChecked) {
            // Before the mark: a ticket taken while the server module is not
            // listening would never be announced.
            const Result<QString> state = readServerState(request.archiveFolder);
            if (!state)
                return failure(state.error().message, state.error());
            if (serverNotListening(*state))
                return outcome(Kind::ServerNotListening);
            if (Result<void> ready = link().prepare(); !ready)
                return failure(ready.error().message, ready.error());
            serverChecked = true;
        }

        entry = {.stage = JournalEntry::Stage::Marking, .serviceId = ticket.servizioId, .service = service,
                 .desk = request.deskName, .number = number, .ticketKey = ticket.key};
        if (Result<void> noted = journal.write(entry); !noted)
            return failure(noted.error().message, noted.error());
        const Result<bool> marked = database.markTicketCalled(ticket.key);
        if (!marked)
            return databaseFailure(QStringLiteral("Registrazione della chiamata non riuscita !"), marked.error());
        if (*marked)
            break;
        // Another desk took this ticket first: the next one is ours to try.
    }

    // From here on the ticket is marked: any failure gives it back, and one
    // that cannot be given back stays in the journal for the next load.
    const auto giveBack = [&](const QString &line0, const Error &error) {
        const Result<void> unmarked = database.unmarkTicketCalled(ticket.key);
        clearer.keep = !unmarked;
        return failure(line0, error,
                       unmarked ? kTicketStaysWaiting
                                : QStringLiteral("Biglietto %1 non rimesso in attesa !").arg(number));
    };
    entry.stage = JournalEntry::Stage::Marked;
    if (Result<void> noted = journal.write(entry); !noted)
        return giveBack(noted.error().message, noted.error());
    faultPoint(fault::kCallMarked);

    {
        // The number file keeps the number called, for the server module.
        Result<NumberFile> numberFile = NumberFile::open(numberFilePath(request.archiveFolder, ticket.servizioId),
                                                         NumberFile::Mode::CreateIfMissing,
                                                         request.numberFilePatience);
        if (!numberFile) {
            const ErrorKind kind = numberFile.error().kind;
            const QString line = kind == ErrorKind::InUse ? QStringLiteral("File del numero in uso, riprovare !")
                : kind == ErrorKind::NotFound             ? numberFile.error().message
                                                          : QStringLiteral("Impossibile scrivere il numero chiamato !");
            return giveBack(line, numberFile.error());
        }
        if (Result<void> written = numberFile->write(number); !written)
            return giveBack(QStringLiteral("Impossibile scrivere il numero chiamato !"), written.error());
    }

    CallOutcome result = outcome(Kind::Announced);
    AnnouncedCall &call = result.call;
    call.number = number;
    call.numberText = formatCallNumber(number);
    call.desk = request.deskName;
    call.service = service;
    call.message = callMessage(call.numberText, call.desk, call.service);
    call.serviceId = ticket.servizioId;
    call.ticketKey = ticket.key;
    call.ora = ticket.ora;
    faultPoint(fault::kCallBeforeSend);
    if (Result<void> sent = link().announce(call.message); !sent)
        return giveBack(sent.error().message, sent.error());
    return result;
}

std::optional<CallOutcome> giveBackMarkedTicket(const CallRequest &request, CallJournal &journal,
                                                const JournalEntry &entry)
{
    // The entry names a ticket only once the conditional mark said this desk
    // won it, and goes as soon as the ticket is given back: while it stands,
    // the ticket is still this call's, and no other desk can have called it.
    Result<std::unique_ptr<QueueDatabase>> database = QueueDatabase::open(request.archiveFolder);
    const Result<void> unmarked = database ? (*database)->unmarkTicketCalled(entry.ticketKey)
                                           : Result<void>(database.error());
    if (!unmarked) {
        return failure(unmarked.error().message, unmarked.error(),
                       QStringLiteral("Biglietto %1 non rimesso in attesa !").arg(entry.number));
    }
    (void)journal.clear();
    return std::nullopt;
}

} // namespace tq3

#pragma once

#include "core/store/CallFiles.h"
#include "core/store/CallJournal.h"
#include "core/store/Result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

namespace tq3 {

class ServerLink;

// What a console knows when "Avanti" is pressed.
struct CallRequest final {
    QString archiveFolder = {};   // PercorsoServer
    QString deskName = {};        // the desk name as the console shows it
    QString ipLocale = {};        // this PC's address: the desk's key in the queue database
    QString serverAddress = {};   // IndirizzoServer, copied at the console's load
    std::chrono::milliseconds numberFilePatience = kNumberFilePatience;

    // A selective desk's choice: the service, its name as shown, and the rows
    // of the desk's service list as last loaded.
    qint64 serviceId = 0;
    QString serviceName = {};
    qsizetype serviceRows = 0;

    // Writes the successor into the held number file; empty: NumberFile::write.
    // Tests put a failing write here, which a real file held open by this
    // process cannot be made to produce.
    std::function<Result<void>(NumberFile &, qint32)> writeNumber = {};

    // The journal of the call in progress (ChiamataInCorso.txt in the desk's
    // working folder); empty: none is kept.
    QString journalPath = {};
};

// A call that went out: what the console shows and the history keeps.
struct AnnouncedCall final {
    qint32 number = 0;
    QString numberText;  // as sent: at least three digits
    QString desk;
    QString service;
    QByteArray message;  // the datagram
    qint64 serviceId = 0;
    qint64 ticketKey = 0;  // automatic calls: the ticket's row
    QString ora;           // automatic calls: when the ticket was drawn
};

// How a press of "Avanti" ended, for the console to show.
struct CallOutcome final {
    enum class Kind {
        UnsetServerAddress,  // "0.0.0.0": nothing touched
        ServerIsThisPc,      // the server address is IpLocale: nothing touched
        NoService,           // the desk has no service: nothing touched
        ServerNotListening,  // the server-state file reads "False": nothing changed
        NoNumberFile,        // selective: the service has no number file, a silent end
        NothingWaiting,      // selective: Attesa 0; automatic: only other desks' tickets wait
        QueueEmpty,          // automatic: no ticket waits at all
        Announced,           // the number taken and the datagram sent
        Unannounced,         // recovery: a number taken by a call cut short, for announceTaken()
        Failed,              // `message` and `error` say why; nothing stays changed
    };

    Kind kind = Kind::Failed;
    // Selective calls: the number read from the number file, once the call
    // got that far (the console shows it, also after some failures).
    std::optional<qint32> numberRead;
    AnnouncedCall call;  // Announced
    // One or two lines for the operator: refusals, the empty queue, failures.
    QStringList message;
    // Failed: the cause with its detail. Announced: set when the datagram
    // could not be sent (a selective call stays completed at the desk).
    std::optional<Error> error;
};

// One press of "Avanti", without any window: the consoles, the multi-desk
// test driver and the benchmarks run this same code. The link is the
// console's own and lives as long as it does.
class Call {
public:
    explicit Call(ServerLink &link) : m_link(link) {}
    virtual ~Call() = default;
    Call(const Call &) = delete;
    Call &operator=(const Call &) = delete;

    // A call that a crash cut short is made good first (recover()); its
    // outcome, when it has one for the operator, is this press's.
    virtual CallOutcome run(const CallRequest &request) = 0;

    // The two refusals both consoles make before anything is read.
    static std::optional<CallOutcome> refusedAddress(const CallRequest &request);

    // At the console's load: the call the journal shows unfinished is made
    // good. A selective number taken but not announced comes back as
    // Unannounced, for the operator to confirm; an automatic ticket is given
    // back to the queue without a word. Nothing when nothing was left.
    std::optional<CallOutcome> recover(const CallRequest &request);
    // Sends a number that recover() found taken, once the operator confirms.
    CallOutcome announceTaken(const CallRequest &request, const AnnouncedCall &call);

protected:
    ServerLink &link() const { return m_link; }

    static CallOutcome ended(CallOutcome::Kind kind, QStringList message = {})
    {
        CallOutcome outcome;
        outcome.kind = kind;
        outcome.message = std::move(message);
        return outcome;
    }
    // The selective call's end: the datagram out, then the journal cleared.
    CallOutcome sendTaken(CallJournal &journal, const AnnouncedCall &call);

    // Clears the journal when a call ends, unless the call leaves its entry
    // for the next load to make good.
    struct JournalClearer final {
        CallJournal &journal;
        bool keep = false;
        ~JournalClearer()
        {
            if (!keep)
                (void)journal.clear();
        }
    };

private:
    ServerLink &m_link;
};

} // namespace tq3

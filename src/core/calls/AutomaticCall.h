#pragma once

#include "core/store/CallFiles.h"
#include "core/store/Result.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace tq3 {

class ServerLink;

// What an automatic desk needs for one call.
struct AutomaticCallSetup final {
    QString archiveFolder;   // PercorsoServer
    QString deskName;        // the desk name as the console shows it
    QString ipLocale;        // the desk's key in the queue database
    QString serverAddress;   // IndirizzoServer
    std::chrono::milliseconds numberFilePatience = kNumberFilePatience;
};

enum class AutomaticOutcome {
    UnsetServerAddress,  // message window, nothing touched
    ServerIsThisPc,      // message window, nothing touched
    NoServiceForDesk,    // the service label says so, no box
    QueueEmpty,          // message window
    NothingForDesk,      // waiting tickets belong to other desks' services only
    ServerNotListening,  // box; the chosen ticket stays waiting
    Announced,
    Failed,              // message window; nothing stays changed
};

inline const QString kNoServiceForDeskText = QStringLiteral("Nessun Servizio associato !");
inline const QString kQueueEmptyText = QStringLiteral("Al momento coda di attesa vuota !");
inline const QString kServerNotListeningText = QStringLiteral("Server non in ascolto ! ");

struct AutomaticCallResult final {
    AutomaticOutcome outcome = AutomaticOutcome::Failed;

    // The ticket called (Announced).
    qint64 ticketKey = 0;
    qint64 servizioId = 0;
    qint32 number = 0;
    QString service;
    QString ora;
    QString numberText;  // as sent: at least three digits

    // One or two lines for the message window (refusals, empty queue, failures).
    QStringList message;
    // The cause of a failure, with its technical detail.
    std::optional<Error> error;

    // The desk's second screen shows the last call again after these outcomes.
    bool refreshesSecondScreen() const
    {
        return outcome == AutomaticOutcome::Announced || outcome == AutomaticOutcome::NothingForDesk
            || outcome == AutomaticOutcome::ServerNotListening;
    }
};

// One press of "Avanti" at an automatic desk: the oldest waiting ticket of the
// desk's services is marked called (only where still uncalled, so no two desks
// ever take one ticket), written to its service's number file and announced.
// The server-state check runs before the mark, and a mark is given back when
// the call cannot be completed, so a ticket is never called without being
// announced. Touches no widget: the console shows the result.
class AutomaticCall final {
public:
    explicit AutomaticCall(ServerLink &link);

    AutomaticCallResult run(const AutomaticCallSetup &setup);

private:
    ServerLink &m_link;
};

} // namespace tq3

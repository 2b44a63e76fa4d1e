#pragma once

#include "core/store/CallFiles.h"
#include "core/store/QueueDatabase.h"
#include "core/store/Result.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

namespace tq3 {

class ServerLink;

// What the selective console knows when "Avanti" is pressed.
struct SelectiveCallRequest final {
    QString archiveFolder;   // PercorsoServer
    QString deskName;        // the desk name as the console shows it
    QString ipLocale;        // this PC's address
    QString serverAddress;   // IndirizzoServer, copied at the console's load
    qint64 serviceId = 0;    // IdServizio: the chosen service
    QString serviceName;     // the chosen service's name as the console shows it
    qsizetype serviceRows = 0;  // rows of the desk's service list as last loaded
    std::chrono::milliseconds numberFilePatience = kNumberFilePatience;
    // Writes the successor into the held number file; empty: NumberFile::write.
    // Tests put a failing write here, which a real file held open by this
    // process cannot be made to produce.
    std::function<Result<void>(NumberFile &, qint32)> writeNumber;
};

// How a call ended, for the window to show.
struct SelectiveCallOutcome final {
    enum class Kind {
        UnsetServerAddress,    // "0.0.0.0": nothing touched
        ServerIsThisPc,        // server address equal to IpLocale: nothing touched
        NoService,             // the desk has no service: nothing touched
        ServerNotListening,    // the server-state file reads "False": nothing changed
        NoNumberFile,          // the service has no number file: a silent end, nothing changed
        NothingWaiting,        // Attesa 0: the number read is shown, nothing else changed
        Announced,             // number taken, Attesa lowered, datagram sent
        Failed,                // error holds the operator's message
    };

    Kind kind = Kind::Failed;
    // The number read from the number file, once the call got that far: the
    // console shows it (also after NothingWaiting and some failures).
    std::optional<qint32> numberRead;
    // Announced: the parts of the call message and the message itself.
    QString numberText;
    QString deskText;
    QString serviceText;
    QByteArray message;
    // Failed: why. Announced: set when the datagram could not be sent (the
    // call is completed at the desk all the same).
    std::optional<Error> error;

};

// The call of the chosen service's next number, without any window: the
// console, the multi-desk test driver and the benchmarks run this same code.
//
// The number is read and its successor written under one held lock of the
// number file, and Attesa is lowered by one conditional statement taken while
// that lock is held (file lock first, then single-statement database writes),
// so two desks never announce the same number and the count is never lowered
// twice for one call.
// The desk's services with their waiting counts, read afresh (the
// console's service list, by service id).
Result<QList<DeskServiceWaiting>> loadDeskServices(const QString &archiveFolder, const QString &ipLocale);

class SelectiveCall final {
public:
    static SelectiveCallOutcome run(const SelectiveCallRequest &request, ServerLink &link);
};

} // namespace tq3

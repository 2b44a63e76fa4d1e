#pragma once

#include "core/startup/ClientEnvironment.h"
#include "core/startup/SettingsRecord.h"
#include "core/store/Result.h"

#include <QString>
#include <QVariant>

#include <optional>

namespace tq3 {

inline const QString kModeAutomatico = QStringLiteral("Automatico");
inline const QString kModeSelettivo = QStringLiteral("Selettivo");

// What start-up found before the launcher is shown, as far as it got. The
// steps that need a window (messages, the second screen, the launcher's
// fields) are the launcher's; this part reads files and the database only.
struct StartupReport final {
    enum class Stop {
        Completed,         // every step ran
        NotFound,          // no settings file, or no database file in the archive folder
        SettingsUnusable,  // the settings file is incomplete or cannot be read
        DatabaseUnusable,  // the database file exists but cannot be used
        NoConfiguration,   // Configurazione is missing or has no row
    };

    Stop stop = Stop::Completed;
    std::optional<Error> error;  // why it stopped; also a port it could not use

    bool settingsRead = false;       // the desk name and the second-screen box can be shown
    QString mode;                    // "Automatico", "Selettivo" or empty
    bool portUnusable = false;       // RHPort empty or no number: PortaServer left at 0
    bool archiveFolderShown = false; // the archive folder can be shown
    bool addressTaken = false;       // IpLocale is set
    bool showSecondScreen = false;   // SecondoSchermo is exactly "S"
};

// Reads the settings file into the record, opens the queue database of the
// archive folder, reads its Configurazione (mode and port) and takes this
// PC's address, stopping at the first step that fails.
StartupReport runStartup(const ClientEnvironment &environment, SettingsRecord &record);

// ModoClient 1 is "Automatico", 2 "Selettivo", anything else nothing.
QString modeText(std::optional<qint64> modoClient);

// RHPort as a 32-bit number: an integer, or text holding one; nothing for a
// null, empty or non-numeric value.
std::optional<qint32> portNumber(const QVariant &rhPort);

} // namespace tq3

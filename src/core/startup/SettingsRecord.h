#pragma once

#include "core/store/SettingsFile.h"

#include <QString>

namespace tq3 {

// The program-wide shared values; one instance lives for the whole run.
struct SettingsRecord final {
    QString percorsoServer;
    QString nomePostazione;
    QString ipServer;
    QString secondoSchermo;
    bool secondoSchermoAttivo = false;
    QString ipLocale;
    qint32 portaServer = 0;
    qint32 numeroLetto = 0;
    qint32 numeroChiamato = 0;

    // The four fields of the settings file.
    void takeFromFile(const SettingsFile &file)
    {
        percorsoServer = file.percorsoServer;
        nomePostazione = file.nomePostazione;
        ipServer = file.ipServer;
        secondoSchermo = file.secondoSchermo;
    }
};

} // namespace tq3

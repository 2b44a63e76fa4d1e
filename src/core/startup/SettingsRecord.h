#pragma once

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
};

} // namespace tq3

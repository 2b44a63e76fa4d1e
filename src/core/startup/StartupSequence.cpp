#include "core/startup/StartupSequence.h"

#include "core/store/QueueDatabase.h"
#include "core/store/RecordSyntax.h"
#include "core/store/SettingsFile.h"

#include <cmath>
#include <limits>

namespace tq3 {

QString modeText(std::optional<qint64> modoClient)
{
    if (modoClient == 1)
        return kModeAutomatico;
    if (modoClient == 2)
        return kModeSelettivo;
    return {};
}

std::optional<qint32> portNumber(const QVariant &rhPort)
{
    if (rhPort.isNull() || !rhPort.isValid())
        return std::nullopt;
    switch (rhPort.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong: {
        bool ok = false;
        const qlonglong value = rhPort.toLongLong(&ok);
        if (!ok || value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
            return std::nullopt;
        return static_cast<qint32>(value);
    }
    case QMetaType::Double: {
        const double value = rhPort.toDouble();
        if (!std::isfinite(value) || value != std::trunc(value)
            || value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
            return std::nullopt;
        return static_cast<qint32>(value);
    }
    default:
        return record::toNumber(rhPort.toString().trimmed());
    }
}

StartupReport runStartup(const ClientEnvironment &environment, SettingsRecord &record)
{
    StartupReport report;
    auto stop = [&report](StartupReport::Stop why, Error error) {
        report.stop = why;
        report.error = std::move(error);
        return report;
    };

    Result<SettingsFile> settings = SettingsFile::load(environment.settingsFilePath);
    if (!settings) {
        const bool missing = settings.error().kind == ErrorKind::NotFound;
        return stop(missing ? StartupReport::Stop::NotFound : StartupReport::Stop::SettingsUnusable,
                    settings.error());
    }
    record.takeFromFile(*settings);
    report.settingsRead = true;

    // Opened for start-up only: nothing reads Configurazione afterwards, and
    // an archive on a network share is better not held open all day.
    Result<std::unique_ptr<QueueDatabase>> database = QueueDatabase::open(record.percorsoServer);
    if (!database) {
        const bool missing = database.error().kind == ErrorKind::NotFound;
        return stop(missing ? StartupReport::Stop::NotFound : StartupReport::Stop::DatabaseUnusable,
                    database.error());
    }
    Result<Configurazione> configurazione = (*database)->configurazione();
    if (!configurazione) {
        const bool missing = configurazione.error().kind == ErrorKind::NoConfiguration;
        return stop(missing ? StartupReport::Stop::NoConfiguration : StartupReport::Stop::DatabaseUnusable,
                    configurazione.error());
    }
    database->reset();

    report.mode = modeText(configurazione->modoClient);

    if (const std::optional<qint32> port = portNumber(configurazione->rhPort)) {
        record.portaServer = *port;
    } else {
        record.portaServer = 0;
        report.portUnusable = true;
        report.error = makeError(ErrorKind::NotANumber,
                                 QStringLiteral("Porta del Server non valida in Configurazione !"),
                                 QStringLiteral("RHPort: ") + configurazione->rhPort.toString());
    }

    report.archiveFolderShown = true;

    record.ipLocale = environment.localAddress ? environment.localAddress() : localIpv4Address();
    report.addressTaken = true;

    report.showSecondScreen = record.secondoSchermo == QStringLiteral("S");
    return report;
}

} // namespace tq3

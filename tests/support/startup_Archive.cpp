#include "startup_Archive.h"

#include "DatabaseFixture.h"
#include "store/SettingsFile.h"

#include <QDir>
#include <QFile>

namespace tq3::test {

bool createStartupArchive(const QString &folder, StartupDatabase database, const QVariant &modoClient,
                          const QVariant &rhPort)
{
    if (!QDir().mkpath(folder))
        return false;
    switch (database) {
    case StartupDatabase::None:
        return true;
    case StartupDatabase::NotADatabase: {
        QFile file(QDir(folder).filePath(QStringLiteral("TQ3MAX.mdb")));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        return file.write(QByteArray("Standard Jet DB\0\0\0 not a queue database", 40)) == 40;
    }
    case StartupDatabase::WithoutConfigurazione:
    case StartupDatabase::EmptyConfigurazione:
    case StartupDatabase::WithConfigurazione:
        break;
    }
    std::unique_ptr<ArchiveBuilder> builder = createQueueDatabase(folder);
    if (!builder)
        return false;
    if (database == StartupDatabase::WithoutConfigurazione)
        return builder->execute(QStringLiteral("DROP TABLE Configurazione")).ok();
    if (database == StartupDatabase::EmptyConfigurazione)
        return builder->execute(QStringLiteral("DELETE FROM Configurazione")).ok();
    const bool cleared = builder->execute(QStringLiteral("DELETE FROM Configurazione")).ok();
    return cleared
        && builder
               ->execute(QStringLiteral("INSERT INTO Configurazione (ModoClient, RHPort, IPSERVER, SERVERName) "
                                        "VALUES (?, ?, ?, ?)"),
                         {modoClient, rhPort, QStringLiteral("127.0.0.1"), QStringLiteral("SERVER")})
               .ok();
}

bool writeStartupSettings(const QString &path, const QString &percorsoServer, const QString &nomePostazione,
                          const QString &ipServer, const QString &secondoSchermo)
{
    const SettingsFile settings{percorsoServer, nomePostazione, ipServer, secondoSchermo};
    return settings.save(path).ok();
}

bool writeRawSettings(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace tq3::test

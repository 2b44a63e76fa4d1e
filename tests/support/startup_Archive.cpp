#include "startup_Archive.h"

#include "DatabaseFixture.h"
#include "store/SettingsFile.h"

#include <QDir>
#include <QFile>

namespace tq3::test {

bool createStartupArchive(const QString &folder, StartupDatabase database, const QVariant &modoClient,
                          const QVariant &rhPort)
{
    if (!QDir().mkpath(folder) || database == StartupDatabase::None)
        return QDir(folder).exists();
    if (database == StartupDatabase::NotADatabase)
        return writeRawSettings(QDir(folder).filePath(QStringLiteral("TQ3MAX.mdb")),
                                QByteArray("Standard Jet DB\0\0\0 not a queue database", 40));
    std::unique_ptr<ArchiveBuilder> builder = createQueueDatabase(folder);
    if (!builder)
        return false;
    if (database == StartupDatabase::WithoutConfigurazione)
        return builder->execute(QStringLiteral("DROP TABLE Configurazione")).ok();
    if (!builder->execute(QStringLiteral("DELETE FROM Configurazione")).ok())
        return false;
    return database == StartupDatabase::EmptyConfigurazione
        || builder
               ->execute(QStringLiteral("INSERT INTO Configurazione (ModoClient, RHPort, IPSERVER, SERVERName) "
                                        "VALUES (?, ?, ?, ?)"),
                         {modoClient, rhPort, QStringLiteral("127.0.0.1"), QStringLiteral("SERVER")})
               .ok();
}

bool writeStartupSettings(const QString &path, const QString &percorsoServer, const QString &nomePostazione,
                          const QString &ipServer, const QString &secondoSchermo)
{
    return SettingsFile{percorsoServer, nomePostazione, ipServer, secondoSchermo}.save(path).ok();
}

bool writeRawSettings(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace tq3::test

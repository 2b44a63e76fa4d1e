#pragma once

#include <QString>
#include <QVariant>

namespace tq3::test {

// How the archive folder of a start-up test is laid out.
enum class StartupDatabase {
    None,                  // the folder holds no TQ3MAX.mdb
    NotADatabase,          // TQ3MAX.mdb is some other file
    WithoutConfigurazione, // a queue database without the table
    EmptyConfigurazione,   // the table without a row
    WithConfigurazione,    // one row with the given ModoClient and RHPort
};

// Makes `folder` (created when missing) an archive folder; ModoClient and
// RHPort are stored as given (a null QVariant stores NULL, text stays text).
bool createStartupArchive(const QString &folder, StartupDatabase database,
                          const QVariant &modoClient = 2, const QVariant &rhPort = 4000);

// PercorsiClient.txt with the four quoted fields.
bool writeStartupSettings(const QString &path, const QString &percorsoServer,
                          const QString &nomePostazione, const QString &ipServer,
                          const QString &secondoSchermo);

// A file (PercorsiClient.txt, a false TQ3MAX.mdb) holding exactly these bytes.
bool writeRawSettings(const QString &path, const QByteArray &bytes);

} // namespace tq3::test

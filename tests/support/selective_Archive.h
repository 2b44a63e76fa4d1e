#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace tq3::test {

// One service of a selective desk: its Servizi row, its ServiziPostazioni row
// for the desk and, when `number` is set, its number file holding it.
struct SelectiveService final {
    qint64 id = 0;
    QString name;
    qint64 attesa = 0;
    std::optional<qint32> number;
    bool inServizi = true;  // false: the desk lists it, Servizi has no row
};

// A server archive folder as a selective desk finds it: TQ3MAX.mdb, the
// server-state file and the NrAll folder with the number files.
bool createSelectiveArchive(const QString &folder, const QString &deskIp,
                            const QList<SelectiveService> &services,
                            const QByteArray &serverState = QByteArrayLiteral("\"True\"\r\n"),
                            qint64 rhPort = 0);

bool writeServerState(const QString &folder, const QByteArray &bytes);
bool writeNumberFile(const QString &folder, qint64 serviceId, const QByteArray &bytes);
QByteArray numberFileBytes(const QString &folder, qint64 serviceId);

// Attesa of the service as stored, or nothing when the row is missing or null.
std::optional<qint64> storedAttesa(const QString &folder, qint64 serviceId);

} // namespace tq3::test

#pragma once

#include "store/ArchiveBuilder.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <memory>
#include <optional>

namespace tq3::test {

// An archive folder for automatic desks: the queue database, the server-state
// file reading "True" and an empty NrAll folder.
class AutomaticArchive final {
public:
    AutomaticArchive();
    bool isValid() const { return m_builder != nullptr; }
    QString folder() const { return m_dir.path(); }
    ArchiveBuilder &builder() { return *m_builder; }

    // Writes the first field of UConnDP.txt; a null value removes the file.
    void setServerState(const QString &firstField);

    qint64 addDeskService(const QString &ip, qint64 servizioId, const QString &testo);
    qint64 addTicket(qint64 servizioId, const QVariant &number, const QVariant &servizio, const QString &ora,
                     bool called = false);

    // SeChiamato of the ticket with this key, nullopt when there is no such row.
    std::optional<bool> isCalled(qint64 key) const;
    // Keys of every ticket marked called, by key.
    QList<qint64> calledKeys() const;
    // The bytes of NrAll/NrAllS<id>.txt, nullopt when the file is missing.
    std::optional<QByteArray> numberFile(qint64 servizioId) const;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ArchiveBuilder> m_builder;
};

// The server module's UDP port, on 127.0.0.1.
class DatagramListener final {
public:
    DatagramListener();
    quint16 port() const { return m_socket.localPort(); }
    // Waits up to `timeoutMs` for `count` datagrams, returns what came.
    QList<QByteArray> receive(int count, int timeoutMs = 3000);
    // Whatever arrives within `ms`.
    QList<QByteArray> drain(int ms = 200);

private:
    QUdpSocket m_socket;
};

} // namespace tq3::test

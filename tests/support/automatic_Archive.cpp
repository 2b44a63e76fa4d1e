#include "automatic_Archive.h"

#include "DatabaseFixture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QNetworkDatagram>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <limits>

namespace tq3::test {

AutomaticArchive::AutomaticArchive()
    : m_builder(createQueueDatabase(m_dir.path()))
{
    QDir(m_dir.path()).mkdir(QStringLiteral("NrAll"));
    setServerState(QStringLiteral("True"));
}

void AutomaticArchive::setServerState(const QString &firstField)
{
    const QString path = QDir(m_dir.path()).filePath(QStringLiteral("UConnDP.txt"));
    if (firstField.isNull()) {
        QFile::remove(path);
        return;
    }
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write('"' + firstField.toLatin1() + "\"\r\n");
}

qint64 AutomaticArchive::addDeskService(const QString &ip, qint64 servizioId, const QString &testo)
{
    const Result<qint64> key = m_builder->addDeskService(ip, servizioId, testo);
    return key ? *key : -1;
}

qint64 AutomaticArchive::addTicket(qint64 servizioId, const QVariant &number, const QVariant &servizio,
                                   const QString &ora, bool called)
{
    QSqlQuery q(QSqlDatabase::database(m_builder->connectionName()));
    q.prepare(QStringLiteral("INSERT INTO CodaFromTotem (servizioid, NrDaChiamare, Servizio, SeChiamato, ora) "
                             "VALUES (?, ?, ?, ?, ?)"));
    q.addBindValue(servizioId);
    q.addBindValue(number);
    q.addBindValue(servizio);
    q.addBindValue(called);
    q.addBindValue(ora);
    if (!q.exec())
        return -1;
    return q.lastInsertId().toLongLong();
}

std::optional<bool> AutomaticArchive::isCalled(qint64 key) const
{
    QSqlQuery q(QSqlDatabase::database(m_builder->connectionName()));
    q.prepare(QStringLiteral("SELECT SeChiamato FROM CodaFromTotem WHERE Id = ?"));
    q.addBindValue(key);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return q.value(0).toBool();
}

QList<qint64> AutomaticArchive::calledKeys() const
{
    QList<qint64> keys;
    QSqlQuery q(QSqlDatabase::database(m_builder->connectionName()));
    if (!q.exec(QStringLiteral("SELECT Id FROM CodaFromTotem WHERE SeChiamato ORDER BY Id")))
        return keys;
    while (q.next())
        keys << q.value(0).toLongLong();
    return keys;
}

std::optional<QByteArray> AutomaticArchive::numberFile(qint64 servizioId) const
{
    QFile file(QDir(m_dir.path()).filePath(QStringLiteral("NrAll/NrAllS%1.txt").arg(servizioId)));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

DatagramListener::DatagramListener()
{
    m_socket.bind(QHostAddress::LocalHost, 0);
}

QList<QByteArray> DatagramListener::receive(int count, int timeoutMs)
{
    QList<QByteArray> got;
    QDeadlineTimer deadline(timeoutMs);
    while (got.size() < count && !deadline.hasExpired()) {
        if (!m_socket.hasPendingDatagrams())
            m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        while (m_socket.hasPendingDatagrams())
            got << m_socket.receiveDatagram().data();
    }
    return got;
}

QList<QByteArray> DatagramListener::drain(int ms)
{
    return receive(std::numeric_limits<int>::max(), ms);
}

} // namespace tq3::test

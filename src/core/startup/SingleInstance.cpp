#include "core/startup/SingleInstance.h"

#include <QCryptographicHash>

namespace tq3 {

SingleInstance::SingleInstance(QString scope)
    : m_scope(scope.isEmpty() ? qEnvironmentVariable("TQ3_INSTANCE_SCOPE") : std::move(scope))
{
}

bool SingleInstance::claim()
{
    // A guard name holds letters, digits and '-' only, whatever the scope.
    const QString name = m_scope.isEmpty()
        ? kName
        : kName + QLatin1Char('-')
            + QString::fromLatin1(QCryptographicHash::hash(m_scope.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
    return m_guard.claim(name.toStdString());
}

} // namespace tq3

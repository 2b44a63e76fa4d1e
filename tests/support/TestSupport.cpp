#include "TestSupport.h"

#include <QCoreApplication>
#include <QProcessEnvironment>

namespace tq3::test {

QString binDir()
{
    const QString fromEnv = QProcessEnvironment::systemEnvironment().value(QStringLiteral("TQ3_BIN_DIR"));
    return fromEnv.isEmpty() ? QCoreApplication::applicationDirPath() : fromEnv;
}

} // namespace tq3::test

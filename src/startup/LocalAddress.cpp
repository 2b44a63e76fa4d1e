#include "startup/ClientEnvironment.h"

namespace tq3 {

QString localIpv4Address()
{
    return QStringLiteral("127.0.0.1");
}

} // namespace tq3

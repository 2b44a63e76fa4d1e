#include "core/calls/Call.h"

namespace tq3 {

std::optional<CallOutcome> Call::refusedAddress(const CallRequest &request)
{
    if (request.serverAddress == QLatin1String("0.0.0.0"))
        return ended(CallOutcome::Kind::UnsetServerAddress,
                     {QStringLiteral("Indirizzo Host errato !Controllare impostazioni !")});
    if (request.serverAddress == request.ipLocale)
        return ended(CallOutcome::Kind::ServerIsThisPc,
                     {QStringLiteral("Client e Server non devono"), QStringLiteral("coesistere sullo stesso PC !")});
    return std::nullopt;
}

} // namespace tq3

#include "windows/LoSchermo2.h"

#include "startup/ui/WindowRegistry.h"

namespace tq3 {

LoSchermo2::LoSchermo2(WindowRegistry &registry, State &state)
    : Form(registry)
    , m_state(state)
{
    setWindowTitle(QStringLiteral("Messaggio al Pubblico"));
}

void LoSchermo2::ImpostaPostazione(const QString &) {}
void LoSchermo2::MostraChiamata(const QString &, const QString &, qint32) {}
void LoSchermo2::FermaLampeggio() {}
void LoSchermo2::MostraInServizio() {}
void LoSchermo2::MostraFuoriServizio() {}

} // namespace tq3

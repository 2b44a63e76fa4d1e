#include "settings/FrmServizi.h"

#include "startup/ui/WindowRegistry.h"

namespace tq3 {

FrmServizi::FrmServizi(WindowRegistry &registry, State &state)
    : Form(registry)
    , m_state(state)
{
    setWindowTitle(QStringLiteral("Gestione Servizi"));
}

void FrmServizi::setTitle(const QString &) {}

} // namespace tq3

#include "settings/PercorsoRETESERVER.h"

#include "startup/ui/WindowRegistry.h"

namespace tq3 {

PercorsoRETESERVER::PercorsoRETESERVER(WindowRegistry &registry, State &state)
    : Form(registry)
    , m_state(state)
{
    setWindowTitle(QStringLiteral("Imposta Percorso Server 1"));
}

} // namespace tq3

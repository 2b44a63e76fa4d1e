#include "settings/ImpoRete.h"

#include "startup/ui/WindowRegistry.h"

namespace tq3 {

ImpoRete::ImpoRete(WindowRegistry &registry, State &state)
    : Form(registry)
    , m_state(state)
{
    setWindowTitle(QStringLiteral("Impostazioni Client"));
}

} // namespace tq3

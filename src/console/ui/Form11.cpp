#include "console/ui/Form11.h"

#include "startup/ui/WindowRegistry.h"

namespace tq3 {

Form11::Form11(WindowRegistry &registry, State &state)
    : Form(registry)
    , m_state(state)
{
    setWindowTitle(QStringLiteral("3.1.15 Client "));
}

} // namespace tq3

#include "console/ui/Form1.h"

#include "startup/ui/WindowRegistry.h"

namespace tq3 {

Form1::Form1(WindowRegistry &registry, State &state)
    : Form(registry)
    , m_state(state)
{
    setWindowTitle(QStringLiteral("TQ3MAX - 3.1.15 - Modulo Client Selettivo"));
}

} // namespace tq3

#include "startup/ui/LaMain.h"

#include "startup/ui/WindowRegistry.h"

namespace tq3 {

LaMain::LaMain(WindowRegistry &registry, State &state)
    : Form(registry)
    , m_state(state)
{
    setWindowTitle(QStringLiteral("TQ3 MAX - Modulo Client versione 3.1.15"));
}

void LaMain::setSecondScreenBox(bool) {}
void LaMain::centreOnScreen() {}

} // namespace tq3

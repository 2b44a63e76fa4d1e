#include "windows/MsgForm.h"

#include "startup/ui/WindowRegistry.h"

namespace tq3 {

MsgForm::MsgForm(WindowRegistry &registry, State &state)
    : Form(registry)
    , m_state(state)
{
    setWindowTitle(QStringLiteral(" "));
}

void MsgForm::MostraMessaggio(WindowRegistry &, const QString &, const QString &) {}

} // namespace tq3

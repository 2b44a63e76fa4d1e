#include "startup/ui/ClientStart.h"

#include "startup/SingleInstance.h"
#include "startup/ui/LaMain.h"
#include "startup/ui/MessageBox.h"
#include "startup/ui/WindowRegistry.h"

namespace tq3 {

ClientRun startClient(WindowRegistry &registry, SingleInstance &instance)
{
    if (!instance.claim()) {
        showMessageBox(nullptr, QStringLiteral("TQ3MAX-Modulo Client  risulta già in esecuzione sulla macchina !"),
                       QStringLiteral("ATTENZIONE"), BoxIcon::Stop);
        return ClientRun::EndProgram;
    }
    LaMain &launcher = registry.window<LaMain>();
    if (registry.state<LaMain>().launch == LaMain::Launch::EndProgram) {
        registry.close<LaMain>();
        return ClientRun::EndProgram;
    }
    registry.showModeless(launcher);
    registry.setQuitWhenLastWindowCloses(true);
    return ClientRun::Running;
}

} // namespace tq3

#include "gui/launcher/ClientStart.h"

#include "core/startup/SingleInstance.h"
#include "gui/launcher/LaMain.h"
#include "gui/kit/MessageBox.h"
#include "gui/kit/WindowRegistry.h"

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

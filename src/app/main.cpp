#include "app/CommandLine.h"
#include "core/Version.h"
#include "core/log/Log.h"
#include "core/startup/SingleInstance.h"
#include "gui/launcher/ClientStart.h"
#include "gui/kit/ItalianDialogs.h"
#include "gui/kit/SessionEnd.h"
#include "gui/kit/WindowRegistry.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    if (const std::optional<int> answered = tq3::answerCommandLine(argc, argv))
        return *answered;
    // Before the application, so that Qt's own start-up complaints (no
    // display, a missing plugin) reach the log file too.
    tq3::startLog(QDir::currentPath());
    qCInfo(tq3::lcApp).noquote() << "tq3max-client" << tq3::kVersion << "started in" << QDir::currentPath();

    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QLatin1String(tq3::kVersion));
    tq3::installItalianDialogs();
    // Before anything can open a window: a stop request then closes them all.
    tq3::SessionEnd sessionEnd;
    // The registry decides when the last window has closed: a settings
    // window left open keeps the client running after the launcher closes.
    QApplication::setQuitOnLastWindowClosed(false);

    tq3::SingleInstance instance;
    tq3::WindowRegistry registry;
    QObject::connect(&registry, &tq3::WindowRegistry::lastWindowClosed, &app, &QApplication::quit);
    int code = 0;
    if (tq3::startClient(registry, instance) == tq3::ClientRun::Running)
        code = QApplication::exec();
    qCInfo(tq3::lcApp) << "ended";
    return code;
}

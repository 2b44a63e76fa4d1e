#include "startup/ui/LaMain.h"
#include "startup/ui/WindowRegistry.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    tq3::WindowRegistry registry;
    registry.showModeless(registry.window<tq3::LaMain>());
    registry.setQuitWhenLastWindowCloses(true);
    QObject::connect(&registry, &tq3::WindowRegistry::lastWindowClosed, &app, &QApplication::quit);
    return app.exec();
}

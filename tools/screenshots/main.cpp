// tq3-screenshots: the pictures of the windows in docs/. It opens the real
// windows with sample data on the X server it is started on and grabs them;
// scripts/screenshots.sh starts it on virtual X servers.
// Usage: tq3-screenshots <picture folder> msgform|consoles|settings|schermo2

#include "archive/ArchiveBuilder.h"
#include "core/store/CallFiles.h"
#include "core/store/Clock.h"
#include "core/store/SettingsFile.h"
#include "gui/consoles/Form1.h"
#include "gui/consoles/Form11.h"
#include "gui/kit/ItalianDialogs.h"
#include "gui/kit/WindowRegistry.h"
#include "gui/settings/FrmServizi.h"
#include "gui/settings/ImpoRete.h"
#include "gui/settings/PercorsoRETESERVER.h"
#include "gui/windows/LoSchermo2.h"
#include "gui/windows/MsgForm.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QUdpSocket>

#include <cstdio>
#include <functional>
#include <memory>

using namespace tq3;
using namespace Qt::StringLiterals;

namespace {

bool fail(const char *why)
{
    std::fprintf(stderr, "tq3-screenshots: %s\n", why);
    return false;
}

// The sample calls are made on 5 December 2026.
class SampleClock final : public Clock {
public:
    QDateTime now() const override { return at; }
    QDateTime at{QDate(2026, 12, 5), QTime(14, 5)};
};

// Runs the event loop until `done`, or for `ms` when nothing is awaited (the
// windows paint before a grab).
bool settle(const std::function<bool()> &done = {}, int ms = 300)
{
    QElapsedTimer clock;
    clock.start();
    while (done ? !done() : clock.elapsed() < ms) {
        if (done && clock.elapsed() > 10000)
            return false;
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

bool grabArea(const QRect &area, const QString &path)
{
    return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(path);
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A desk of its own: a working folder (the history file lies there), an
// archive with its number folder and the server's state, the settings file
// and a UDP port that takes the calls.
class SampleDesk final {
public:
    explicit SampleDesk(const QString &deskIp, const QString &archive = u"archivio"_s)
        : m_archiveName(archive)
        , m_archive(m_work.filePath(archive))
    {
        QDir::setCurrent(m_work.path());
        QDir().mkpath(m_archive + u"/NrAll"_s);
        auto created = ArchiveBuilder::create(m_archive + u"/TQ3MAX.mdb"_s);
        if (created)
            builder = std::move(created).value();
        writeBytes(m_archive + u"/UConnDP.txt"_s, "\"True\"\r\n");
        m_server.bind(QHostAddress::LocalHost, 0);
        ClientEnvironment environment;
        environment.clock = clock;
        environment.localAddress = [deskIp] { return deskIp; };
        environment.settingsFilePath = m_work.filePath(u"PercorsiClient.txt"_s);
        registry = std::make_unique<WindowRegistry>(environment);
        registry->record().ipLocale = deskIp;
        registry->record().portaServer = m_server.localPort();
    }
    ~SampleDesk() { registry.reset(); }

    bool ready() const { return builder && m_server.state() == QAbstractSocket::BoundState; }
    const QString &archive() const { return m_archive; }
    bool saveSettings(const QString &serverAddress, const QString &secondoSchermo)
    {
        // The folder as named, inside the working folder: pictures show the name, not the place.
        const SettingsFile settings{m_archiveName, u"Sportello 1"_s, serverAddress, secondoSchermo};
        return settings.save(registry->environment().settingsFilePath).ok();
    }

    std::shared_ptr<SampleClock> clock = std::make_shared<SampleClock>();
    std::unique_ptr<ArchiveBuilder> builder;
    std::unique_ptr<WindowRegistry> registry;

private:
    QTemporaryDir m_work;
    QString m_archiveName;
    QString m_archive;
    QUdpSocket m_server;
};

// A console with its "Servizio" menu open, as the screen shows it (the menu
// is a window of its own, which a grab of the console leaves out).
bool grabWithServiceMenu(QWidget &console, const QString &path)
{
    auto *menu = console.findChild<QMenu *>(u"SS1"_s);
    console.findChild<QMenuBar *>()->setActiveAction(menu->menuAction());
    return settle([menu] { return menu->isVisible(); }) && settle() && grabArea(console.frameGeometry(), path);
}

// The selective console after three calls, its history sorted by a click on
// the heading; the automatic one after three calls with its history open.
bool consoles(const QDir &pictures)
{
    {
        SampleDesk desk(u"10.0.0.5"_s);
        if (!desk.ready() || !desk.builder->addService(12, u"Anagrafe"_s, true, 10)
            || !desk.builder->addDeskService(u"10.0.0.5"_s, 12, u"Anagrafe"_s)
            || !writeBytes(numberFilePath(desk.archive(), 12), "8\r\n") || !desk.saveSettings(u"127.0.0.1"_s, u"N"_s))
            return fail("no sample archive for the selective console");
        Form1 &form = desk.registry->window<Form1>();
        form.show();
        settle();
        for (int call = 0; call < 3; ++call)
            form.Command1Click();  // 8, 9, 10
        form.Label2Click();
        QHeaderView *heading = form.findChild<QTreeWidget *>(u"LB1"_s)->header();
        Q_EMIT heading->sectionClicked(0);
        Q_EMIT heading->sectionClicked(0);  // "10" before "8": sorted as text
        form.refreshTick();
        if (!grabWithServiceMenu(form, pictures.filePath(u"console-selettivo.png"_s)))
            return fail("the selective console was not taken");
        form.close();
    }
    SampleDesk desk(u"10.0.0.21"_s);
    const QString ora = u"2026-12-05 09:0%1:00"_s;
    if (!desk.ready() || !desk.builder->addDeskService(u"10.0.0.21"_s, 1, u"Anagrafe"_s)
        || !desk.builder->addDeskService(u"10.0.0.21"_s, 2, u"Tributi"_s)
        || !desk.builder->addTicket(1, 7, u"Anagrafe"_s, false, ora.arg(0))
        || !desk.builder->addTicket(2, 12, u"Tributi"_s, false, ora.arg(1))
        || !desk.builder->addTicket(1, 8, u"Anagrafe"_s, false, ora.arg(2)) || !desk.saveSettings(u"127.0.0.1"_s, u"N"_s))
        return fail("no sample archive for the automatic console");
    Form11 &form = desk.registry->window<Form11>();
    form.show();
    settle();
    for (const QTime &time : {QTime(9, 2), QTime(9, 9), QTime(9, 21)}) {
        desk.clock->at.setTime(time);
        form.Command1Click();
    }
    form.findChild<QAction *>(u"cr1"_s)->trigger();
    const bool taken = grabWithServiceMenu(form, pictures.filePath(u"console-automatico.png"_s));
    form.close();
    return taken || fail("the automatic console was not taken");
}

// The message window with the path window's confirmation.
bool messageWindow(const QDir &pictures)
{
    WindowRegistry registry;
    bool taken = false;
    QTimer::singleShot(0, [&] {
        settle([] { return QApplication::activeModalWidget(); });
        settle();
        if (QWidget *window = QApplication::activeModalWidget()) {
            taken = window->grab().save(pictures.filePath(u"msgform.png"_s));
            window->close();
        }
    });
    MsgForm::MostraMessaggio(registry, u"Percorso /postazione impostate correttamente !"_s,
                             u"Riavviare modulo Client Turnalia 3 MAX !"_s);
    return taken || fail("the message window was not taken");
}

// The three settings windows of a desk whose archive lies on a network share.
bool settingsWindows(const QDir &pictures)
{
    const QString share = u"\\\\SRV-TURNI\\TQ3MAX"_s;
    SampleDesk desk(u"10.1.1.1"_s, share);
    bool filled = desk.ready() && desk.builder->setConfigurazione(2, 6001, u"192.168.10.5"_s, u"SRV-TURNI"_s)
        && desk.saveSettings(u"192.168.10.5"_s, u"S"_s);
    const QStringList services{u"Anagrafe"_s, u"Tributi"_s, u"Stato civile"_s, u"Elettorale"_s,
                               u"Servizi sociali"_s, u"Protocollo"_s};
    for (qsizetype i = 0; i < services.size(); ++i)
        filled = filled && desk.builder->addService(i + 1, services.at(i), true, 0);
    for (const qint64 id : {1, 3})
        filled = filled && desk.builder->addDeskService(u"10.1.1.1"_s, id, services.at(id - 1));
    if (!filled)
        return fail("no sample archive for the settings windows");
    // As a desk names it, not as the folder made for the pictures.
    WindowRegistry &registry = *desk.registry;
    registry.record().percorsoServer = share;
    registry.window<PercorsoRETESERVER>().findChild<QWidget *>(u"txtshortcutdir"_s)->setProperty("text", share);
    registry.window<FrmServizi>().setTitle(u"Postazione Sportello 1"_s);
    const std::pair<Form *, const char *> windows[] = {{&registry.window<ImpoRete>(), "impostazioni"},
                                                       {&registry.window<PercorsoRETESERVER>(), "percorso"},
                                                       {&registry.window<FrmServizi>(), "servizi"}};
    for (const auto &[form, name] : windows) {
        registry.showModeless(*form);
        settle();
        if (!form->grab().save(pictures.filePath(QLatin1String(name) + u".png"_s)))
            return fail("a settings window was not taken");
        form->close();
    }
    return true;
}

// The public window on an X server of one 3840 x 1080 screen, which is then
// split into the desk's monitor and the public one at its right, as when the
// public monitor is switched on after the program started: the window must
// move to cover it before both panels are taken as the public sees them.
bool secondScreen(const QDir &pictures)
{
    WindowRegistry registry;
    LoSchermo2 &window = registry.window<LoSchermo2>();
    registry.showModeless(window);
    if (!settle([&] { return window.isVisible() && window.x() == 3840; }))
        return fail("the public window is not off the right edge of a single monitor");
    for (const char *monitor : {"DESK 1920/508x1080/286+0+0 screen", "PUBLIC 1920/508x1080/286+1920+0 none"}) {
        if (QProcess::execute(u"xrandr"_s, QString::fromLatin1(monitor).prepend(u"--setmonitor "_s).split(u' ')) != 0)
            return fail("xrandr did not split the screen");
    }
    const QRect area(1920, 0, 1920, 1080);
    if (!settle([&] { return window.frameGeometry() == area; }))
        return fail("the public window did not move to the public monitor switched on");
    window.ImpostaPostazione(u"Sportello 3"_s);
    bool taken = settle() && grabArea(area, pictures.filePath(u"schermo2-fuori-servizio.png"_s));
    window.MostraChiamata(u"Sportello 3"_s, u"Anagrafe"_s, 127);
    window.FermaLampeggio();
    taken = taken && settle() && grabArea(area, pictures.filePath(u"schermo2-chiamata.png"_s));
    registry.close<LoSchermo2>();
    return taken || fail("the public window was not taken");
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3 || !QDir(args.at(1)).exists())
        return fail("usage: tq3-screenshots <picture folder> msgform|consoles|settings|schermo2"), 2;
    if (!installItalianDialogs())
        return fail("no Italian dialogs"), 1;
    const QDir pictures(QDir(args.at(1)).absolutePath());
    const QString which = args.at(2);
    const bool taken = which == u"msgform" ? messageWindow(pictures)
        : which == u"consoles"             ? consoles(pictures)
        : which == u"settings"             ? settingsWindows(pictures)
        : which == u"schermo2"             ? secondScreen(pictures)
                                           : fail("unknown picture set");
    return taken ? 0 : 1;
}

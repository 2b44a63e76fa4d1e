#include "startup/ui/Form.h"
#include "startup/ui/Look.h"
#include "startup/ui/Twips.h"
#include "startup/ui/WindowRegistry.h"
#include "windows/LoSchermo2.h"
#include "windows/SecondScreenPlacement.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>

using namespace tq3;

namespace {

// Another window of the program, to bring the second screen to the front
// from, as the launcher or a console does.
class OtherWindow final : public Form {
public:
    static constexpr char kName[] = "OtherWindow";
    struct State final {
    };
    OtherWindow(WindowRegistry &registry, State &)
        : Form(registry)
    {
        setWindowTitle(QStringLiteral("Altra finestra"));
        resize(200, 100);
    }
};

template <class T = QLabel>
T *control(QWidget *window, const char *name)
{
    return window->findChild<T *>(QString::fromLatin1(name));
}

QString caption(QWidget *window, const char *name)
{
    QLabel *label = control(window, name);
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QString::fromLatin1(name));
}

bool panelShown(QWidget *window, const char *name)
{
    QFrame *panel = control<QFrame>(window, name);
    return panel && !panel->isHidden();
}

bool numberShown(QWidget *window)
{
    return !control(window, "Label3")->isHidden();
}

bool blinking(QWidget *window)
{
    return control<QTimer>(window, "Timer1")->isActive();
}

} // namespace

class TestLoSchermo2 final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void placement_data();
    void placement();
    void loadsWithTheDesignContents();
    void coversTheMonitorRightOfThePrimary();
    void callWhileBlinkingReplacesAndKeepsBlinking();
    void stopInHiddenHalfPeriodLeavesNumberVisible();
    void firstTickAfterStopHidesTheNextNumber();
    void activationAfterCallReturnsToOutOfService();
    void callWhileClosedLoadsHiddenWithCallContents();
    void everyOperationWhileClosedLoadsHidden_data();
    void everyOperationWhileClosedLoadsHidden();
    void consoleCloseSwitchesToOutOfServiceKeepingDeskName();
    void inAndOutOfServiceSwitchPanels();
    void closingDiscardsContents();
    void longNumberIsShownWhole();
    void screenshotsOnTwoMonitors();
    void followsAMonitorSwitchedOnLater();

private:
    static void settle()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
};

void TestLoSchermo2::placement_data()
{
    QTest::addColumn<QList<QRect>>("monitors");
    QTest::addColumn<int>("primary");
    QTest::addColumn<QRect>("expected");

    const int gap = 3;
    QTest::newRow("one monitor: just off its right edge, one screen in size")
        << QList<QRect>{{0, 0, 1920, 1080}} << 0 << QRect(1920 + gap, 0, 1920, 1080);
    QTest::newRow("two side by side: covers the right-hand monitor")
        << QList<QRect>{{0, 0, 1920, 1080}, {1920, 0, 1920, 1080}} << 0
        << QRect(1920, 0, 1920, 1080);
    QTest::newRow("second monitor of another size: covers it, not the primary's size")
        << QList<QRect>{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}} << 0
        << QRect(1920, 0, 1280, 1024);
    QTest::newRow("second monitor set lower than the primary: covers it where it is")
        << QList<QRect>{{0, 0, 1366, 768}, {1366, 200, 1024, 768}} << 0
        << QRect(1366, 200, 1024, 768);
    QTest::newRow("monitor to the left only: stands off the primary's right edge")
        << QList<QRect>{{0, 0, 1920, 1080}, {-1280, 0, 1280, 1024}} << 0
        << QRect(1920 + gap, 0, 1920, 1080);
    QTest::newRow("primary listed second: the monitor right of it is found")
        << QList<QRect>{{0, 0, 1280, 1024}, {-1920, 0, 1920, 1080}} << 1
        << QRect(0, 0, 1280, 1024);
    QTest::newRow("monitor below only: stands off the primary's right edge")
        << QList<QRect>{{0, 0, 1600, 900}, {0, 900, 1600, 900}} << 0
        << QRect(1600 + gap, 0, 1600, 900);
    QTest::newRow("two monitors to the right: the one next to the primary")
        << QList<QRect>{{0, 0, 1920, 1080}, {3840, 0, 1920, 1080}, {1920, 0, 1920, 1080}} << 0
        << QRect(1920, 0, 1920, 1080);
    QTest::newRow("monitor overlapping the primary (mirrored): not a public monitor")
        << QList<QRect>{{0, 0, 1920, 1080}, {0, 0, 1920, 1080}} << 0
        << QRect(1920 + gap, 0, 1920, 1080);
}

void TestLoSchermo2::placement()
{
    QFETCH(QList<QRect>, monitors);
    QFETCH(int, primary);
    QFETCH(QRect, expected);
    QCOMPARE(secondScreenPlacement(monitors, primary, 3), expected);
}

void TestLoSchermo2::loadsWithTheDesignContents()
{
    WindowRegistry registry;
    LoSchermo2 &window = registry.window<LoSchermo2>();

    QCOMPARE(window.windowTitle(), QStringLiteral("Messaggio al Pubblico"));
    QVERIFY(!window.isVisible());
    // Tool windows are left out of the task bar; no minimise or maximise box.
    QCOMPARE(window.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    QVERIFY(!(window.windowFlags() & Qt::WindowMinMaxButtonsHint));
    QCOMPARE(window.palette().color(QPalette::Window), QColor(Qt::white));

    const QSize panelSize = twips::size(14055, 9975);
    QCOMPARE(control<QFrame>(&window, "FuoriServizio")->size(), panelSize);
    QCOMPARE(control<QFrame>(&window, "Gruppo")->size(), panelSize);
    QVERIFY(panelShown(&window, "FuoriServizio"));
    QVERIFY(!panelShown(&window, "Gruppo"));

    QCOMPARE(caption(&window, "Label4_1"), QStringLiteral("Postazione"));
    QCOMPARE(caption(&window, "Label4_2"), QStringLiteral("FUORI SERVIZIO"));
    QCOMPARE(caption(&window, "Label4_0"), QStringLiteral("FUORI SERVIZIO"));
    QCOMPARE(caption(&window, "Label1"), QStringLiteral("Postazione "));
    QCOMPARE(caption(&window, "Label5"), QStringLiteral("Servizio :"));
    QCOMPARE(caption(&window, "Label2"), QStringLiteral("Servizio"));
    QCOMPARE(caption(&window, "Label3"), QStringLiteral("0"));

    QCOMPARE(control(&window, "Label3")->geometry(), twips::rect(3600, 4800, 6855, 4575));
    QCOMPARE(control(&window, "Label3")->font().pointSizeF(), 171.75);
    QVERIFY(control(&window, "Label3")->font().bold());
    QCOMPARE(control(&window, "Label3")->font().family(), look::tahoma(10).family());
    QCOMPARE(control(&window, "Label3")->palette().color(QPalette::WindowText),
             QColor(Qt::white));
    QCOMPARE(control(&window, "Label3")->palette().color(QPalette::Window), QColor(Qt::black));
    QCOMPARE(control(&window, "Label1")->font().pointSizeF(), 48.0);
    QCOMPARE(control(&window, "Label1")->font().family(), look::trebuchet(10).family());
    QCOMPARE(control(&window, "Label1")->palette().color(QPalette::WindowText),
             QColor(255, 255, 0));
    QCOMPARE(control(&window, "Label2")->font().pointSizeF(), 62.25);
    QCOMPARE(control(&window, "Label5")->font().pointSizeF(), 14.25);
    QCOMPARE(control(&window, "Label4_0")->font().pointSizeF(), 20.25);
    QCOMPARE(control(&window, "Label4_1")->palette().color(QPalette::WindowText),
             QColor(Qt::white));
    QCOMPARE(control(&window, "Label4_2")->palette().color(QPalette::WindowText),
             QColor(Qt::black));
    QVERIFY(!control(&window, "Image1")->pixmap().isNull());
    QVERIFY(!control(&window, "Image2")->pixmap().isNull());

    auto *timer = control<QTimer>(&window, "Timer1");
    QCOMPARE(timer->interval(), 350);
    QVERIFY(!timer->isActive());
}

void TestLoSchermo2::coversTheMonitorRightOfThePrimary()
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (screens.size() < 2)
        QSKIP("needs two monitors");
    const QRect publicMonitor = screens.at(1)->geometry();

    WindowRegistry registry;
    LoSchermo2 &window = registry.window<LoSchermo2>();
    QCOMPARE(window.frameGeometry(), publicMonitor);

    registry.showModeless(window);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Once the frame is known, the whole window, frame included, covers the
    // monitor.
    QTRY_COMPARE(window.frameGeometry(), publicMonitor);
    QVERIFY(publicMonitor.contains(window.geometry()));
    registry.close<LoSchermo2>();
}

void TestLoSchermo2::callWhileBlinkingReplacesAndKeepsBlinking()
{
    WindowRegistry registry;
    LoSchermo2 &window = registry.window<LoSchermo2>();
    window.MostraChiamata(QStringLiteral("Sportello 1"), QStringLiteral("Anagrafe"), 7);
    QVERIFY(blinking(&window));
    window.blinkTick();
    QVERIFY(!numberShown(&window));

    window.MostraChiamata(QStringLiteral("Sportello 2"), QStringLiteral("Tributi"), 8);
    QCOMPARE(caption(&window, "Label1"), QStringLiteral("Sportello 2"));
    QCOMPARE(caption(&window, "Label2"), QStringLiteral("Tributi"));
    QCOMPARE(caption(&window, "Label3"), QStringLiteral("8"));
    QVERIFY(blinking(&window));
    QVERIFY(panelShown(&window, "Gruppo"));
    QVERIFY(!panelShown(&window, "FuoriServizio"));
    // The real timer keeps toggling the number.
    const bool before = numberShown(&window);
    QTRY_VERIFY_WITH_TIMEOUT(numberShown(&window) != before, 2000);
}

void TestLoSchermo2::stopInHiddenHalfPeriodLeavesNumberVisible()
{
    WindowRegistry registry;
    LoSchermo2 &window = registry.window<LoSchermo2>();
    window.MostraChiamata(QStringLiteral("Sportello 1"), QStringLiteral("Anagrafe"), 42);
    window.blinkTick();
    QVERIFY(!numberShown(&window));

    window.FermaLampeggio();
    QVERIFY(numberShown(&window));
    QVERIFY(!blinking(&window));
    QTest::qWait(400);
    QVERIFY(numberShown(&window));
}

void TestLoSchermo2::firstTickAfterStopHidesTheNextNumber()
{
    WindowRegistry registry;
    LoSchermo2 &window = registry.window<LoSchermo2>();
    window.MostraChiamata(QStringLiteral("Sportello 1"), QStringLiteral("Anagrafe"), 1);
    window.FermaLampeggio();
    window.MostraChiamata(QStringLiteral("Sportello 1"), QStringLiteral("Anagrafe"), 2);
    QVERIFY(numberShown(&window));
    window.blinkTick();
    QVERIFY(!numberShown(&window));
}

void TestLoSchermo2::activationAfterCallReturnsToOutOfService()
{
    WindowRegistry registry;
    LoSchermo2 &window = registry.window<LoSchermo2>();
    registry.showModeless(window);
    QTRY_COMPARE(registry.activeForm(), static_cast<Form *>(&window));

    OtherWindow &console = registry.window<OtherWindow>();
    registry.showModeless(console);
    QTRY_COMPARE(registry.activeForm(), static_cast<Form *>(&console));

    window.MostraChiamata(QStringLiteral("Sportello 3"), QStringLiteral("Anagrafe"), 12);
    QVERIFY(panelShown(&window, "Gruppo"));

    // Brought to the front from another window of the program.
    window.activateWindow();
    QTRY_COMPARE(registry.activeForm(), static_cast<Form *>(&window));
    QVERIFY(panelShown(&window, "FuoriServizio"));
    QVERIFY(!panelShown(&window, "Gruppo"));
    QCOMPARE(caption(&window, "Label3"), QStringLiteral("12"));

    // Both panels stand in the middle of the window.
    for (const char *name : {"FuoriServizio", "Gruppo"}) {
        const QFrame *panel = control<QFrame>(&window, name);
        QCOMPARE(panel->x(), (window.width() - panel->width()) / 2);
        QCOMPARE(panel->y(), (window.height() - panel->height()) / 2);
    }
    registry.close<OtherWindow>();
    registry.close<LoSchermo2>();
}

void TestLoSchermo2::callWhileClosedLoadsHiddenWithCallContents()
{
    WindowRegistry registry;
    // Box ticked, console opened, closed again, box cleared: the window is
    // closed, but the flag stays up.
    registry.record().secondoSchermoAttivo = true;
    registry.showModeless(registry.window<LoSchermo2>());
    registry.close<LoSchermo2>();
    settle();
    QVERIFY(!registry.loaded<LoSchermo2>());

    if (registry.record().secondoSchermoAttivo) {
        registry.window<LoSchermo2>().MostraChiamata(QStringLiteral("Sportello 5"),
                                                     QStringLiteral("Protocollo"), 103);
    }
    LoSchermo2 *window = registry.loaded<LoSchermo2>();
    QVERIFY(window);
    QVERIFY(!window->isVisible());
    QVERIFY(panelShown(window, "Gruppo"));
    QVERIFY(!panelShown(window, "FuoriServizio"));
    QCOMPARE(caption(window, "Label1"), QStringLiteral("Sportello 5"));
    QCOMPARE(caption(window, "Label2"), QStringLiteral("Protocollo"));
    QCOMPARE(caption(window, "Label3"), QStringLiteral("103"));
    QVERIFY(blinking(window));
    QTest::qWait(400);
    QVERIFY(!window->isVisible());
    const QWidgetList shown = QApplication::topLevelWidgets();
    QVERIFY(std::none_of(shown.begin(), shown.end(), [](QWidget *w) { return w->isVisible(); }));
}

void TestLoSchermo2::everyOperationWhileClosedLoadsHidden_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<bool>("callPanel");
    QTest::addColumn<QString>("deskName");
    QTest::newRow("desk name set on a closed window") << 0 << false << QStringLiteral("Sportello 6");
    QTest::newRow("call shown on a closed window") << 1 << true << QStringLiteral("Sportello 7");
    QTest::newRow("blink stopped on a closed window") << 2 << false << QStringLiteral("Postazione");
    QTest::newRow("in service on a closed window") << 3 << true << QStringLiteral("Postazione");
    QTest::newRow("out of service on a closed window") << 4 << false << QStringLiteral("Postazione");
}

void TestLoSchermo2::everyOperationWhileClosedLoadsHidden()
{
    QFETCH(int, operation);
    QFETCH(bool, callPanel);
    QFETCH(QString, deskName);

    WindowRegistry registry;
    QVERIFY(!registry.loaded<LoSchermo2>());
    switch (operation) {
    case 0: registry.window<LoSchermo2>().ImpostaPostazione(deskName); break;
    case 1:
        registry.window<LoSchermo2>().MostraChiamata(deskName, QStringLiteral("Anagrafe"), 4);
        break;
    case 2: registry.window<LoSchermo2>().FermaLampeggio(); break;
    case 3: registry.window<LoSchermo2>().MostraInServizio(); break;
    case 4: registry.window<LoSchermo2>().MostraFuoriServizio(); break;
    }
    QCoreApplication::processEvents();
    LoSchermo2 *window = registry.loaded<LoSchermo2>();
    QVERIFY(window);
    QVERIFY(!window->isVisible());
    QCOMPARE(panelShown(window, "Gruppo"), callPanel);
    QCOMPARE(panelShown(window, "FuoriServizio"), !callPanel);
    QCOMPARE(caption(window, "Label4_1"), operation == 0 ? deskName : QStringLiteral("Postazione"));
    QVERIFY(numberShown(window));
}

void TestLoSchermo2::consoleCloseSwitchesToOutOfServiceKeepingDeskName()
{
    WindowRegistry registry;
    registry.showModeless(registry.window<LoSchermo2>());
    LoSchermo2 &window = *registry.loaded<LoSchermo2>();

    // Console load, a call, then the console closes.
    window.ImpostaPostazione(QStringLiteral("Sportello 4"));
    window.MostraChiamata(QStringLiteral("Sportello 4"), QStringLiteral("Anagrafe"), 21);
    window.MostraFuoriServizio();

    QVERIFY(window.isVisible());
    QVERIFY(panelShown(&window, "FuoriServizio"));
    QVERIFY(!panelShown(&window, "Gruppo"));
    QCOMPARE(caption(&window, "Label4_1"), QStringLiteral("Sportello 4"));
    QCOMPARE(caption(&window, "Label1"), QStringLiteral("Sportello 4"));
    registry.close<LoSchermo2>();
}

void TestLoSchermo2::inAndOutOfServiceSwitchPanels()
{
    WindowRegistry registry;
    LoSchermo2 &window = registry.window<LoSchermo2>();
    window.MostraInServizio();
    QVERIFY(panelShown(&window, "Gruppo"));
    QVERIFY(!panelShown(&window, "FuoriServizio"));
    QVERIFY(!blinking(&window));
    window.MostraFuoriServizio();
    QVERIFY(!panelShown(&window, "Gruppo"));
    QVERIFY(panelShown(&window, "FuoriServizio"));
    QVERIFY(!window.isVisible());
}

void TestLoSchermo2::closingDiscardsContents()
{
    WindowRegistry registry;
    registry.showModeless(registry.window<LoSchermo2>());
    LoSchermo2 &window = *registry.loaded<LoSchermo2>();
    window.ImpostaPostazione(QStringLiteral("Sportello 9"));
    window.MostraChiamata(QStringLiteral("Sportello 9"), QStringLiteral("Tributi"), 5);
    window.blinkTick();
    registry.close<LoSchermo2>();
    settle();
    QVERIFY(!registry.loaded<LoSchermo2>());

    LoSchermo2 &again = registry.window<LoSchermo2>();
    QCOMPARE(caption(&again, "Label4_1"), QStringLiteral("Postazione"));
    QCOMPARE(caption(&again, "Label1"), QStringLiteral("Postazione "));
    QCOMPARE(caption(&again, "Label3"), QStringLiteral("0"));
    QVERIFY(numberShown(&again));
    QVERIFY(!blinking(&again));
    QVERIFY(panelShown(&again, "FuoriServizio"));
}

void TestLoSchermo2::longNumberIsShownWhole()
{
    WindowRegistry registry;
    LoSchermo2 &window = registry.window<LoSchermo2>();
    const QString longService = QStringLiteral("Servizi Demografici e Stato Civile");
    window.MostraChiamata(QStringLiteral("Sportello 10"), longService, 12345);
    for (const char *name : {"Label1", "Label2", "Label3"}) {
        QLabel *label = control(&window, name);
        QVERIFY2(QFontMetrics(label->font()).horizontalAdvance(label->text())
                     <= label->contentsRect().width(),
                 name);
    }
    QVERIFY(control(&window, "Label2")->font().pointSizeF() < 62.25);
    // The long service name stays clear of its caption.
    QLabel *service = control(&window, "Label2");
    const int textWidth = QFontMetrics(service->font()).horizontalAdvance(service->text());
    const int textLeft = service->x() + (service->width() - textWidth) / 2;
    QVERIFY(textLeft > control(&window, "Label5")->geometry().right());
    // The out-of-service desk name widens its box about the same centre
    // before its font gets smaller.
    QLabel *deskName = control(&window, "Label4_1");
    const QRect design = twips::rect(5520, 1200, 2895, 495);
    window.ImpostaPostazione(QStringLiteral("Sportello Polifunzionale 12"));
    QCOMPARE(deskName->font().pointSizeF(), 15.75);
    QVERIFY(deskName->width() > design.width());
    QVERIFY(std::abs(deskName->geometry().center().x() - design.center().x()) <= 1);
    QVERIFY(QFontMetrics(deskName->font()).horizontalAdvance(deskName->text())
            <= deskName->contentsRect().width());
    window.ImpostaPostazione(QStringLiteral("Sportello 1"));
    QCOMPARE(deskName->geometry(), design);

    // A short one goes back to the full size.
    window.MostraChiamata(QStringLiteral("Sportello 10"), QStringLiteral("Anagrafe"), 7);
    QCOMPARE(control(&window, "Label2")->font().pointSizeF(), 62.25);
    QCOMPARE(control(&window, "Label3")->font().pointSizeF(), 171.75);
}

// Run under an X server with two monitors, TQ3_SCHERMO2_SHOTS naming a folder:
// the window must cover the right-hand monitor, and both panels are saved as
// the public sees them.
void TestLoSchermo2::screenshotsOnTwoMonitors()
{
    const QString folder = qEnvironmentVariable("TQ3_SCHERMO2_SHOTS");
    if (folder.isEmpty())
        QSKIP("TQ3_SCHERMO2_SHOTS not set");
    const QList<QScreen *> screens = QGuiApplication::screens();
    QVERIFY2(screens.size() >= 2, "needs two monitors");
    QScreen *primary = QGuiApplication::primaryScreen();
    QScreen *publicScreen = nullptr;
    for (QScreen *screen : screens) {
        if (screen != primary && screen->geometry().left() > primary->geometry().right())
            publicScreen = screen;
    }
    QVERIFY(publicScreen);

    WindowRegistry registry;
    registry.showModeless(registry.window<LoSchermo2>());
    LoSchermo2 &window = *registry.loaded<LoSchermo2>();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE(window.frameGeometry(), publicScreen->geometry());

    const QRect area = publicScreen->geometry();
    auto shoot = [&](const QString &file) {
        QTest::qWait(300);
        const QPixmap shot = primary->grabWindow(0, area.x(), area.y(), area.width(),
                                                 area.height());
        QVERIFY(shot.save(QDir(folder).filePath(file)));
    };
    window.ImpostaPostazione(QStringLiteral("Sportello 3"));
    shoot(QStringLiteral("schermo2-fuori-servizio.png"));

    window.MostraChiamata(QStringLiteral("Sportello 3"), QStringLiteral("Anagrafe"), 127);
    window.FermaLampeggio();
    shoot(QStringLiteral("schermo2-chiamata.png"));
    registry.close<LoSchermo2>();
}

// Run under an X server with one monitor of 3840 x 1080 and
// TQ3_SCHERMO2_XRANDR set: the screen is then split in two, as when the
// public monitor is switched on after the program started.
void TestLoSchermo2::followsAMonitorSwitchedOnLater()
{
    if (qEnvironmentVariableIsEmpty("TQ3_SCHERMO2_XRANDR"))
        QSKIP("TQ3_SCHERMO2_XRANDR not set");
    QCOMPARE(QGuiApplication::screens().size(), 1);
    WindowRegistry registry;
    registry.showModeless(registry.window<LoSchermo2>());
    LoSchermo2 &window = *registry.loaded<LoSchermo2>();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.x(), 3840);

    auto xrandr = [](const QStringList &arguments) {
        return QProcess::execute(QStringLiteral("xrandr"), arguments) == 0;
    };
    QVERIFY(xrandr({QStringLiteral("--setmonitor"), QStringLiteral("DESK"),
                    QStringLiteral("1920/508x1080/286+0+0"), QStringLiteral("screen")}));
    QVERIFY(xrandr({QStringLiteral("--setmonitor"), QStringLiteral("PUBLIC"),
                    QStringLiteral("1920/508x1080/286+1920+0"), QStringLiteral("none")}));
    QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::screens().size(), 2, 5000);
    QTRY_COMPARE(window.frameGeometry(), QRect(1920, 0, 1920, 1080));
    registry.close<LoSchermo2>();
}

// Headless runs get a desk monitor and, to its right, a larger public one.
int main(int argc, char **argv)
{
    QTemporaryDir folder;
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && folder.isValid()) {
        const QString config = folder.filePath(QStringLiteral("monitors.json"));
        QFile file(config);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(R"({"screens": [
  {"name": "DESK", "x": 0, "y": 0, "width": 1280, "height": 1024,
   "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1},
  {"name": "PUBLIC", "x": 1280, "y": 0, "width": 1920, "height": 1080,
   "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
            file.close();
            qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toLocal8Bit());
        }
    }
    QApplication app(argc, argv);
    TestLoSchermo2 test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_loschermo2.moc"

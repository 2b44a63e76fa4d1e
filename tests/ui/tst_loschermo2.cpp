#include "gui/kit/Form.h"
#include "gui/kit/Twips.h"
#include "gui/kit/WindowRegistry.h"
#include "gui/windows/LoSchermo2.h"
#include "gui/windows/SecondScreenPlacement.h"

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
#include <functional>

using namespace tq3;
using namespace Qt::StringLiterals;

namespace {

// Another window of the program, to bring the second screen to the front
// from, as the launcher or a console does.
class OtherWindow final : public Form {
public:
    static constexpr char kName[] = "OtherWindow";
    struct State final {
    };
    OtherWindow(WindowRegistry &registry, State &) : Form(registry) { resize(200, 100); }
};

template <class T = QLabel>
T *control(QWidget *window, const char *name)
{
    return window->findChild<T *>(QString::fromLatin1(name));
}

bool fits(QLabel *label)
{
    return QFontMetrics(label->font()).horizontalAdvance(label->text()) <= label->contentsRect().width();
}

// What the public sees, in one line: the panel shown and its texts; on the
// call panel, whether the number is hidden and whether it blinks.
QString shows(QWidget *window)
{
    const bool call = !control<QFrame>(window, "Gruppo")->isHidden();
    if (call != control<QFrame>(window, "FuoriServizio")->isHidden())
        return u"both panels or none"_s;
    if (!call)
        return u"out|"_s + control(window, "Label4_1")->text();
    QStringList parts{u"call"_s};
    for (const char *name : {"Label1", "Label2", "Label3"})
        parts << control(window, name)->text();
    if (control(window, "Label3")->isHidden())
        parts << u"number hidden"_s;
    if (control<QTimer>(window, "Timer1")->isActive())
        parts << u"blinking"_s;
    return parts.join(u'|');
}

using Operation = std::function<void(LoSchermo2 &)>;

} // namespace

Q_DECLARE_METATYPE(Operation)

class TestLoSchermo2 final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void placement_data();
    void placement();
    void callWhileBlinkingReplacesAndKeepsBlinking();
    void stopInHiddenHalfPeriodLeavesNumberVisible();
    void activationAfterCallReturnsToOutOfService();
    void operationWhileClosedLoadsHidden_data();
    void operationWhileClosedLoadsHidden();
    void consoleCloseSwitchesToOutOfServiceKeepingDeskName();
    void longTextsShrinkToFit();
    void screenshotsOnTwoMonitors();
    void followsAMonitorSwitchedOnLater();
};

void TestLoSchermo2::placement_data()
{
    QTest::addColumn<QList<QRect>>("monitors");
    QTest::addColumn<int>("primary");
    QTest::addColumn<QRect>("expected");
    const QRect desk(0, 0, 1920, 1080), right(1920, 0, 1920, 1080), offRight(1920 + 3, 0, 1920, 1080);
    QTest::newRow("one monitor: just off its right edge, one screen in size")
        << QList<QRect>{desk} << 0 << offRight;
    QTest::newRow("two side by side: covers the right-hand monitor") << QList<QRect>{desk, right} << 0 << right;
    QTest::newRow("second monitor of another size: covers it, not the primary's size")
        << QList<QRect>{desk, {1920, 0, 1280, 1024}} << 0 << QRect(1920, 0, 1280, 1024);
    QTest::newRow("primary listed second: the monitor right of it is found")
        << QList<QRect>{right, desk} << 1 << right;
    QTest::newRow("two monitors to the right: the one next to the primary")
        << QList<QRect>{desk, {3840, 0, 1920, 1080}, right} << 0 << right;
    QTest::newRow("monitor overlapping the primary (mirrored): not a public monitor")
        << QList<QRect>{desk, desk} << 0 << offRight;
}

void TestLoSchermo2::placement()
{
    QFETCH(QList<QRect>, monitors);
    QFETCH(int, primary);
    QFETCH(QRect, expected);
    QCOMPARE(secondScreenPlacement(monitors, primary, 3), expected);
}

void TestLoSchermo2::callWhileBlinkingReplacesAndKeepsBlinking()
{
    WindowRegistry registry;
    LoSchermo2 &window = registry.window<LoSchermo2>();
    window.MostraChiamata(u"Sportello 1"_s, u"Anagrafe"_s, 7);
    window.blinkTick();
    QCOMPARE(shows(&window), u"call|Sportello 1|Anagrafe|7|number hidden|blinking"_s);
    window.MostraChiamata(u"Sportello 2"_s, u"Tributi"_s, 8);
    QCOMPARE(shows(&window).remove(u"|number hidden"_s), u"call|Sportello 2|Tributi|8|blinking"_s);
    // The real timer keeps toggling the number.
    const QString before = shows(&window);
    QTRY_VERIFY_WITH_TIMEOUT(shows(&window) != before, 2000);
}

void TestLoSchermo2::stopInHiddenHalfPeriodLeavesNumberVisible()
{
    WindowRegistry registry;
    LoSchermo2 &window = registry.window<LoSchermo2>();
    window.MostraChiamata(u"Sportello 1"_s, u"Anagrafe"_s, 42);
    window.blinkTick();
    window.FermaLampeggio();
    QTest::qWait(400);
    QCOMPARE(shows(&window), u"call|Sportello 1|Anagrafe|42"_s);
    // The next call blinks from the shown half-period.
    window.MostraChiamata(u"Sportello 1"_s, u"Anagrafe"_s, 43);
    window.blinkTick();
    QCOMPARE(shows(&window), u"call|Sportello 1|Anagrafe|43|number hidden|blinking"_s);
}

void TestLoSchermo2::activationAfterCallReturnsToOutOfService()
{
    WindowRegistry registry;
    LoSchermo2 &window = registry.window<LoSchermo2>();
    registry.showModeless(window);
    QTRY_COMPARE(registry.activeForm(), static_cast<Form *>(&window));
    // main() gives headless runs a desk monitor and a larger public one to
    // its right: the window, frame included, covers that one.
    if (QGuiApplication::screens().size() == 2)
        QTRY_COMPARE(window.frameGeometry(), QGuiApplication::screens().at(1)->geometry());
    registry.showModeless(registry.window<OtherWindow>());
    QTRY_VERIFY(registry.activeForm() != &window);

    window.MostraChiamata(u"Sportello 3"_s, u"Anagrafe"_s, 12);
    window.activateWindow();
    QTRY_COMPARE(registry.activeForm(), static_cast<Form *>(&window));
    QCOMPARE(shows(&window), u"out|Postazione"_s);
    QCOMPARE(control(&window, "Label3")->text(), u"12"_s);
    registry.close<OtherWindow>();
    registry.close<LoSchermo2>();
}

void TestLoSchermo2::operationWhileClosedLoadsHidden_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("expected");
    QTest::newRow("a call: the call's contents, blinking")
        << Operation([](LoSchermo2 &w) { w.MostraChiamata(u"Sportello 5"_s, u"Protocollo"_s, 103); })
        << u"call|Sportello 5|Protocollo|103|blinking"_s;
    QTest::newRow("desk name set")
        << Operation([](LoSchermo2 &w) { w.ImpostaPostazione(u"Sportello 5"_s); }) << u"out|Sportello 5"_s;
    QTest::newRow("in service") << Operation(&LoSchermo2::MostraInServizio) << u"call|Postazione |Servizio|0"_s;
}

void TestLoSchermo2::operationWhileClosedLoadsHidden()
{
    QFETCH(Operation, operation);
    QFETCH(QString, expected);
    WindowRegistry registry;
    // Box ticked, console opened, closed again, box cleared: the window is
    // closed, but the flag stays up and the console still calls it.
    registry.record().secondoSchermoAttivo = true;
    registry.showModeless(registry.window<LoSchermo2>());
    registry.close<LoSchermo2>();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!registry.loaded<LoSchermo2>());

    operation(registry.window<LoSchermo2>());
    QCOMPARE(shows(registry.loaded<LoSchermo2>()), expected);
    // A tool window: left out of the task bar, no minimise or maximise box.
    QCOMPARE(registry.loaded<LoSchermo2>()->windowFlags() & (Qt::WindowType_Mask | Qt::WindowMinMaxButtonsHint),
             Qt::Tool);
    QTest::qWait(expected.endsWith(u"blinking"_s) ? 400 : 0);  // the blinking shows no window either
    const QWidgetList windows = QApplication::topLevelWidgets();
    QVERIFY(std::none_of(windows.begin(), windows.end(), [](QWidget *w) { return w->isVisible(); }));
}

void TestLoSchermo2::consoleCloseSwitchesToOutOfServiceKeepingDeskName()
{
    WindowRegistry registry;
    LoSchermo2 &window = registry.window<LoSchermo2>();
    registry.showModeless(window);
    // Console load, a call, then the console closes.
    window.ImpostaPostazione(u"Sportello 4"_s);
    window.MostraChiamata(u"Sportello 4"_s, u"Anagrafe"_s, 21);
    window.blinkTick();
    window.MostraFuoriServizio();
    QVERIFY(window.isVisible());
    QCOMPARE(shows(&window), u"out|Sportello 4"_s);
    registry.close<LoSchermo2>();
}

// A long desk or service name, or a long number, is read whole.
void TestLoSchermo2::longTextsShrinkToFit()
{
    WindowRegistry registry;
    LoSchermo2 &window = registry.window<LoSchermo2>();
    window.MostraChiamata(u"Sportello 10"_s, u"Servizi Demografici e Stato Civile"_s, 12345);
    for (const char *name : {"Label1", "Label2", "Label3"})
        QVERIFY2(fits(control(&window, name)), name);
    // The service name stays clear of its caption.
    QLabel *service = control(&window, "Label2");
    const int textWidth = QFontMetrics(service->font()).horizontalAdvance(service->text());
    QVERIFY(service->x() + (service->width() - textWidth) / 2 > control(&window, "Label5")->geometry().right());

    // The out-of-service desk name widens its box about the same centre
    // before its font gets smaller.
    QLabel *deskName = control(&window, "Label4_1");
    const QRect design = twips::rect(5520, 1200, 2895, 495);
    window.ImpostaPostazione(u"Sportello Polifunzionale 12"_s);
    QVERIFY(fits(deskName) && deskName->width() > design.width());
    QVERIFY(std::abs(deskName->geometry().center().x() - design.center().x()) <= 1);
    window.ImpostaPostazione(u"Sportello 1"_s);
    QCOMPARE(deskName->geometry(), design);
}

// Run by scripts/schermo2-screenshots.sh under an X server with the public
// monitor right of the desk's, TQ3_SCHERMO2_SHOTS naming a folder: the window
// covers it, and both panels are saved as the public sees them.
void TestLoSchermo2::screenshotsOnTwoMonitors()
{
    const QString folder = qEnvironmentVariable("TQ3_SCHERMO2_SHOTS");
    if (folder.isEmpty())
        QSKIP("TQ3_SCHERMO2_SHOTS not set");
    QVERIFY2(QGuiApplication::screens().size() == 2, "needs two monitors");
    const QRect area = QGuiApplication::screens().at(1)->geometry();
    WindowRegistry registry;
    LoSchermo2 &window = registry.window<LoSchermo2>();
    registry.showModeless(window);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE(window.frameGeometry(), area);
    auto shoot = [&](const QString &file) {
        QTest::qWait(300);
        // Through the primary screen: area is in desktop coordinates.
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(),
                                                                         area.height());
        QVERIFY(shot.save(QDir(folder).filePath(file)));
    };
    window.ImpostaPostazione(u"Sportello 3"_s);
    shoot(u"schermo2-fuori-servizio.png"_s);
    window.MostraChiamata(u"Sportello 3"_s, u"Anagrafe"_s, 127);
    window.FermaLampeggio();
    shoot(u"schermo2-chiamata.png"_s);
    registry.close<LoSchermo2>();
}

// Run by the same script under an X server with one monitor of 3840 x 1080
// and TQ3_SCHERMO2_XRANDR set: the screen is then split in two, as when the
// public monitor is switched on after the program started.
void TestLoSchermo2::followsAMonitorSwitchedOnLater()
{
    if (qEnvironmentVariableIsEmpty("TQ3_SCHERMO2_XRANDR"))
        QSKIP("TQ3_SCHERMO2_XRANDR not set");
    QCOMPARE(QGuiApplication::screens().size(), 1);
    WindowRegistry registry;
    LoSchermo2 &window = registry.window<LoSchermo2>();
    registry.showModeless(window);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.x(), 3840);
    for (const char *monitor : {"DESK 1920/508x1080/286+0+0 screen", "PUBLIC 1920/508x1080/286+1920+0 none"})
        QCOMPARE(QProcess::execute(u"xrandr"_s, QString::fromLatin1(monitor).prepend(u"--setmonitor "_s).split(u' ')), 0);
    QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::screens().size(), 2, 5000);
    QTRY_COMPARE(window.frameGeometry(), QRect(1920, 0, 1920, 1080));
    registry.close<LoSchermo2>();
}

// Headless runs get a desk monitor and, to its right, a larger public one.
int main(int argc, char **argv)
{
    QTemporaryDir folder;
    QFile config(folder.filePath(u"monitors.json"_s));
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && folder.isValid() && config.open(QIODevice::WriteOnly)) {
        config.write(R"({"screens": [
            {"name": "DESK", "x": 0, "y": 0, "width": 1280, "height": 1024, "logicalDpi": 96, "dpr": 1},
            {"name": "PUBLIC", "x": 1280, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96, "dpr": 1}]})");
        config.close();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toLocal8Bit());
    }
    QApplication app(argc, argv);
    TestLoSchermo2 test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_loschermo2.moc"

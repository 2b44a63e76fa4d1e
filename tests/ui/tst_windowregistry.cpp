#include "UiTesting.h"

#include "gui/kit/MessageBox.h"
#include "gui/kit/WindowRegistry.h"
#include "gui/windows/LoSchermo2.h"
#include "gui/windows/MsgForm.h"
#include "gui/windows/SecondScreenPlacement.h"

#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWindow>

using namespace tq3;
using namespace Qt::StringLiterals;

namespace {

// A window of the program that counts its activations. That a closed window
// is loaded afresh is tst_lamain's (the launcher loaded again).
template <const char *Name>
class Probe final : public Form {
public:
    static constexpr const char *kName = Name;
    struct State final {
        int activations = 0;
    };
    Probe(WindowRegistry &registry, State &state) : Form(registry), m_state(state) { resize(200, 100); }
    void activated() override { ++m_state.activations; }

private:
    State &m_state;
};

constexpr char kLauncher[] = "Launcher";
constexpr char kSettings[] = "Settings";
using Launcher = Probe<kLauncher>;
using Settings = Probe<kSettings>;

bool waitActive(QWidget *w)
{
    return QTest::qWaitFor([w] { return QGuiApplication::focusWindow() == w->windowHandle(); }, 2000);
}

template <class T = QLabel>
T *control(QWidget *window, const char *name)
{
    return window->findChild<T *>(QString::fromLatin1(name));
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

} // namespace

class TestWindowRegistry final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void onlyComingBackFromAWindowOfTheProgramIsAnActivation()
    {
        WindowRegistry registry;
        Launcher &launcher = registry.window<Launcher>();
        QCOMPARE(registry.state<Launcher>().activations, 0);  // loading alone is not
        registry.showModeless(launcher);
        QTRY_COMPARE(registry.state<Launcher>().activations, 1);
        registry.showModeless(registry.window<Settings>());
        QTRY_COMPARE(registry.state<Settings>().activations, 1);
        launcher.activateWindow();
        QTRY_COMPARE(registry.state<Launcher>().activations, 2);
        registry.close<Settings>();
        QVERIFY(waitActive(&launcher));

        // Another program, then back, and a platform box: no window of the program.
        Q_EMIT qGuiApp->focusWindowChanged(nullptr);
        Q_EMIT qGuiApp->focusWindowChanged(launcher.windowHandle());
        test::ModalCloser closer;
        showMessageBox(&launcher, u"testo"_s, u"titolo"_s, BoxIcon::Information);
        QVERIFY(waitActive(&launcher));
        QTest::qWait(20);
        QCOMPARE(registry.state<Launcher>().activations, 2);
        // The program's message window is one, and so is a modal window of the
        // program, which waits until it is closed and is then unloaded.
        MsgForm::MostraMessaggio(registry, u"riga"_s);
        QTRY_COMPARE(registry.state<Launcher>().activations, 3);
        QPointer<Settings> modal = &registry.window<Settings>();
        registry.showModal(*modal);
        QVERIFY(!modal);
        QTRY_COMPARE(registry.state<Launcher>().activations, 4);
        QCOMPARE(closer.boxes(), (QStringList{u"titolo|testo|info"_s, u" |riga"_s, u"Settings"_s}));
    }

    void theRunEndsWithTheLastShownWindowOnceStartUpIsOver()
    {
        WindowRegistry registry;
        QSignalSpy ended(&registry, &WindowRegistry::lastWindowClosed);
        {
            // A window shown and closed during start-up, before the launcher.
            test::ModalCloser closer;
            registry.showModal(registry.window<Settings>());
        }
        QTest::qWait(50);
        QCOMPARE(ended.count(), 0);

        registry.showModeless(registry.window<Launcher>());
        registry.window<Settings>();  // loaded but never shown: keeps nothing running
        registry.setQuitWhenLastWindowCloses(true);
        registry.close<Launcher>();
        QTRY_COMPARE(ended.count(), 1);
    }
    // The message window's lines, one and two, are read by the consoles' tests.

    void placement_data()
    {
        QTest::addColumn<QList<QRect>>("monitors");
        QTest::addColumn<int>("primary");
        QTest::addColumn<QRect>("expected");
        const QRect desk(0, 0, 1920, 1080), right(1920, 0, 1280, 1024), offRight(1920 + 3, 0, 1920, 1080);
        QTest::newRow("one monitor: just off its right edge, one screen in size") << QList{desk} << 0 << offRight;
        QTest::newRow("two side by side: covers the right-hand monitor in its own size") << QList{desk, right} << 0 << right;
        QTest::newRow("primary listed second, two to its right: the one next to it")
            << QList{QRect(3200, 0, 1920, 1080), right, desk} << 2 << right;
        QTest::newRow("monitor overlapping the primary (mirrored): not a public monitor")
            << QList{desk, desk} << 0 << offRight;
    }
    void placement()
    {
        QFETCH(QList<QRect>, monitors);
        QFETCH(int, primary);
        QTEST(secondScreenPlacement(monitors, primary, 3), "expected");
    }

    void blinkStopsOnTheNumberAndKeepsItsRhythm()
    {
        WindowRegistry registry;
        LoSchermo2 &window = registry.window<LoSchermo2>();
        registry.showModeless(window);
        // main() gives headless runs a desk monitor and a larger public one to
        // its right: the window, frame included, covers that one.
        if (QGuiApplication::screens().size() == 2)
            QTRY_COMPARE(window.frameGeometry(), QGuiApplication::screens().at(1)->geometry());
        window.ImpostaPostazione(u"Sportello 1"_s);
        window.MostraChiamata(u"Sportello 1"_s, u"Anagrafe"_s, 7);
        window.blinkTick();
        QCOMPARE(shows(&window), u"call|Sportello 1|Anagrafe|7|number hidden|blinking"_s);
        // Stopped in the hidden half-period, the number shows; the next call blinks from there.
        window.FermaLampeggio();
        QCOMPARE(shows(&window), u"call|Sportello 1|Anagrafe|7"_s);
        window.MostraChiamata(u"Sportello 1"_s, u"Anagrafe"_s, 8);
        window.blinkTick();
        QCOMPARE(shows(&window), u"call|Sportello 1|Anagrafe|8|number hidden|blinking"_s);
        // A call while blinking replaces the texts and keeps blinking, on the real timer.
        window.MostraChiamata(u"Sportello 2"_s, u"Tributi"_s, 9);
        QCOMPARE(shows(&window).remove(u"|number hidden"_s), u"call|Sportello 2|Tributi|9|blinking"_s);
        const QString before = shows(&window);
        QTRY_VERIFY_WITH_TIMEOUT(shows(&window) != before, 2000);
        // The console closing: out of service, with the desk name set at its load.
        window.MostraFuoriServizio();
        QVERIFY(window.isVisible());
        QCOMPARE(shows(&window), u"out|Sportello 1"_s);
    }
};

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
    TestWindowRegistry test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowregistry.moc"

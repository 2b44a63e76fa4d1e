#include "StartupUiTesting.h"

#include "startup/ui/MessageBox.h"
#include "startup/ui/WindowRegistry.h"
#include "windows/MsgForm.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using namespace tq3;

namespace {

// A window as the program's windows are built: controls made in the
// constructor, own fields in its State.
template <const char *Name>
class Probe final : public Form {
public:
    static constexpr const char *kName = Name;
    struct State final {
        int loads = 0;
        int activations = 0;
        QString kept;
    };

    Probe(WindowRegistry &registry, State &state)
        : Form(registry)
        , m_state(state)
    {
        setWindowTitle(QString::fromLatin1(Name));
        text = new QLineEdit(QStringLiteral("initial"), this);
        text->setObjectName(QStringLiteral("Text1"));
        resize(200, 100);
    }

    void load() override { ++m_state.loads; }
    void activated() override { ++m_state.activations; }

    QLineEdit *text = nullptr;

private:
    State &m_state;
};

constexpr char kLauncher[] = "Launcher";
constexpr char kSettings[] = "Settings";
constexpr char kConsole[] = "Console";
using Launcher = Probe<kLauncher>;
using Settings = Probe<kSettings>;
using Console = Probe<kConsole>;

bool waitActive(QWidget *w)
{
    return QTest::qWaitFor([w] { return QGuiApplication::focusWindow() == w->windowHandle(); }, 2000);
}

} // namespace

class TestWindowRegistry final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void oneInstancePerName();
    void controlsAreRebuiltAtEachLoadWhileOwnFieldsStay();
    void closingAWindowThatIsNotLoadedDoesNothing();
    void aWindowClosedAndUsedAgainInOneHandlerIsLoadedAfresh();
    void aMinimisedWindowStaysLoaded();
    void escapeDoesNotCloseAWindow();
    void firstShowingIsAnActivation();
    void goingBetweenWindowsOfTheProgramActivatesThem();
    void comingBackFromAnotherProgramIsNoActivation();
    void comingBackFromAPlatformMessageBoxIsNoActivation();
    void aModalWindowWaitsAndItsCallerIsActivatedAgain();
    void modelessShowingReturnsAtOnce();
    void theLastWindowClosingEndsTheRun();
    void aSettingsWindowLeftOpenKeepsTheRunGoing();
    void nothingEndsBeforeStartUpHasShownTheLauncher();
};

void TestWindowRegistry::oneInstancePerName()
{
    WindowRegistry registry;
    QVERIFY(!registry.loaded<Launcher>());
    Launcher &first = registry.window<Launcher>();
    QCOMPARE(&registry.window<Launcher>(), &first);
    QCOMPARE(registry.loaded<Launcher>(), &first);
    QCOMPARE(first.objectName(), QStringLiteral("Launcher"));
    QVERIFY(static_cast<Form *>(&registry.window<Settings>()) != static_cast<Form *>(&first));
    QCOMPARE(registry.state<Launcher>().loads, 1);
}

void TestWindowRegistry::controlsAreRebuiltAtEachLoadWhileOwnFieldsStay()
{
    WindowRegistry registry;
    Settings &first = registry.window<Settings>();
    registry.showModeless(first);
    first.text->setText(QStringLiteral("typed"));
    registry.state<Settings>().kept = QStringLiteral("own field");
    QPointer<QLineEdit> oldControl = first.text;

    registry.close<Settings>();
    QVERIFY(!registry.loaded<Settings>());
    QTRY_VERIFY(!oldControl);  // the controls are gone with the window

    Settings &second = registry.window<Settings>();
    QCOMPARE(second.text->text(), QStringLiteral("initial"));
    QCOMPARE(registry.state<Settings>().kept, QStringLiteral("own field"));
    QCOMPARE(registry.state<Settings>().loads, 2);
}

void TestWindowRegistry::closingAWindowThatIsNotLoadedDoesNothing()
{
    WindowRegistry registry;
    registry.close<Console>();
    QVERIFY(!registry.loaded<Console>());
    QCOMPARE(registry.state<Console>().loads, 0);
}

void TestWindowRegistry::aWindowClosedAndUsedAgainInOneHandlerIsLoadedAfresh()
{
    WindowRegistry registry;
    Settings &first = registry.window<Settings>();
    registry.showModeless(first);
    first.text->setText(QStringLiteral("typed"));
    QPointer<Settings> old = &first;

    // The user's own close box, then a use before the event loop runs again.
    first.close();
    QVERIFY(old);  // deletion is deferred
    Settings &again = registry.window<Settings>();
    QVERIFY(&again != old.data());
    QCOMPARE(again.text->text(), QStringLiteral("initial"));

    // Loaded but never shown, closed, used again.
    registry.close<Settings>();
    QVERIFY(&registry.window<Settings>() != &again);
    QCOMPARE(registry.state<Settings>().loads, 3);
}

void TestWindowRegistry::aMinimisedWindowStaysLoaded()
{
    WindowRegistry registry;
    Console &console = registry.window<Console>();
    registry.showModeless(console);
    console.text->setText(QStringLiteral("typed"));
    console.showMinimized();
    QCOMPARE(registry.loaded<Console>(), &console);
    console.showNormal();
    QCOMPARE(&registry.window<Console>(), &console);
    QCOMPARE(console.text->text(), QStringLiteral("typed"));
    QCOMPARE(registry.state<Console>().loads, 1);
}

void TestWindowRegistry::escapeDoesNotCloseAWindow()
{
    WindowRegistry registry;
    Settings &settings = registry.window<Settings>();
    registry.showModeless(settings);
    QTest::keyClick(&settings, Qt::Key_Escape);
    QVERIFY(settings.isVisible());
    QCOMPARE(registry.loaded<Settings>(), &settings);
}

void TestWindowRegistry::firstShowingIsAnActivation()
{
    WindowRegistry registry;
    Launcher &launcher = registry.window<Launcher>();
    QCOMPARE(registry.state<Launcher>().activations, 0);  // loading alone is not
    registry.showModeless(launcher);
    QTRY_COMPARE(registry.state<Launcher>().activations, 1);
    QCOMPARE(registry.activeForm(), &launcher);
}

void TestWindowRegistry::goingBetweenWindowsOfTheProgramActivatesThem()
{
    WindowRegistry registry;
    Launcher &launcher = registry.window<Launcher>();
    registry.showModeless(launcher);
    QTRY_COMPARE(registry.state<Launcher>().activations, 1);
    Settings &settings = registry.window<Settings>();
    registry.showModeless(settings);
    QTRY_COMPARE(registry.state<Settings>().activations, 1);

    launcher.activateWindow();
    QTRY_COMPARE(registry.state<Launcher>().activations, 2);
    settings.activateWindow();
    QTRY_COMPARE(registry.state<Settings>().activations, 2);
    QCOMPARE(registry.state<Launcher>().activations, 2);
}

void TestWindowRegistry::comingBackFromAnotherProgramIsNoActivation()
{
    WindowRegistry registry;
    Launcher &launcher = registry.window<Launcher>();
    registry.showModeless(launcher);
    QTRY_COMPARE(registry.state<Launcher>().activations, 1);
    QVERIFY(waitActive(&launcher));

    // What the platform reports when the user goes to another program and
    // comes back: no window of ours, then the same window again.
    Q_EMIT qGuiApp->focusWindowChanged(nullptr);
    Q_EMIT qGuiApp->focusWindowChanged(launcher.windowHandle());
    QTest::qWait(20);
    QCOMPARE(registry.state<Launcher>().activations, 1);
}

void TestWindowRegistry::comingBackFromAPlatformMessageBoxIsNoActivation()
{
    WindowRegistry registry;
    Launcher &launcher = registry.window<Launcher>();
    registry.showModeless(launcher);
    QVERIFY(waitActive(&launcher));
    QTRY_COMPARE(registry.state<Launcher>().activations, 1);

    bool boxSeen = false;
    test::onNextModal([&](QWidget *box) {
        boxSeen = waitActive(box);
        test::answer(box);
    });
    showMessageBox(&launcher, QStringLiteral("testo"), QStringLiteral("titolo"), BoxIcon::Information);
    QVERIFY(boxSeen);  // the box really took the focus
    QVERIFY(waitActive(&launcher));
    QTest::qWait(20);
    QCOMPARE(registry.state<Launcher>().activations, 1);

    // The program's own message window is a window of the program: coming
    // back from it is an activation.
    test::onNextModal([](QWidget *msg) {
        waitActive(msg);
        test::answer(msg);
    });
    MsgForm::MostraMessaggio(registry, QStringLiteral("riga"));
    QTRY_COMPARE(registry.state<Launcher>().activations, 2);
}

void TestWindowRegistry::aModalWindowWaitsAndItsCallerIsActivatedAgain()
{
    WindowRegistry registry;
    Launcher &launcher = registry.window<Launcher>();
    registry.showModeless(launcher);
    QVERIFY(waitActive(&launcher));
    QTRY_COMPARE(registry.state<Launcher>().activations, 1);

    bool wasModal = false;
    bool launcherBlocked = false;
    test::onNextModal([&](QWidget *w) {
        wasModal = w->objectName() == QStringLiteral("Console");
        launcherBlocked = QApplication::activeModalWidget() == w && w->isModal();
        w->close();
    });
    Console &console = registry.window<Console>();
    QPointer<Console> watch = &console;
    registry.showModal(console);

    QVERIFY(wasModal);
    QVERIFY(launcherBlocked);
    QVERIFY(!watch);  // unloaded once closed
    QVERIFY(!registry.loaded<Console>());
    QTRY_COMPARE(registry.state<Launcher>().activations, 2);
    QVERIFY(waitActive(&launcher));
}

void TestWindowRegistry::modelessShowingReturnsAtOnce()
{
    WindowRegistry registry;
    Settings &settings = registry.window<Settings>();
    registry.showModeless(settings);
    QVERIFY(settings.isVisible());
    QCOMPARE(settings.windowModality(), Qt::NonModal);
    QVERIFY(!QApplication::activeModalWidget());
}

void TestWindowRegistry::theLastWindowClosingEndsTheRun()
{
    WindowRegistry registry;
    QSignalSpy ended(&registry, &WindowRegistry::lastWindowClosed);
    registry.showModeless(registry.window<Launcher>());
    registry.window<Console>();  // loaded but never shown: keeps nothing running
    registry.setQuitWhenLastWindowCloses(true);
    registry.close<Launcher>();
    QTRY_COMPARE(ended.count(), 1);
}

void TestWindowRegistry::aSettingsWindowLeftOpenKeepsTheRunGoing()
{
    WindowRegistry registry;
    QSignalSpy ended(&registry, &WindowRegistry::lastWindowClosed);
    registry.showModeless(registry.window<Launcher>());
    registry.showModeless(registry.window<Settings>());
    registry.setQuitWhenLastWindowCloses(true);

    registry.window<Launcher>().close();
    QTest::qWait(50);
    QCOMPARE(ended.count(), 0);
    QVERIFY(registry.loaded<Settings>()->isVisible());

    registry.window<Settings>().close();
    QTRY_COMPARE(ended.count(), 1);
}

void TestWindowRegistry::nothingEndsBeforeStartUpHasShownTheLauncher()
{
    WindowRegistry registry;
    QSignalSpy ended(&registry, &WindowRegistry::lastWindowClosed);
    // A window shown and closed during start-up, before the launcher.
    test::onNextModal([](QWidget *w) { w->close(); });
    registry.showModal(registry.window<Settings>());
    QTest::qWait(50);
    QCOMPARE(ended.count(), 0);
}

QTEST_MAIN(TestWindowRegistry)
#include "tst_windowregistry.moc"

#include "UiTesting.h"

#include "gui/kit/MessageBox.h"
#include "gui/kit/WindowRegistry.h"
#include "gui/windows/MsgForm.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QSignalSpy>
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
        text = new QLineEdit(QStringLiteral("initial"), this);
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
using Launcher = Probe<kLauncher>;
using Settings = Probe<kSettings>;

bool waitActive(QWidget *w)
{
    return QTest::qWaitFor([w] { return QGuiApplication::focusWindow() == w->windowHandle(); }, 2000);
}

} // namespace

class TestWindowRegistry final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void eachLoadRebuildsTheControlsWhileOwnFieldsStay();
    void onlyComingBackFromAWindowOfTheProgramIsAnActivation();
    void theRunEndsWithTheLastShownWindowOnceStartUpIsOver();
};

void TestWindowRegistry::eachLoadRebuildsTheControlsWhileOwnFieldsStay()
{
    WindowRegistry registry;
    registry.close<Settings>();  // not loaded: nothing happens
    Settings &first = registry.window<Settings>();
    QCOMPARE(&registry.window<Settings>(), &first);
    QCOMPARE(first.objectName(), QStringLiteral("Settings"));
    registry.showModeless(first);
    QCOMPARE(first.windowModality(), Qt::NonModal);
    first.text->setText(QStringLiteral("typed"));
    registry.state<Settings>().kept = QStringLiteral("own field");
    // Neither Escape nor minimising closes it.
    QTest::keyClick(&first, Qt::Key_Escape);
    first.showMinimized();
    first.showNormal();
    QCOMPARE(&registry.window<Settings>(), &first);
    QCOMPARE(first.text->text(), QStringLiteral("typed"));
    QPointer<QLineEdit> oldControl = first.text;

    // The operator's close box, then a use before the event loop runs again.
    first.close();
    Settings &second = registry.window<Settings>();
    QVERIFY(&second != &first);
    QCOMPARE(second.text->text(), QStringLiteral("initial"));
    QCOMPARE(registry.state<Settings>().kept, QStringLiteral("own field"));
    QTRY_VERIFY(!oldControl);  // the controls are gone with the window

    // Loaded but never shown, closed, used again.
    registry.close<Settings>();
    QVERIFY(!registry.loaded<Settings>());
    registry.window<Settings>();
    QCOMPARE(registry.state<Settings>().loads, 3);
}

void TestWindowRegistry::onlyComingBackFromAWindowOfTheProgramIsAnActivation()
{
    WindowRegistry registry;
    Launcher &launcher = registry.window<Launcher>();
    QCOMPARE(registry.state<Launcher>().activations, 0);  // loading alone is not
    registry.showModeless(launcher);
    QVERIFY(waitActive(&launcher));
    QTRY_COMPARE(registry.state<Launcher>().activations, 1);
    QCOMPARE(registry.activeForm(), &launcher);

    Settings &settings = registry.window<Settings>();
    registry.showModeless(settings);
    QTRY_COMPARE(registry.state<Settings>().activations, 1);
    launcher.activateWindow();
    QTRY_COMPARE(registry.state<Launcher>().activations, 2);
    registry.close<Settings>();
    QVERIFY(waitActive(&launcher));

    // Another program, then back: the platform reports no window of ours,
    // then the same window again.
    Q_EMIT qGuiApp->focusWindowChanged(nullptr);
    Q_EMIT qGuiApp->focusWindowChanged(launcher.windowHandle());
    // A platform box is no window of the program; the program's own message
    // window is, and so is a modal window of the program, which waits until
    // it is closed and is then unloaded.
    int focused = 0;
    test::ModalCloser closer([&](QWidget *window) {
        focused += waitActive(window);
        return false;
    });
    showMessageBox(&launcher, QStringLiteral("testo"), QStringLiteral("titolo"), BoxIcon::Information);
    QVERIFY(waitActive(&launcher));
    QTest::qWait(20);
    QCOMPARE(registry.state<Launcher>().activations, 2);
    MsgForm::MostraMessaggio(registry, QStringLiteral("riga"));
    QTRY_COMPARE(registry.state<Launcher>().activations, 3);
    QPointer<Settings> modal = &registry.window<Settings>();
    registry.showModal(*modal);
    QCOMPARE(closer.boxes(), (QStringList{QStringLiteral("titolo|testo|info"), QStringLiteral(" |riga"),
                                          QStringLiteral("Settings")}));
    QCOMPARE(focused, 3);
    QVERIFY(!modal);
    QTRY_COMPARE(registry.state<Launcher>().activations, 4);
}

void TestWindowRegistry::theRunEndsWithTheLastShownWindowOnceStartUpIsOver()
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

QTEST_MAIN(TestWindowRegistry)
#include "tst_windowregistry.moc"

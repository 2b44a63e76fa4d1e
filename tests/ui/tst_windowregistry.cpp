#include "UiTesting.h"

#include "gui/kit/MessageBox.h"
#include "gui/kit/WindowRegistry.h"
#include "gui/windows/LoSchermo2.h"
#include "gui/windows/MsgForm.h"
#include "gui/windows/SecondScreenPlacement.h"

#include <QFrame>
#include <QGuiApplication>
#include <QWindow>

using namespace tq3;
using namespace Qt::StringLiterals;

namespace {

// A window of the program that counts its activations.
class Launcher final : public Form {
public:
    static constexpr char kName[] = "Launcher";
    struct State final {
        int activations = 0;
    };
    Launcher(WindowRegistry &registry, State &state) : Form(registry), m_state(state) { resize(200, 100); }
    void activated() override { ++m_state.activations; }

private:
    State &m_state;
};

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
        QVERIFY(waitActive(&launcher));
        // Another program, then back, and a platform box: no window of the program.
        Q_EMIT qGuiApp->focusWindowChanged(nullptr);
        Q_EMIT qGuiApp->focusWindowChanged(launcher.windowHandle());
        test::ModalCloser closer;
        showMessageBox(&launcher, u"testo"_s, u"titolo"_s, BoxIcon::Information);
        QVERIFY(waitActive(&launcher));
        QTest::qWait(20);
        QCOMPARE(registry.state<Launcher>().activations, 1);
        // The program's own message window is one.
        MsgForm::MostraMessaggio(registry, u"riga"_s);
        QTRY_COMPARE(registry.state<Launcher>().activations, 2);
        QCOMPARE(closer.boxes(), (QStringList{u"titolo|testo|info"_s, u" |riga"_s}));
    }

    // The message window's lines, one and two, are read by the consoles' tests;
    // the run's end with the last window shown, and a closed window loaded
    // afresh, by tst_lamain's (the launcher closed, loaded again).

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

QTEST_MAIN(TestWindowRegistry)
#include "tst_windowregistry.moc"

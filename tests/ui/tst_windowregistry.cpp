#include "UiTesting.h"

#include "gui/kit/MessageBox.h"
#include "gui/kit/Twips.h"
#include "gui/kit/WindowRegistry.h"
#include "gui/windows/MsgForm.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QWindow>

using namespace tq3;
using namespace Qt::StringLiterals;

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
    void eachLoadRebuildsTheControlsWhileOwnFieldsStay()
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

    void onlyComingBackFromAWindowOfTheProgramIsAnActivation()
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

    // The program's message window: a fixed dialog of its size in the middle
    // of the screen, each showing from fresh, a long line in a smaller font.
    void messageWindowShowsTheGivenLinesAndHidesTheOthers_data()
    {
        QTest::addColumn<QString>("line0");
        QTest::addColumn<QString>("line1");
        QTest::addColumn<QString>("visible");
        // One line and two lines are shown by the consoles' tests.
        QTest::newRow("a line given exactly Label2 is hidden") << u"Label2"_s << u"seconda"_s << u"seconda"_s;
        QTest::newRow("a line in another letter case stays") << u"label2"_s << QString() << u"label2"_s;
        const QString longLine = u"Invio della chiamata al Server non riuscito (errore 10065) !"_s;
        QTest::newRow("a long line takes a smaller font instead of being cut")
            << longLine << u"Il biglietto resta in attesa."_s << longLine + u"/Il biglietto resta in attesa."_s;
    }
    void messageWindowShowsTheGivenLinesAndHidesTheOthers()
    {
        QFETCH(QString, line0);
        QFETCH(QString, line1);
        WindowRegistry registry;
        QStringList looks;
        test::ModalCloser closer([&](QWidget *window) {
            const QPoint offCentre = window->frameGeometry().center() - window->screen()->geometry().center();
            const bool fixed = !(window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
            QString look = window->findChild<QLabel *>(u"Label1"_s)->text() + u'|'
                + window->findChild<QAbstractButton *>(u"PB1_0"_s)->text();
            if (window->size() != twips::size(8370, 5025) || offCentre.manhattanLength() > 4 || !fixed)
                look += u"|not a fixed dialog of its size in the middle of the screen"_s;
            for (const auto *line : window->findChildren<QLabel *>(QRegularExpression(u"^Label2_[01]$"_s))) {
                if (line->fontMetrics().horizontalAdvance(line->text()) > line->width())
                    look += u"|cut: "_s + line->text();
            }
            looks << look;
            return false;
        });
        // Each showing starts fresh: the two lines before leave nothing behind.
        MsgForm::MostraMessaggio(registry, u"prima riga"_s, u"seconda riga"_s);
        MsgForm::MostraMessaggio(registry, line0, line1);
        QFETCH(QString, visible);
        QCOMPARE(closer.boxes(), (QStringList{u" |prima riga/seconda riga"_s, u" |"_s + visible}));
        QCOMPARE(looks, QStringList(2, u"Messaggio x te  da TURNALIA 3 MAX (Client)|C&hiudi"_s));
        QVERIFY(!registry.loaded<MsgForm>());
    }
};

QTEST_MAIN(TestWindowRegistry)
#include "tst_windowregistry.moc"

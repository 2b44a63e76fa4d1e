#include "gui/kit/Form.h"
#include "gui/kit/WindowRegistry.h"
#include "gui/windows/LoSchermo2.h"
#include "gui/windows/SecondScreenPlacement.h"

#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QLabel>
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
    void placement_data()
    {
        QTest::addColumn<QList<QRect>>("monitors");
        QTest::addColumn<int>("primary");
        QTest::addColumn<QRect>("expected");
        const QRect desk(0, 0, 1920, 1080), right(1920, 0, 1920, 1080), offRight(1920 + 3, 0, 1920, 1080);
        QTest::newRow("one monitor: just off its right edge, one screen in size") << QList{desk} << 0 << offRight;
        QTest::newRow("two side by side: covers the right-hand monitor") << QList{desk, right} << 0 << right;
        QTest::newRow("second monitor of another size: covers it, not the primary's size")
            << QList{desk, QRect(1920, 0, 1280, 1024)} << 0 << QRect(1920, 0, 1280, 1024);
        QTest::newRow("primary listed second: the monitor right of it is found") << QList{right, desk} << 1 << right;
        QTest::newRow("two monitors to the right: the one next to the primary")
            << QList{desk, QRect(3840, 0, 1920, 1080), right} << 0 << right;
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

    void activationAfterCallReturnsToOutOfService()
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
    }

    void operationWhileClosedLoadsHidden_data()
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
    void operationWhileClosedLoadsHidden()
    {
        QFETCH(Operation, operation);
        WindowRegistry registry;
        // Box ticked, console opened, closed again, box cleared: the window is
        // closed, but the flag stays up and the console still calls it.
        registry.record().secondoSchermoAttivo = true;
        registry.showModeless(registry.window<LoSchermo2>());
        registry.close<LoSchermo2>();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!registry.loaded<LoSchermo2>());
        operation(registry.window<LoSchermo2>());
        QTEST(shows(registry.loaded<LoSchermo2>()), "expected");
        // A tool window: left out of the task bar, no minimise or maximise box.
        QCOMPARE(registry.loaded<LoSchermo2>()->windowFlags() & (Qt::WindowType_Mask | Qt::WindowMinMaxButtonsHint),
                 Qt::Tool);
        const auto shown = [] { return std::ranges::any_of(QApplication::topLevelWidgets(), &QWidget::isVisible); };
        QVERIFY(!QTest::qWaitFor(shown, 400));  // the blinking shows no window either
    }

    // A long desk or service name, or a long number, is read whole.
    void longTextsShrinkToFit()
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
        // before its font gets smaller, and a short one has it back.
        QLabel *deskName = control(&window, "Label4_1");
        window.ImpostaPostazione(u"Sportello 1"_s);
        const QRect design = deskName->geometry();
        window.ImpostaPostazione(u"Sportello Polifunzionale 12"_s);
        QVERIFY(fits(deskName) && deskName->width() > design.width());
        QVERIFY(std::abs(deskName->geometry().center().x() - design.center().x()) <= 1);
        window.ImpostaPostazione(u"Sportello 1"_s);
        QCOMPARE(deskName->geometry(), design);
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
    TestLoSchermo2 test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_loschermo2.moc"

#include "StartupUiTesting.h"

#include "startup/ui/Twips.h"
#include "startup/ui/WindowRegistry.h"
#include "windows/MsgForm.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace tq3;

namespace {

struct SeenMessage {
    bool shown = false;
    QString title;
    QString titleLine;
    QString line0;
    QString line1;
    bool line0Visible = false;
    bool line1Visible = false;
    QSize clientSize;
    Qt::WindowFlags flags;
    Qt::WindowModality modality = Qt::NonModal;
    const QWidget *widget = nullptr;
};

// Reads the message window as it stands on screen, then presses "C&hiudi".
void readAndClose(SeenMessage &seen)
{
    test::onNextModal([&seen](QWidget *w) {
        seen.shown = true;
        seen.widget = w;
        seen.title = w->windowTitle();
        seen.flags = w->windowFlags();
        seen.modality = w->windowModality();
        seen.clientSize = w->size();
        if (auto *l = test::child<QLabel>(w, QStringLiteral("Label1")))
            seen.titleLine = l->text();
        if (auto *l = test::child<QLabel>(w, QStringLiteral("Label2_0"))) {
            seen.line0 = l->text();
            seen.line0Visible = l->isVisible();
        }
        if (auto *l = test::child<QLabel>(w, QStringLiteral("Label2_1"))) {
            seen.line1 = l->text();
            seen.line1Visible = l->isVisible();
        }
        auto *close = test::child<QPushButton>(w, QStringLiteral("PB1_0"));
        QVERIFY(close);
        QCOMPARE(close->text(), QStringLiteral("C&hiudi"));
        QTest::mouseClick(close, Qt::LeftButton);
    });
}

} // namespace

class TestMsgForm final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void showsTheGivenLinesAndHidesTheOthers_data();
    void showsTheGivenLinesAndHidesTheOthers();
    void twoShowingsInARowShareNothing();
    void looksLikeAFixedDialogInTheMiddleOfTheScreen();
    void picture();
};

void TestMsgForm::showsTheGivenLinesAndHidesTheOthers_data()
{
    QTest::addColumn<QString>("line0");
    QTest::addColumn<QString>("line1");
    QTest::addColumn<bool>("line0Visible");
    QTest::addColumn<bool>("line1Visible");

    QTest::newRow("one line shows that line alone")
        << QStringLiteral("Al momento coda di attesa vuota !") << QString() << true << false;
    QTest::newRow("two lines show both")
        << QStringLiteral("Client e Server non devono")
        << QStringLiteral("coesistere sullo stesso PC !") << true << true;
    QTest::newRow("a first line given exactly Label2 is hidden")
        << QStringLiteral("Label2") << QStringLiteral("seconda") << false << true;
    QTest::newRow("a second line given exactly Label2 is hidden")
        << QStringLiteral("prima") << QStringLiteral("Label2") << true << false;
    QTest::newRow("a line in another letter case stays")
        << QStringLiteral("label2") << QString() << true << false;
}

void TestMsgForm::showsTheGivenLinesAndHidesTheOthers()
{
    QFETCH(QString, line0);
    QFETCH(QString, line1);
    QFETCH(bool, line0Visible);
    QFETCH(bool, line1Visible);

    WindowRegistry registry;
    SeenMessage seen;
    readAndClose(seen);
    MsgForm::MostraMessaggio(registry, line0, line1);

    QVERIFY(seen.shown);
    QCOMPARE(seen.title, QStringLiteral(" "));
    QCOMPARE(seen.titleLine, QStringLiteral("Messaggio x te  da TURNALIA 3 MAX (Client)"));
    QCOMPARE(seen.line0, line0);
    QCOMPARE(seen.line0Visible, line0Visible);
    QCOMPARE(seen.line1Visible, line1Visible);
    if (line1Visible)
        QCOMPARE(seen.line1, line1);
    QCOMPARE(seen.modality, Qt::ApplicationModal);
    QVERIFY(!registry.loaded<MsgForm>());
}

void TestMsgForm::twoShowingsInARowShareNothing()
{
    WindowRegistry registry;
    SeenMessage first;
    readAndClose(first);
    MsgForm::MostraMessaggio(registry, QStringLiteral("Percorso /postazione impostate correttamente !"),
                             QStringLiteral("Riavviare modulo Client Turnalia 3 MAX !"));
    QVERIFY(first.line1Visible);

    SeenMessage second;
    readAndClose(second);
    MsgForm::MostraMessaggio(registry, QStringLiteral("Selezionare un Percorso per gli archivi !"));

    QVERIFY(second.shown);
    QCOMPARE(second.line0, QStringLiteral("Selezionare un Percorso per gli archivi !"));
    QVERIFY(second.line0Visible);
    QCOMPARE(second.line1, QStringLiteral("Label2"));
    QVERIFY(!second.line1Visible);
}

void TestMsgForm::looksLikeAFixedDialogInTheMiddleOfTheScreen()
{
    WindowRegistry registry;
    SeenMessage seen;
    QPoint centre;
    QPoint screenCentre;
    test::onNextModal([&](QWidget *w) {
        centre = w->frameGeometry().center();
        screenCentre = w->screen()->geometry().center();
        readAndClose(seen);
    });
    MsgForm::MostraMessaggio(registry, QStringLiteral("x"));
    QVERIFY(seen.shown);
    QCOMPARE(seen.clientSize, twips::size(8370, 5025));
    QVERIFY(!(seen.flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(seen.flags & Qt::WindowMaximizeButtonHint));
    QVERIFY2((centre - screenCentre).manhattanLength() <= 4, qPrintable(QStringLiteral("%1,%2 vs %3,%4").arg(centre.x()).arg(centre.y()).arg(screenCentre.x()).arg(screenCentre.y())));
}

// The picture in docs/, when TQ3_MSGFORM_SHOT names the file to write.
void TestMsgForm::picture()
{
    const QString file = qEnvironmentVariable("TQ3_MSGFORM_SHOT");
    if (file.isEmpty())
        QSKIP("TQ3_MSGFORM_SHOT not set");
    WindowRegistry registry;
    bool saved = false;
    test::onNextModal([&](QWidget *w) {
        QTest::qWait(300);
        saved = w->grab().save(file);
        w->close();
    });
    MsgForm::MostraMessaggio(registry, QStringLiteral("Percorso /postazione impostate correttamente !"),
                             QStringLiteral("Riavviare modulo Client Turnalia 3 MAX !"));
    QVERIFY(saved);
}

QTEST_MAIN(TestMsgForm)
#include "tst_msgform.moc"

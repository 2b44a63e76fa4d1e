#include "UiTesting.h"

#include "startup/ui/Twips.h"
#include "startup/ui/WindowRegistry.h"
#include "windows/MsgForm.h"

#include <QScreen>

using namespace tq3;

class TestMsgForm final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void showsTheGivenLinesInAFixedDialogAndHidesTheOthers_data();
    void showsTheGivenLinesInAFixedDialogAndHidesTheOthers();
    void picture();
};

void TestMsgForm::showsTheGivenLinesInAFixedDialogAndHidesTheOthers_data()
{
    QTest::addColumn<QString>("line0");
    QTest::addColumn<QString>("line1");
    QTest::addColumn<QStringList>("visible");
    QTest::newRow("one line shows that line alone")
        << QStringLiteral("Al momento coda di attesa vuota !") << QString()
        << QStringList{QStringLiteral("Al momento coda di attesa vuota !")};
    QTest::newRow("two lines show both")
        << QStringLiteral("Client e Server non devono") << QStringLiteral("coesistere sullo stesso PC !")
        << QStringList{QStringLiteral("Client e Server non devono"), QStringLiteral("coesistere sullo stesso PC !")};
    QTest::newRow("a first line given exactly Label2 is hidden")
        << QStringLiteral("Label2") << QStringLiteral("seconda") << QStringList{QStringLiteral("seconda")};
    QTest::newRow("a second line given exactly Label2 is hidden")
        << QStringLiteral("prima") << QStringLiteral("Label2") << QStringList{QStringLiteral("prima")};
    QTest::newRow("a line in another letter case stays")
        << QStringLiteral("label2") << QString() << QStringList{QStringLiteral("label2")};
}

void TestMsgForm::showsTheGivenLinesInAFixedDialogAndHidesTheOthers()
{
    QFETCH(QString, line0);
    QFETCH(QString, line1);
    WindowRegistry registry;
    QStringList look;
    test::ModalCloser closer([&](QWidget *window) {
        const QPoint offCentre = window->frameGeometry().center() - window->screen()->geometry().center();
        look = QStringList{window->windowTitle(), window->findChild<QLabel *>(QStringLiteral("Label1"))->text(),
                           window->findChild<QAbstractButton *>(QStringLiteral("PB1_0"))->text()};
        if (window->size() != twips::size(8370, 5025) || offCentre.manhattanLength() > 4
            || window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint))
            look << QStringLiteral("not a fixed dialog of its size in the middle of the screen");
        return false;
    });
    // Each showing starts fresh: the two lines before leave nothing behind.
    MsgForm::MostraMessaggio(registry, QStringLiteral("prima riga"), QStringLiteral("seconda riga"));
    MsgForm::MostraMessaggio(registry, line0, line1);
    QCOMPARE(closer.names(), (QStringList{QStringLiteral("MsgForm"), QStringLiteral("MsgForm")}));
    QTEST(closer.seen.at(1).lines, "visible");
    QCOMPARE(look, (QStringList{QStringLiteral(" "), QStringLiteral("Messaggio x te  da TURNALIA 3 MAX (Client)"),
                                QStringLiteral("C&hiudi")}));
    QVERIFY(!registry.loaded<MsgForm>());
}

// The picture in docs/, when TQ3_MSGFORM_SHOT names the file to write.
void TestMsgForm::picture()
{
    const QString file = qEnvironmentVariable("TQ3_MSGFORM_SHOT");
    if (file.isEmpty())
        QSKIP("TQ3_MSGFORM_SHOT not set");
    WindowRegistry registry;
    bool saved = false;
    test::ModalCloser closer([&](QWidget *window) {
        QTest::qWait(300);
        saved = window->grab().save(file);
        return false;
    });
    MsgForm::MostraMessaggio(registry, QStringLiteral("Percorso /postazione impostate correttamente !"),
                             QStringLiteral("Riavviare modulo Client Turnalia 3 MAX !"));
    QVERIFY(saved);
}

QTEST_MAIN(TestMsgForm)
#include "tst_msgform.moc"

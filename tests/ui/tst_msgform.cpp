#include "UiTesting.h"

#include "gui/kit/Twips.h"
#include "gui/kit/WindowRegistry.h"
#include "gui/windows/MsgForm.h"

#include <QScreen>

using namespace tq3;
using namespace Qt::StringLiterals;

class TestMsgForm final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void showsTheGivenLinesInAFixedDialogAndHidesTheOthers_data();
    void showsTheGivenLinesInAFixedDialogAndHidesTheOthers();
    void aLongLineTakesASmallerFontInsteadOfBeingCut();
    void picture();
};

void TestMsgForm::showsTheGivenLinesInAFixedDialogAndHidesTheOthers_data()
{
    QTest::addColumn<QString>("line0");
    QTest::addColumn<QString>("line1");
    QTest::addColumn<QString>("visible");
    // One line and two lines are shown by the consoles' tests.
    QTest::newRow("a line given exactly Label2 is hidden") << u"Label2"_s << u"seconda"_s << u"seconda"_s;
    QTest::newRow("a line in another letter case stays") << u"label2"_s << QString() << u"label2"_s;
}

void TestMsgForm::showsTheGivenLinesInAFixedDialogAndHidesTheOthers()
{
    QFETCH(QString, line0);
    QFETCH(QString, line1);
    WindowRegistry registry;
    QString look;
    test::ModalCloser closer([&](QWidget *window) {
        const QPoint offCentre = window->frameGeometry().center() - window->screen()->geometry().center();
        const bool fixed = !(window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
        look = window->findChild<QLabel *>(u"Label1"_s)->text() + u'|'
            + window->findChild<QAbstractButton *>(u"PB1_0"_s)->text()
            + (window->size() == twips::size(8370, 5025) && offCentre.manhattanLength() <= 4 && fixed
                   ? QString() : u"|not a fixed dialog of its size in the middle of the screen"_s);
        return false;
    });
    // Each showing starts fresh: the two lines before leave nothing behind.
    MsgForm::MostraMessaggio(registry, u"prima riga"_s, u"seconda riga"_s);
    MsgForm::MostraMessaggio(registry, line0, line1);
    QFETCH(QString, visible);
    QCOMPARE(closer.boxes(), (QStringList{u" |prima riga/seconda riga"_s, u" |"_s + visible}));
    QCOMPARE(look, u"Messaggio x te  da TURNALIA 3 MAX (Client)|C&hiudi"_s);
    QVERIFY(!registry.loaded<MsgForm>());
}

void TestMsgForm::aLongLineTakesASmallerFontInsteadOfBeingCut()
{
    const QString longLine = u"Invio della chiamata al Server non riuscito (errore 10065) !"_s;
    WindowRegistry registry;
    QList<bool> fits;
    test::ModalCloser closer([&](QWidget *window) {
        for (const auto *line : {window->findChild<QLabel *>(u"Label2_0"_s), window->findChild<QLabel *>(u"Label2_1"_s)})
            fits << (line->fontMetrics().horizontalAdvance(line->text()) <= line->width());
        return false;
    });
    MsgForm::MostraMessaggio(registry, longLine, u"Il biglietto resta in attesa."_s);
    QCOMPARE(fits, (QList<bool>{true, true}));
    QCOMPARE(closer.boxes(), QStringList{u" |"_s + longLine + u"/Il biglietto resta in attesa."_s});
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
    MsgForm::MostraMessaggio(registry, u"Percorso /postazione impostate correttamente !"_s,
                             u"Riavviare modulo Client Turnalia 3 MAX !"_s);
    QVERIFY(saved);
}

QTEST_MAIN(TestMsgForm)
#include "tst_msgform.moc"

#include "settings_ui_support.h"

#include "settings/ImpoRete.h"
#include "startup/ui/LaMain.h"
#include "windows/LoSchermo2.h"
#include "settings/PercorsoRETESERVER.h"
#include "startup/ui/Twips.h"
#include "startup/ui/WindowRegistry.h"
#include "store/ArchiveBuilder.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace tq3;
using namespace tq3::test;

namespace {

QByteArray settingsLine(const QString &f1, const QString &f2, const QString &f3, const QString &f4)
{
    return QByteArray("\"") + f1.toUtf8() + "\",\"" + f2.toUtf8() + "\",\"" + f3.toUtf8()
        + "\",\"" + f4.toUtf8() + "\"\r\n";
}

} // namespace

class TestImpoRete final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void looksAsDesigned();
    void activationShowsStoredSettings_data();
    void activationShowsStoredSettings();
    void blankOnlyDeskNameIsSaved();
    void saveWritesFieldOneBackUnchanged();
    void refusedSaveWritesNothing_data();
    void refusedSaveWritesNothing();
    void comingBackReplacesUnsavedTyping();
    void comingBackFromElsewhereKeepsTyping();
    void useServer1CopiesItsAddress();
    void changedFolderShowsAndIsSavedBack();
    void saveSetsTheLaunchersBoxOnly();
    void saveWithoutTheLauncherLeavesItUnloaded();
    void unwritableSettingsFileIsTold();

private:
    QString makeArchive(const QString &folder, bool nullAddress = false);
    ImpoRete &openWindow();
    template <class T>
    T *control(const QString &name) { return m_registry->window<ImpoRete>().findChild<T *>(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldCurrent;
    QString m_settings;
    std::unique_ptr<WindowRegistry> m_registry;
};

void TestImpoRete::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_oldCurrent = QDir::currentPath();
    // Relative archive folders ("da definire") resolve inside the test's folder.
    QVERIFY(QDir::setCurrent(m_dir->path()));
    m_settings = m_dir->filePath(QStringLiteral("PercorsiClient.txt"));
    ClientEnvironment environment;
    environment.settingsFilePath = m_settings;
    m_registry = std::make_unique<WindowRegistry>(environment);
}

void TestImpoRete::cleanup()
{
    m_registry.reset();
    QDir::setCurrent(m_oldCurrent);
    m_dir.reset();
}

QString TestImpoRete::makeArchive(const QString &folder, bool nullAddress)
{
    const QString path = m_dir->filePath(folder);
    QDir().mkpath(path);
    auto builder = ArchiveBuilder::create(path + QStringLiteral("/TQ3MAX.mdb"));
    if (!builder)
        qFatal("archive: %s", qPrintable(builder.error().detail));
    if (!(*builder)->setConfigurazione(2, 6001, QStringLiteral("192.168.5.20"),
                                       QStringLiteral("SERVERTQ")))
        qFatal("Configurazione not written");
    if (nullAddress && !(*builder)->execute(QStringLiteral("UPDATE Configurazione SET IPSERVER = NULL")))
        qFatal("IPSERVER not cleared");
    return path;
}

ImpoRete &TestImpoRete::openWindow()
{
    ImpoRete &window = m_registry->window<ImpoRete>();
    m_registry->showModeless(window);
    if (!QTest::qWaitFor([&] { return m_registry->activeForm() == &window; }))
        qWarning("the client settings window never became active");
    return window;
}

void TestImpoRete::looksAsDesigned()
{
    ImpoRete &window = openWindow();
    QCOMPARE(window.windowTitle(), QStringLiteral("Impostazioni Client"));
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));
    QCOMPARE(window.size(), twips::size(7575, 3045));
    QCOMPARE(control<QPushButton>(QStringLiteral("cbt_2"))->text(), QStringLiteral("&Salva"));
    QCOMPARE(control<QPushButton>(QStringLiteral("cbt_0"))->text(), QStringLiteral("C&hiudi"));
    QCOMPARE(control<QLabel>(QStringLiteral("Label1_3"))->text(), QStringLiteral("IP Server  :"));
    QCOMPARE(control<QRadioButton>(QStringLiteral("rb_0"))->text(), QStringLiteral(" Sì "));
    QCOMPARE(control<QGroupBox>(QStringLiteral("GroupBox4"))->title(), QStringLiteral("2° schermo"));
    QCOMPARE(control<QLineEdit>(QStringLiteral("ServerAlternativo"))->geometry(),
             twips::rect(1080, 480, 2175, 285));
}

void TestImpoRete::activationShowsStoredSettings_data()
{
    QTest::addColumn<QString>("folder");      // field 1, relative to the test folder
    QTest::addColumn<QString>("archiveIn");   // where an archive stands, or nothing
    QTest::addColumn<bool>("nullAddress");
    QTest::addColumn<QString>("secondScreen");
    QTest::addColumn<QString>("ipS1");
    QTest::addColumn<QString>("nomeS1");
    QTest::addColumn<QString>("laPorta");
    QTest::addColumn<bool>("si");

    QTest::newRow("a set folder shows the server's data from its archive")
        << "arch" << "arch" << false << "S" << "192.168.5.20" << "SERVERTQ" << "6001" << true;
    QTest::newRow("a null server address shows 0.0.0.0")
        << "arch" << "arch" << true << "N" << "0.0.0.0" << "SERVERTQ" << "6001" << false;
    QTest::newRow("da definire leaves the server's data empty without opening the archive")
        << "da definire" << "da definire" << false << "N" << "" << "" << "" << false;
    QTest::newRow("a folder without an archive shows the server's data empty")
        << "nowhere" << "" << false << "N" << "" << "" << "" << false;
    QTest::newRow("a lower-case s is no second screen")
        << "arch" << "arch" << false << "s" << "192.168.5.20" << "SERVERTQ" << "6001" << false;
}

void TestImpoRete::activationShowsStoredSettings()
{
    QFETCH(QString, folder);
    QFETCH(QString, archiveIn);
    QFETCH(bool, nullAddress);
    QFETCH(QString, secondScreen);
    if (!archiveIn.isEmpty())
        makeArchive(archiveIn, nullAddress);
    writeBytes(m_settings, settingsLine(folder, QStringLiteral("Sportello 4"),
                                  QStringLiteral("10.0.0.9"), secondScreen));
    openWindow();

    QTEST(control<QLineEdit>(QStringLiteral("IpS1"))->text(), "ipS1");
    QTEST(control<QLineEdit>(QStringLiteral("NomeS1"))->text(), "nomeS1");
    QTEST(control<QLineEdit>(QStringLiteral("LaPorta"))->text(), "laPorta");
    QTEST(control<QRadioButton>(QStringLiteral("rb_0"))->isChecked(), "si");
    QCOMPARE(control<QRadioButton>(QStringLiteral("rb_1"))->isChecked(),
             !control<QRadioButton>(QStringLiteral("rb_0"))->isChecked());
    QCOMPARE(control<QLineEdit>(QStringLiteral("PR"))->text(), folder);
    QCOMPARE(control<QLineEdit>(QStringLiteral("nomeSportello"))->text(), QStringLiteral("Sportello 4"));
    QCOMPARE(control<QLineEdit>(QStringLiteral("ServerAlternativo"))->text(), QStringLiteral("10.0.0.9"));
    QCOMPARE(m_registry->record().nomePostazione, QStringLiteral("Sportello 4"));
    QCOMPARE(m_registry->record().ipServer, QStringLiteral("10.0.0.9"));
    QCOMPARE(m_registry->record().secondoSchermo, secondScreen);
}

void TestImpoRete::blankOnlyDeskNameIsSaved()
{
    const QString archive = makeArchive(QStringLiteral("arch"));
    writeBytes(m_settings, settingsLine(archive, QStringLiteral("Sportello 1"),
                                  QStringLiteral("10.0.0.9"), QStringLiteral("S")));
    openWindow();
    control<QLineEdit>(QStringLiteral("nomeSportello"))->setText(QStringLiteral("   "));
    QTest::mouseClick(control<QRadioButton>(QStringLiteral("rb_1")), Qt::LeftButton);

    auto seen = std::make_shared<SeenMessage>();
    auto watch = answerMessage(seen);
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cbt_2")), Qt::LeftButton);
    watch->cancel();

    QVERIFY2(!seen->seen, qPrintable(seen->line0));
    QCOMPARE(fileBytes(m_settings), settingsLine(archive, QStringLiteral("   "),
                                           QStringLiteral("10.0.0.9"), QStringLiteral("N")));
    QCOMPARE(m_registry->record().secondoSchermo, QStringLiteral("N"));
    QVERIFY(m_registry->loaded<ImpoRete>());  // no confirmation, the window stays
}

void TestImpoRete::saveWritesFieldOneBackUnchanged()
{
    // No settings file yet: the save creates it with an empty field 1.
    openWindow();
    control<QLineEdit>(QStringLiteral("nomeSportello"))->setText(QStringLiteral("Cassa"));
    control<QLineEdit>(QStringLiteral("ServerAlternativo"))->setText(QStringLiteral("10.0.0.2"));
    QTest::mouseClick(control<QRadioButton>(QStringLiteral("rb_0")), Qt::LeftButton);
    // "&Salva" answers its access key.
    QTest::keyClick(control<QLineEdit>(QStringLiteral("nomeSportello")), Qt::Key_S, Qt::AltModifier);
    QTRY_COMPARE(fileBytes(m_settings), settingsLine(QString(), QStringLiteral("Cassa"),
                                           QStringLiteral("10.0.0.2"), QStringLiteral("S")));
}

void TestImpoRete::refusedSaveWritesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("line0");
    QTest::addColumn<QString>("line1");

    QTest::newRow("an empty desk name asks for the name")
        << "" << "10.0.0.3" << "Inserire Nome Postazione " << "";
    QTest::newRow("an empty server address asks for the address")
        << "Nuovo nome" << "" << "Inserire IP Server " << "";
    QTest::newRow("a double quote in the desk name is refused")
        << "Sala \"A\"" << "10.0.0.3" << "Nome Postazione non valido !"
        << "Le virgolette (\") non sono ammesse !";
    QTest::newRow("a character outside Windows-1252 in the address is refused")
        << "Sala A" << "10.0.0.3Ω" << "IP Server non valido !"
        << "Il carattere «Ω» non è ammesso !";
}

void TestImpoRete::refusedSaveWritesNothing()
{
    QFETCH(QString, name);
    QFETCH(QString, address);
    const QString archive = makeArchive(QStringLiteral("arch"));
    const QByteArray stored = settingsLine(archive, QStringLiteral("Sportello 7"),
                                     QStringLiteral("10.0.0.9"), QStringLiteral("S"));
    writeBytes(m_settings, stored);
    ImpoRete &window = openWindow();
    control<QLineEdit>(QStringLiteral("nomeSportello"))->setText(name);
    control<QLineEdit>(QStringLiteral("ServerAlternativo"))->setText(address);
    QTest::mouseClick(control<QRadioButton>(QStringLiteral("rb_1")), Qt::LeftButton);

    auto seen = std::make_shared<SeenMessage>();
    auto watch = answerMessage(seen);
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cbt_2")), Qt::LeftButton);

    QVERIFY(seen->seen);
    QTEST(seen->line0, "line0");
    QFETCH(QString, line1);
    QCOMPARE(seen->line1Visible, !line1.isEmpty());
    if (!line1.isEmpty())
        QCOMPARE(seen->line1, line1);
    QCOMPARE(fileBytes(m_settings), stored);
    QCOMPARE(m_registry->record().secondoSchermo, QStringLiteral("S"));
    // Back from the message, the window reloads what is stored.
    QTRY_COMPARE(control<QLineEdit>(QStringLiteral("nomeSportello"))->text(), QStringLiteral("Sportello 7"));
    QCOMPARE(control<QLineEdit>(QStringLiteral("ServerAlternativo"))->text(), QStringLiteral("10.0.0.9"));
    QVERIFY(control<QRadioButton>(QStringLiteral("rb_0"))->isChecked());
    QCOMPARE(m_registry->activeForm(), &window);
}

void TestImpoRete::comingBackReplacesUnsavedTyping()
{
    writeBytes(m_settings, settingsLine(QStringLiteral("da definire"), QStringLiteral("Sportello 2"),
                                  QStringLiteral("10.0.0.9"), QStringLiteral("N")));
    ImpoRete &window = openWindow();
    control<QLineEdit>(QStringLiteral("nomeSportello"))->setText(QStringLiteral("typed"));

    // Another window of the program becomes active, then this one again.
    PercorsoRETESERVER &other = m_registry->window<PercorsoRETESERVER>();
    m_registry->showModeless(other);
    QTRY_COMPARE(m_registry->activeForm(), &other);
    QCOMPARE(control<QLineEdit>(QStringLiteral("nomeSportello"))->text(), QStringLiteral("typed"));
    window.activateWindow();
    QTRY_COMPARE(m_registry->activeForm(), &window);
    QCOMPARE(control<QLineEdit>(QStringLiteral("nomeSportello"))->text(), QStringLiteral("Sportello 2"));
}

void TestImpoRete::comingBackFromElsewhereKeepsTyping()
{
    writeBytes(m_settings, settingsLine(QStringLiteral("da definire"), QStringLiteral("Sportello 2"),
                                        QStringLiteral("10.0.0.9"), QStringLiteral("N")));
    ImpoRete &window = openWindow();
    control<QLineEdit>(QStringLiteral("nomeSportello"))->setText(QStringLiteral("typed"));

    // A window that is none of the program's (another program, a platform
    // box) takes the focus and gives it back: no activation.
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &elsewhere);
    elsewhere.close();
    window.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &window);
    QCOMPARE(control<QLineEdit>(QStringLiteral("nomeSportello"))->text(), QStringLiteral("typed"));
    QCOMPARE(m_registry->activeForm(), &window);
}

void TestImpoRete::useServer1CopiesItsAddress()
{
    const QString archive = makeArchive(QStringLiteral("arch"), true);
    writeBytes(m_settings, settingsLine(archive, QStringLiteral("Sportello 1"),
                                  QStringLiteral("10.0.0.9"), QStringLiteral("N")));
    openWindow();
    QTest::mouseClick(control<QPushButton>(QStringLiteral("PushButton1")), Qt::LeftButton);
    QCOMPARE(control<QLineEdit>(QStringLiteral("ServerAlternativo"))->text(), QStringLiteral("0.0.0.0"));
}

void TestImpoRete::changedFolderShowsAndIsSavedBack()
{
    const QString oldArchive = makeArchive(QStringLiteral("old"));
    const QString newArchive = makeArchive(QStringLiteral("new"), true);
    writeBytes(m_settings, settingsLine(oldArchive, QStringLiteral("Sportello 5"),
                                  QStringLiteral("10.0.0.9"), QStringLiteral("S")));
    ImpoRete &window = openWindow();
    QCOMPARE(control<QLineEdit>(QStringLiteral("IpS1"))->text(), QStringLiteral("192.168.5.20"));

    // In the path window: choose the new folder, save, close the confirmation.
    auto confirmation = std::make_shared<SeenMessage>();
    auto chooserTitle = std::make_shared<QString>();
    std::unique_ptr<ModalWatch> chooser;
    std::unique_ptr<ModalWatch> message;
    ModalWatch pathWindow([&](QWidget *modal) {
        if (modal->objectName() != QLatin1String("PercorsoRETESERVER") || !modal->isVisible())
            return false;
        chooser = answerFolderChooser(newArchive, chooserTitle);
        QTest::mouseClick(modal->findChild<QPushButton *>(QStringLiteral("cbt_1")), Qt::LeftButton);
        message = answerMessage(confirmation);
        QTest::mouseClick(modal->findChild<QPushButton *>(QStringLiteral("cbt_0")), Qt::LeftButton);
        return true;
    });
    QTest::mouseClick(control<QPushButton>(QStringLiteral("ModifyPath")), Qt::LeftButton);

    QVERIFY(pathWindow.done());
    QCOMPARE(*chooserTitle, QStringLiteral("Selezionare la cartella"));
    QCOMPARE(confirmation->line0, QStringLiteral("Percorso /postazione impostate correttamente !"));
    QTRY_COMPARE(control<QLineEdit>(QStringLiteral("PR"))->text(), newArchive);
    QCOMPARE(control<QLineEdit>(QStringLiteral("IpS1"))->text(), QStringLiteral("0.0.0.0"));
    QCOMPARE(m_registry->activeForm(), &window);

    QTest::mouseClick(control<QPushButton>(QStringLiteral("cbt_2")), Qt::LeftButton);
    QCOMPARE(fileBytes(m_settings), settingsLine(newArchive, QStringLiteral("Sportello 5"),
                                           QStringLiteral("10.0.0.9"), QStringLiteral("S")));
}

void TestImpoRete::saveSetsTheLaunchersBoxOnly()
{
    const QString archive = makeArchive(QStringLiteral("arch"));
    writeBytes(m_settings, settingsLine(archive, QStringLiteral("Sportello 1"),
                                        QStringLiteral("10.0.0.9"), QStringLiteral("N")));
    LaMain &launcher = m_registry->window<LaMain>();
    auto *box = launcher.findChild<QCheckBox *>(QStringLiteral("schermo2"));
    QVERIFY(box);
    QVERIFY(!box->isChecked());
    openWindow();

    QTest::mouseClick(control<QRadioButton>(QStringLiteral("rb_0")), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cbt_2")), Qt::LeftButton);
    QVERIFY(box->isChecked());
    QCOMPARE(m_registry->record().secondoSchermo, QStringLiteral("S"));
    // The box shows the choice; the operator opens the public screen with it.
    QVERIFY(!m_registry->loaded<LoSchermo2>());

    QTest::mouseClick(control<QRadioButton>(QStringLiteral("rb_1")), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cbt_2")), Qt::LeftButton);
    QVERIFY(!box->isChecked());
    QCOMPARE(m_registry->record().secondoSchermo, QStringLiteral("N"));
    QCOMPARE(fileBytes(m_settings), settingsLine(archive, QStringLiteral("Sportello 1"),
                                                 QStringLiteral("10.0.0.9"), QStringLiteral("N")));
}

void TestImpoRete::saveWithoutTheLauncherLeavesItUnloaded()
{
    writeBytes(m_settings, settingsLine(QStringLiteral("da definire"), QStringLiteral("Sportello 1"),
                                        QStringLiteral("10.0.0.9"), QStringLiteral("N")));
    openWindow();
    QTest::mouseClick(control<QRadioButton>(QStringLiteral("rb_0")), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cbt_2")), Qt::LeftButton);
    QVERIFY(!m_registry->loaded<LaMain>());
    QCOMPARE(fileBytes(m_settings), settingsLine(QStringLiteral("da definire"), QStringLiteral("Sportello 1"),
                                                 QStringLiteral("10.0.0.9"), QStringLiteral("S")));
}

void TestImpoRete::unwritableSettingsFileIsTold()
{
    // The settings file's folder is gone: nothing can be read or written.
    ClientEnvironment environment;
    environment.settingsFilePath = m_dir->filePath(QStringLiteral("gone/PercorsiClient.txt"));
    m_registry = std::make_unique<WindowRegistry>(environment);
    openWindow();
    control<QLineEdit>(QStringLiteral("nomeSportello"))->setText(QStringLiteral("Sportello 1"));
    control<QLineEdit>(QStringLiteral("ServerAlternativo"))->setText(QStringLiteral("10.0.0.9"));
    QTest::mouseClick(control<QRadioButton>(QStringLiteral("rb_0")), Qt::LeftButton);

    auto seen = std::make_shared<SeenMessage>();
    auto watch = answerMessage(seen);
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cbt_2")), Qt::LeftButton);
    QVERIFY(seen->seen);
    QCOMPARE(seen->line0, QStringLiteral("Impostazioni non salvate !"));
    QVERIFY(seen->line1Visible);
    QVERIFY(m_registry->record().secondoSchermo.isEmpty());
    QVERIFY(!QFileInfo::exists(environment.settingsFilePath));
    // Nothing could be reloaded: the typing stays for another try.
    QCOMPARE(control<QLineEdit>(QStringLiteral("nomeSportello"))->text(), QStringLiteral("Sportello 1"));
}

QTEST_MAIN(TestImpoRete)
#include "tst_settings_imporete.moc"

#include "StartupUiTesting.h"
#include "startup_Archive.h"

#include "console/ui/Form1.h"
#include "console/ui/Form11.h"
#include "settings/FrmServizi.h"
#include "settings/ImpoRete.h"
#include "settings/PercorsoRETESERVER.h"
#include "startup/SingleInstance.h"
#include "startup/ui/ClientStart.h"
#include "startup/ui/LaMain.h"
#include "startup/ui/Twips.h"
#include "startup/ui/WindowRegistry.h"
#include "windows/LoSchermo2.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace tq3;
using test::StartupDatabase;

Q_DECLARE_METATYPE(tq3::test::StartupDatabase)
Q_DECLARE_METATYPE(QMessageBox::Icon)

namespace {

const QString kDesk = QStringLiteral("Sportello 1");
const QString kAddress = QStringLiteral("10.9.8.7");
const QString kNotFound = QStringLiteral("Percorso Server non impostato o Server non raggiungibile !");
const QString kMessageTitle = QStringLiteral("TQ3MAX-Messaggio");

QString textOf(QWidget *launcher, const QString &name)
{
    if (auto *field = test::child<QLineEdit>(launcher, name))
        return field->text();
    if (auto *label = test::child<QLabel>(launcher, name))
        return label->text();
    if (auto *button = test::child<QAbstractButton>(launcher, name))
        return button->text();
    return QStringLiteral("<missing %1>").arg(name);
}

void click(QWidget *launcher, const QString &name)
{
    auto *button = test::child<QAbstractButton>(launcher, name);
    QVERIFY2(button, qPrintable(name));
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(4, button->height() / 2));
}

bool isCentred(const QWidget *window)
{
    const QPoint offset = window->frameGeometry().center() - window->screen()->geometry().center();
    return offset.manhattanLength() <= 4;
}

} // namespace

class TestLaMain final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void controlsStandWhereTheyBelong_data();
    void controlsStandWhereTheyBelong();
    void aSecondClientIsRefused();
    void noSettingsFileAsksForTheFolderAndEndsWhenItIsStillMissing();
    void aFolderWithoutTheDatabaseAsksForTheFolderToo();
    void theFolderChosenInThePathWindowLetsStartUpGoOn();
    void otherFailuresAreToldBeforeTheLauncherShowsWhatWasFound_data();
    void otherFailuresAreToldBeforeTheLauncherShowsWhatWasFound();
    void theModeComesFromTheDatabase_data();
    void theModeComesFromTheDatabase();
    void theSecondScreenOpensOnlyForCapitalS_data();
    void theSecondScreenOpensOnlyForCapitalS();
    void aTrailingSeparatorInTheFolderStillFindsTheDatabase();
    void aPortThatIsNoNumberIsToldAndLeftAtZero();
    void okWithNoModeOnlyClosesTheSettingsWindow();
    void okOpensTheConsoleOfTheModeOutOfTheWay_data();
    void okOpensTheConsoleOfTheModeOutOfTheWay();
    void servicesClosesTheSettingsWindowAndNamesTheDesk();
    void theBoxShowsAndClosesTheSecondScreen();
    void clearingTheBoxLeavesTheSecondScreenActiveFlag();
    void closingTheLauncherClosesTheSecondScreen_data();
    void closingTheLauncherClosesTheSecondScreen();
    void aSettingsWindowLeftOpenKeepsTheClientRunning();
    void startUpRunsOncePerRun();

private:
    QString work() const { return m_dir->filePath(QStringLiteral("work")); }
    QString archive() const { return m_dir->filePath(QStringLiteral("archivio")); }
    QString settingsPath() const { return QDir(work()).filePath(QStringLiteral("PercorsiClient.txt")); }
    void writeSettings(const QString &secondoSchermo = QStringLiteral("N"), const QString &folder = {})
    {
        QVERIFY(test::writeStartupSettings(settingsPath(), folder.isEmpty() ? archive() : folder, kDesk,
                                           QStringLiteral("127.0.0.1"), secondoSchermo));
    }
    void makeArchive(StartupDatabase database, const QVariant &modo = 2, const QVariant &port = 4000)
    {
        QVERIFY(test::createStartupArchive(archive(), database, modo, port));
    }
    // Starts the client in this process, answering what comes up with
    // `answerer`.
    ClientRun start();
    LaMain *launcher() const { return m_registry->loaded<LaMain>(); }
    // A desk ready for work in the given mode.
    void startReady(const QVariant &modo, const QString &secondoSchermo = QStringLiteral("N"));

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousCurrent;
    std::unique_ptr<WindowRegistry> m_registry;
    std::unique_ptr<SingleInstance> m_instance;
};

void TestLaMain::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir().mkpath(work()));
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("lock"))));
    // The consoles keep their history file in the working folder.
    m_previousCurrent = QDir::currentPath();
    QDir::setCurrent(work());
    ClientEnvironment environment;
    environment.settingsFilePath = settingsPath();
    environment.localAddress = [] { return kAddress; };
    m_registry = std::make_unique<WindowRegistry>(environment);
    m_instance = std::make_unique<SingleInstance>(m_dir->filePath(QStringLiteral("lock")));
}

void TestLaMain::cleanup()
{
    m_registry.reset();
    m_instance.reset();
    QDir::setCurrent(m_previousCurrent);
    m_dir.reset();
}

ClientRun TestLaMain::start()
{
    return startClient(*m_registry, *m_instance);
}

void TestLaMain::startReady(const QVariant &modo, const QString &secondoSchermo)
{
    makeArchive(StartupDatabase::WithConfigurazione, modo);
    writeSettings(secondoSchermo);
    test::ModalAnswerer answerer;
    QCOMPARE(start(), ClientRun::Running);
    QVERIFY2(answerer.sawNothing(), qPrintable(answerer.names.join(u',')));
    QVERIFY(launcher() && launcher()->isVisible());
}

void TestLaMain::controlsStandWhereTheyBelong_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QRect>("placement");  // twips
    QTest::addColumn<qreal>("points");
    QTest::addColumn<bool>("bold");

    auto row = [](const char *name, const QString &text, const char *frame, QRect twipsRect, qreal points,
                  bool bold = false) {
        QTest::newRow(name) << QString::fromLatin1(name) << text << QString::fromLatin1(frame) << twipsRect
                            << points << bold;
    };
    row("Label3_1", QStringLiteral("MAX"), "", {3840, 280, 495, 255}, 8.25, true);
    row("Label3_0", QStringLiteral("modulo Client"), "", {3120, 765, 1455, 255}, 8.25, true);
    row("GroupBox1", QString(), "", {120, 3960, 4455, 1815}, 8.25);
    row("Label1", QStringLiteral("Postazione"), "GroupBox1", {120, 240, 1095, 255}, 9.75);
    row("A1_0", QString(), "GroupBox1", {1320, 240, 1695, 285}, 8.25);
    row("Label2_2", QStringLiteral("IP Client"), "GroupBox1", {120, 600, 1215, 255}, 8.25);
    row("IPClient", QString(), "GroupBox1", {1320, 600, 1695, 255}, 8.25);
    row("Label2_0", QStringLiteral("Modo Client"), "GroupBox1", {120, 900, 1215, 255}, 9.75);
    row("A1_1", QString(), "GroupBox1", {1320, 920, 1695, 285}, 8.25);
    row("Label2_1", QStringLiteral("Percorso Server TQ3 :"), "GroupBox1", {120, 1200, 1935, 255}, 9.75);
    row("A1_2", QString(), "GroupBox1", {120, 1440, 4215, 285}, 8.25);
    row("GroupBox2", QString(), "", {4680, 4200, 2055, 1575}, 8.25);
    row("PushButton1", QStringLiteral("Impostazioni"), "GroupBox2", {120, 160, 1815, 300}, 8.25);
    row("GesServizi", QStringLiteral("Servizi"), "GroupBox2", {120, 480, 1815, 300}, 8.25);
    row("schermo2", QStringLiteral(" 2° schermo attivo"), "GroupBox2", {120, 900, 1815, 255}, 8.25);
    row("btn_0", QStringLiteral("&Ok"), "GroupBox2", {120, 1200, 855, 300}, 8.25);
    row("btn_1", QStringLiteral("C&hiudi"), "GroupBox2", {960, 1200, 975, 300}, 8.25);
    row("Image1", QString(), "", {600, -600, 5775, 4710}, 8.25);
    row("Image2", QString(), "", {1560, 120, 2340, 1335}, 8.25);
}

void TestLaMain::controlsStandWhereTheyBelong()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, frame);
    QFETCH(QRect, placement);
    QFETCH(qreal, points);
    QFETCH(bool, bold);

    startReady(0);
    LaMain *window = launcher();
    QCOMPARE(window->windowTitle(), QStringLiteral("TQ3 MAX - Modulo Client versione 3.1.15"));
    QCOMPARE(window->size(), twips::size(6885, 5895));
    QVERIFY(!(window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(!window->windowIcon().isNull());
    QVERIFY(isCentred(window));

    auto *control = test::child<QWidget>(window, name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget()->objectName(), frame.isEmpty() ? QStringLiteral("LaMain") : frame);
    QCOMPARE(control->geometry(), twips::rect(placement.x(), placement.y(), placement.width(), placement.height()));
    if (!text.isEmpty())
        QCOMPARE(textOf(window, name), text);
    if (qobject_cast<QLabel *>(control) || qobject_cast<QAbstractButton *>(control)
        || qobject_cast<QLineEdit *>(control)) {
        QCOMPARE(control->font().pointSizeF(), points);
        QCOMPARE(control->font().bold(), bold);
    }
    if (name.startsWith(QStringLiteral("Image")))
        QVERIFY(!qobject_cast<QLabel *>(control)->pixmap().isNull());
    if (name == QStringLiteral("schermo2"))
        QVERIFY(!qobject_cast<QCheckBox *>(control)->isTristate());
}

void TestLaMain::aSecondClientIsRefused()
{
    makeArchive(StartupDatabase::WithConfigurazione);
    writeSettings(QStringLiteral("S"));
    SingleInstance running(m_dir->filePath(QStringLiteral("lock")));
    QVERIFY(running.claim());

    test::ModalAnswerer answerer;
    QCOMPARE(start(), ClientRun::EndProgram);
    QCOMPARE(answerer.names, QStringList{QStringLiteral("QMessageBox")});
    QCOMPARE(answerer.seen.at(0).title, QStringLiteral("ATTENZIONE"));
    QCOMPARE(answerer.seen.at(0).text, QStringLiteral("TQ3MAX-Modulo Client  risulta già in esecuzione sulla macchina !"));
    QCOMPARE(answerer.seen.at(0).icon, QMessageBox::Critical);
    QVERIFY(!launcher());
    QVERIFY(!m_registry->loaded<LoSchermo2>());
    QVERIFY(running.isClaimed());  // the running client keeps its claim
}

void TestLaMain::noSettingsFileAsksForTheFolderAndEndsWhenItIsStillMissing()
{
    makeArchive(StartupDatabase::WithConfigurazione);
    QSignalSpy ended(m_registry.get(), &WindowRegistry::lastWindowClosed);
    test::ModalAnswerer answerer;  // closes the path window without choosing
    QCOMPARE(start(), ClientRun::EndProgram);

    QCOMPARE(answerer.names, (QStringList{QStringLiteral("QMessageBox"), QStringLiteral("PercorsoRETESERVER"),
                                          QStringLiteral("QMessageBox")}));
    for (int i : {0, 2}) {
        QCOMPARE(answerer.seen.at(i).title, kMessageTitle);
        QCOMPARE(answerer.seen.at(i).text, kNotFound);
        QCOMPARE(answerer.seen.at(i).icon, QMessageBox::Information);
    }
    QCOMPARE(answerer.seen.at(1).title, QStringLiteral("Imposta Percorso Server 1"));
    QVERIFY(!launcher());
}

void TestLaMain::aFolderWithoutTheDatabaseAsksForTheFolderToo()
{
    makeArchive(StartupDatabase::None);
    writeSettings();
    test::ModalAnswerer answerer;
    QCOMPARE(start(), ClientRun::EndProgram);
    QCOMPARE(answerer.names, (QStringList{QStringLiteral("QMessageBox"), QStringLiteral("PercorsoRETESERVER"),
                                          QStringLiteral("QMessageBox")}));
    QCOMPARE(answerer.seen.at(0).text, kNotFound);
    QCOMPARE(answerer.seen.at(0).icon, QMessageBox::Information);
    QVERIFY(!launcher());
}

void TestLaMain::theFolderChosenInThePathWindowLetsStartUpGoOn()
{
    // The settings file names a folder without a database; the operator
    // picks the real archive in the path window and saves.
    makeArchive(StartupDatabase::WithConfigurazione, 1);
    const QString empty = m_dir->filePath(QStringLiteral("vuota"));
    QVERIFY(QDir().mkpath(empty));
    writeSettings(QStringLiteral("N"), empty);

    test::ModalAnswerer answerer([this](QWidget *w) {
        if (w->objectName() != QStringLiteral("PercorsoRETESERVER")) {
            test::answer(w);
            return;
        }
        auto *folder = test::child<QLabel>(w, QStringLiteral("txtshortcutdir"));
        auto *save = test::child<QAbstractButton>(w, QStringLiteral("cbt_0"));
        if (!folder || !save) {
            w->close();
            return;
        }
        folder->setText(QDir::toNativeSeparators(archive()));
        QTimer::singleShot(0, save, [save] { QTest::mouseClick(save, Qt::LeftButton); });
    });
    QCOMPARE(start(), ClientRun::Running);

    QVERIFY(answerer.names.size() >= 2);
    QCOMPARE(answerer.names.at(0), QStringLiteral("QMessageBox"));
    QCOMPARE(answerer.seen.at(0).text, kNotFound);
    QCOMPARE(answerer.names.at(1), QStringLiteral("PercorsoRETESERVER"));
    QVERIFY(!answerer.names.mid(2).contains(QStringLiteral("QMessageBox")));
    QVERIFY(launcher()->isVisible());
    QCOMPARE(textOf(launcher(), QStringLiteral("A1_1")), QStringLiteral("Automatico"));
    QCOMPARE(textOf(launcher(), QStringLiteral("A1_2")), QDir::toNativeSeparators(archive()));
    QCOMPARE(textOf(launcher(), QStringLiteral("IPClient")), kAddress);
}

void TestLaMain::otherFailuresAreToldBeforeTheLauncherShowsWhatWasFound_data()
{
    QTest::addColumn<StartupDatabase>("database");
    QTest::addColumn<QByteArray>("rawSettings");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("desk");

    QTest::newRow("a database without Configurazione")
        << StartupDatabase::WithoutConfigurazione << QByteArray() << QStringLiteral("Configurazione mancante nell'archivio !")
        << kDesk;
    QTest::newRow("an empty Configurazione")
        << StartupDatabase::EmptyConfigurazione << QByteArray() << QStringLiteral("Configurazione mancante nell'archivio !")
        << kDesk;
    QTest::newRow("a database file that is no database")
        << StartupDatabase::NotADatabase << QByteArray() << QStringLiteral("TQ3MAX.mdb non è un archivio valido !")
        << kDesk;
    QTest::newRow("a settings file of fewer than four fields")
        << StartupDatabase::WithConfigurazione << QByteArray("\"x\",\"y\",\"z\"\r\n")
        << QStringLiteral("File delle impostazioni incompleto !") << QString();
}

void TestLaMain::otherFailuresAreToldBeforeTheLauncherShowsWhatWasFound()
{
    QFETCH(StartupDatabase, database);
    QFETCH(QByteArray, rawSettings);
    QFETCH(QString, message);
    QFETCH(QString, desk);

    makeArchive(database);
    if (rawSettings.isEmpty())
        writeSettings(QStringLiteral("S"));
    else
        QVERIFY(test::writeRawSettings(settingsPath(), rawSettings));

    bool launcherHiddenWhileTold = false;
    test::ModalAnswerer answerer([&](QWidget *w) {
        launcherHiddenWhileTold = !launcher() || !launcher()->isVisible();
        test::answer(w);
    });
    QCOMPARE(start(), ClientRun::Running);

    QCOMPARE(answerer.names, QStringList{QStringLiteral("QMessageBox")});
    QCOMPARE(answerer.seen.at(0).title, kMessageTitle);
    QCOMPARE(answerer.seen.at(0).text, message);
    QCOMPARE(answerer.seen.at(0).icon, QMessageBox::Critical);
    QVERIFY(launcherHiddenWhileTold);

    QVERIFY(launcher()->isVisible());
    QCOMPARE(textOf(launcher(), QStringLiteral("A1_0")), desk);
    QCOMPARE(test::child<QCheckBox>(launcher(), QStringLiteral("schermo2"))->isChecked(), !desk.isEmpty());
    QCOMPARE(textOf(launcher(), QStringLiteral("A1_1")), QString());
    QCOMPARE(textOf(launcher(), QStringLiteral("A1_2")), QString());
    QCOMPARE(textOf(launcher(), QStringLiteral("IPClient")), QString());
    QCOMPARE(m_registry->record().portaServer, 0);
    QCOMPARE(m_registry->record().ipLocale, QString());
    QVERIFY(!m_registry->loaded<LoSchermo2>());
}

void TestLaMain::theModeComesFromTheDatabase_data()
{
    QTest::addColumn<int>("modo");
    QTest::addColumn<QString>("mode");
    QTest::newRow("0 leaves the mode empty") << 0 << QString();
    QTest::newRow("1 is Automatico") << 1 << QStringLiteral("Automatico");
    QTest::newRow("2 is Selettivo") << 2 << QStringLiteral("Selettivo");
    QTest::newRow("3 leaves the mode empty") << 3 << QString();
}

void TestLaMain::theModeComesFromTheDatabase()
{
    QFETCH(int, modo);
    QFETCH(QString, mode);
    startReady(modo);
    QCOMPARE(textOf(launcher(), QStringLiteral("A1_0")), kDesk);
    QCOMPARE(textOf(launcher(), QStringLiteral("A1_1")), mode);
    QCOMPARE(textOf(launcher(), QStringLiteral("A1_2")), archive());
    QCOMPARE(textOf(launcher(), QStringLiteral("IPClient")), kAddress);
    QCOMPARE(m_registry->record().portaServer, 4000);
    QCOMPARE(m_registry->record().ipLocale, kAddress);
    QCOMPARE(m_registry->record().nomePostazione, kDesk);
}

void TestLaMain::theSecondScreenOpensOnlyForCapitalS_data()
{
    QTest::addColumn<QString>("secondoSchermo");
    QTest::addColumn<bool>("shown");
    QTest::newRow("S ticks the box and shows it") << QStringLiteral("S") << true;
    QTest::newRow("s clears the box") << QStringLiteral("s") << false;
    QTest::newRow("N clears the box") << QStringLiteral("N") << false;
}

void TestLaMain::theSecondScreenOpensOnlyForCapitalS()
{
    QFETCH(QString, secondoSchermo);
    QFETCH(bool, shown);
    startReady(2, secondoSchermo);
    QCOMPARE(test::child<QCheckBox>(launcher(), QStringLiteral("schermo2"))->isChecked(), shown);
    LoSchermo2 *screen = m_registry->loaded<LoSchermo2>();
    QCOMPARE(screen != nullptr && screen->isVisible(), shown);
    QVERIFY(!m_registry->record().secondoSchermoAttivo);  // only "&Ok" sets it
}

void TestLaMain::aTrailingSeparatorInTheFolderStillFindsTheDatabase()
{
    makeArchive(StartupDatabase::WithConfigurazione, 2);
    const QString withSeparator = archive() + QDir::separator();
    writeSettings(QStringLiteral("N"), withSeparator);
    test::ModalAnswerer answerer;
    QCOMPARE(start(), ClientRun::Running);
    QVERIFY(answerer.sawNothing());
    QCOMPARE(textOf(launcher(), QStringLiteral("A1_2")), withSeparator);
    QCOMPARE(textOf(launcher(), QStringLiteral("A1_1")), QStringLiteral("Selettivo"));
}

void TestLaMain::aPortThatIsNoNumberIsToldAndLeftAtZero()
{
    makeArchive(StartupDatabase::WithConfigurazione, 2, QStringLiteral("porta"));
    writeSettings(QStringLiteral("S"));
    test::ModalAnswerer answerer;
    QCOMPARE(start(), ClientRun::Running);
    QCOMPARE(answerer.names, QStringList{QStringLiteral("QMessageBox")});
    QCOMPARE(answerer.seen.at(0).title, kMessageTitle);
    QCOMPARE(answerer.seen.at(0).text, QStringLiteral("Porta del Server non valida in Configurazione !"));
    QCOMPARE(m_registry->record().portaServer, 0);
    QCOMPARE(textOf(launcher(), QStringLiteral("A1_1")), QStringLiteral("Selettivo"));
    QCOMPARE(textOf(launcher(), QStringLiteral("IPClient")), kAddress);
    QVERIFY(m_registry->loaded<LoSchermo2>());
}

void TestLaMain::okWithNoModeOnlyClosesTheSettingsWindow()
{
    startReady(0);
    test::ModalAnswerer answerer;  // ImpoRete's activation may tell something
    click(launcher(), QStringLiteral("PushButton1"));
    QVERIFY(m_registry->loaded<ImpoRete>());
    QVERIFY(m_registry->loaded<ImpoRete>()->isVisible());
    QCOMPARE(m_registry->loaded<ImpoRete>()->windowModality(), Qt::NonModal);
    const QPoint before = launcher()->pos();
    const int seenBefore = static_cast<int>(answerer.seen.size());

    click(launcher(), QStringLiteral("btn_0"));
    QVERIFY(!m_registry->loaded<ImpoRete>());
    QCOMPARE(answerer.seen.size(), seenBefore);  // no console, no box
    QCOMPARE(launcher()->pos(), before);
    QVERIFY(!m_registry->loaded<Form1>() && !m_registry->loaded<Form11>());
}

void TestLaMain::okOpensTheConsoleOfTheModeOutOfTheWay_data()
{
    QTest::addColumn<int>("modo");
    QTest::addColumn<QString>("console");
    QTest::addColumn<bool>("ticked");
    QTest::newRow("Selettivo opens Form1, box cleared") << 2 << QStringLiteral("Form1") << false;
    QTest::newRow("Selettivo opens Form1, box ticked") << 2 << QStringLiteral("Form1") << true;
    QTest::newRow("Automatico opens Form11, box cleared") << 1 << QStringLiteral("Form11") << false;
    QTest::newRow("Automatico opens Form11, box ticked") << 1 << QStringLiteral("Form11") << true;
}

void TestLaMain::okOpensTheConsoleOfTheModeOutOfTheWay()
{
    QFETCH(int, modo);
    QFETCH(QString, console);
    QFETCH(bool, ticked);
    startReady(modo);
    if (ticked)
        click(launcher(), QStringLiteral("schermo2"));
    QCOMPARE(test::child<QCheckBox>(launcher(), QStringLiteral("schermo2"))->isChecked(), ticked);

    bool consoleModal = false;
    bool launcherOutOfView = false;
    bool settingsClosed = false;
    click(launcher(), QStringLiteral("PushButton1"));
    test::ModalAnswerer answerer([&](QWidget *w) {
        if (w->objectName() == console) {
            consoleModal = w->isModal();
            const QRect frame = launcher()->frameGeometry();
            launcherOutOfView = launcher()->isVisible() && !frame.intersects(launcher()->screen()->virtualGeometry());
            settingsClosed = !m_registry->loaded<ImpoRete>();
        }
        test::answer(w);
    });
    click(launcher(), QStringLiteral("btn_0"));

    QVERIFY2(answerer.names.contains(console), qPrintable(answerer.names.join(u',')));
    QVERIFY(consoleModal);
    QVERIFY(launcherOutOfView);
    QVERIFY(settingsClosed);
    QVERIFY(!m_registry->loaded<Form1>() && !m_registry->loaded<Form11>());
    QVERIFY(isCentred(launcher()));
    QCOMPARE(m_registry->record().secondoSchermoAttivo, ticked);
}

void TestLaMain::servicesClosesTheSettingsWindowAndNamesTheDesk()
{
    startReady(2);
    click(launcher(), QStringLiteral("PushButton1"));
    QVERIFY(m_registry->loaded<ImpoRete>());

    QStringList seen;
    test::ModalAnswerer services([&](QWidget *w) {
        if (w->objectName() == QStringLiteral("FrmServizi"))
            seen = {textOf(w, QStringLiteral("Label1")), m_registry->loaded<ImpoRete>() ? QStringLiteral("open")
                                                                                       : QStringLiteral("closed")};
        test::answer(w);
    });
    click(launcher(), QStringLiteral("GesServizi"));
    QCOMPARE(seen, (QStringList{QStringLiteral("Postazione Sportello 1"), QStringLiteral("closed")}));
}

void TestLaMain::theBoxShowsAndClosesTheSecondScreen()
{
    startReady(2);
    click(launcher(), QStringLiteral("schermo2"));
    QVERIFY(m_registry->loaded<LoSchermo2>() && m_registry->loaded<LoSchermo2>()->isVisible());
    QCOMPARE(m_registry->loaded<LoSchermo2>()->windowModality(), Qt::NonModal);
    click(launcher(), QStringLiteral("schermo2"));
    QVERIFY(!m_registry->loaded<LoSchermo2>());
    // The settings window's save sets the box alone.
    launcher()->setSecondScreenBox(true);
    QVERIFY(test::child<QCheckBox>(launcher(), QStringLiteral("schermo2"))->isChecked());
    QVERIFY(!m_registry->loaded<LoSchermo2>());
}

void TestLaMain::clearingTheBoxLeavesTheSecondScreenActiveFlag()
{
    startReady(2);
    click(launcher(), QStringLiteral("schermo2"));
    {
        test::ModalAnswerer answerer;
        click(launcher(), QStringLiteral("btn_0"));
        QVERIFY(answerer.names.contains(QStringLiteral("Form1")));
    }
    QVERIFY(m_registry->record().secondoSchermoAttivo);
    click(launcher(), QStringLiteral("schermo2"));
    QVERIFY(!m_registry->loaded<LoSchermo2>());
    QVERIFY(m_registry->record().secondoSchermoAttivo);
}

void TestLaMain::closingTheLauncherClosesTheSecondScreen_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("with its close box") << true;
    QTest::newRow("with C&hiudi") << false;
}

void TestLaMain::closingTheLauncherClosesTheSecondScreen()
{
    QFETCH(bool, closeBox);
    startReady(2, QStringLiteral("S"));
    QVERIFY(m_registry->loaded<LoSchermo2>()->isVisible());
    QSignalSpy ended(m_registry.get(), &WindowRegistry::lastWindowClosed);
    if (closeBox)
        launcher()->close();
    else
        click(launcher(), QStringLiteral("btn_1"));
    QVERIFY(!launcher());
    QVERIFY(!m_registry->loaded<LoSchermo2>());
    QTRY_COMPARE(ended.count(), 1);
}

void TestLaMain::aSettingsWindowLeftOpenKeepsTheClientRunning()
{
    startReady(2);
    test::ModalAnswerer answerer;
    QSignalSpy ended(m_registry.get(), &WindowRegistry::lastWindowClosed);
    click(launcher(), QStringLiteral("PushButton1"));
    click(launcher(), QStringLiteral("btn_1"));
    QVERIFY(!launcher());
    QTest::qWait(50);
    QCOMPARE(ended.count(), 0);
    m_registry->close<ImpoRete>();
    QTRY_COMPARE(ended.count(), 1);
}

void TestLaMain::startUpRunsOncePerRun()
{
    startReady(2, QStringLiteral("S"));
    test::ModalAnswerer settingsAnswerer;
    click(launcher(), QStringLiteral("PushButton1"));
    click(launcher(), QStringLiteral("btn_1"));
    QVERIFY(!launcher());
    QVERIFY(!m_registry->loaded<LoSchermo2>());

    // A window that uses the launcher after it closed loads it again, but
    // the start-up is not run twice: no messages, no second screen.
    test::ModalAnswerer answerer;
    LaMain &again = m_registry->window<LaMain>();
    QVERIFY(answerer.sawNothing());
    QVERIFY(!again.isVisible());
    QVERIFY(!m_registry->loaded<LoSchermo2>());
    QCOMPARE(m_registry->state<LaMain>().launch, LaMain::Launch::Show);
    m_registry->close<ImpoRete>();
}

QTEST_MAIN(TestLaMain)
#include "tst_lamain.moc"

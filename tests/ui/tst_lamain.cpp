#include "UiTesting.h"
#include "CallArchive.h"

#include "gui/settings/ImpoRete.h"
#include "core/startup/SingleInstance.h"
#include "gui/launcher/ClientStart.h"
#include "gui/launcher/LaMain.h"
#include "gui/kit/ItalianDialogs.h"
#include "gui/kit/WindowRegistry.h"
#include "gui/windows/LoSchermo2.h"

#include <QCheckBox>
#include <QDir>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace tq3;
using namespace Qt::StringLiterals;
using test::StartupDatabase;

namespace {

const QString kDesk = QStringLiteral("Sportello 1");
const QString kAddress = QStringLiteral("10.9.8.7");
const QString kNotFound =
    QStringLiteral("TQ3MAX-Messaggio|Percorso Server non impostato o Server non raggiungibile !|info");

// PercorsiClient.txt; %A stands for the archive folder.
QByteArray settingsLine(const char *secondoSchermo, const char *folderTail = "", const char *desk = "Sportello 1")
{
    return QByteArray("\"%A") + folderTail + "\",\"" + desk + "\",\"127.0.0.1\",\"" + secondoSchermo + "\"\r\n";
}

QString stop(const char *message)
{
    return QStringLiteral("TQ3MAX-Messaggio|%1|stop").arg(QString::fromUtf8(message));
}

QString textOf(const QWidget *window, const QString &name)
{
    const QWidget *control = window->findChild<QWidget *>(name);
    return control ? control->property("text").toString() : QStringLiteral("<missing %1>").arg(name);
}

void click(QWidget *window, const char *name)
{
    auto *button = window->findChild<QAbstractButton *>(QLatin1String(name));
    QVERIFY2(button, name);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(4, button->height() / 2));
}

// One start-up: the archive and settings file before it, what is told and
// what the launcher then shows (empty: the program ends).
struct Start final {
    StartupDatabase database = StartupDatabase::WithConfigurazione;
    QVariant modo = 2;
    QVariant port = 4000;
    QByteArray settings = settingsLine("N");  // empty: no settings file
    QStringList told = {};
    QString shows = {};  // the desk, mode, folder, address, port, box and screen
    bool anotherClient = false;
};

bool isCentred(const QWidget *window)
{
    return (window->frameGeometry().center() - window->screen()->geometry().center()).manhattanLength() <= 4;
}

} // namespace

Q_DECLARE_METATYPE(Start)

class TestLaMain final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(installItalianDialogs()); }  // as the client's main does
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("work"))));
        QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("lock"))));
        // The consoles keep their history file in the working folder.
        m_previousCurrent = QDir::currentPath();
        QDir::setCurrent(m_dir->filePath(QStringLiteral("work")));
        ClientEnvironment environment;
        environment.settingsFilePath = settingsPath();
        environment.localAddress = [] { return kAddress; };
        m_registry = std::make_unique<WindowRegistry>(environment);
        m_instance = std::make_unique<SingleInstance>(m_dir->filePath(QStringLiteral("lock")));
    }
    void cleanup()
    {
        m_registry.reset();
        m_instance.reset();
        QDir::setCurrent(m_previousCurrent);
        m_dir.reset();
    }

    void startUpPaths_data()
    {
        QTest::addColumn<Start>("start");
        const QStringList notFound{kNotFound, u"PercorsoRETESERVER"_s, kNotFound};
        const auto row = [](const char *name, const Start &start) { QTest::newRow(name) << start; };
        row("a second client on this machine is refused, the running one keeps its claim",
            {.settings = settingsLine("S"),
             .told = {u"ATTENZIONE|TQ3MAX-Modulo Client  risulta già in esecuzione sulla macchina !|stop"_s},
             .anotherClient = true});
        row("no settings file asks for the folder and ends when it is still missing", {.settings = {}, .told = notFound});
        row("a folder without the database asks for the folder too",
            {.database = StartupDatabase::None, .settings = settingsLine("S"), .told = notFound});
        row("a database without Configurazione is told, the launcher shows the desk",
            {.database = StartupDatabase::WithoutConfigurazione, .settings = settingsLine("S"),
             .told = {stop("Configurazione mancante nell'archivio !")}, .shows = u"Sportello 1||||0|box"_s});
        row("a database file that is no database is told",
            {.database = StartupDatabase::NotADatabase, .settings = settingsLine("S"),
             .told = {stop("TQ3MAX.mdb non è un archivio valido !")}, .shows = u"Sportello 1||||0|box"_s});
        row("a settings file of fewer than four fields is told",
            {.settings = "\"x\",\"y\",\"z\"\r\n", .told = {stop("File delle impostazioni incompleto !")},
             .shows = u"||||0|"_s});
        row("a port that is no number is told and left at 0, the rest goes on",
            {.port = u"porta"_s, .settings = settingsLine("S"), .told = {stop("Porta del Server non valida in Configurazione !")},
             .shows = u"Sportello 1|Selettivo|%A|10.9.8.7|0|box screen"_s});
        row("ModoClient 0 leaves the mode empty", {.modo = 0, .shows = u"Sportello 1||%A|10.9.8.7|4000|"_s});
        row("ModoClient 1 is Automatico, SecondoSchermo N leaves the box clear",
            {.modo = 1, .shows = u"Sportello 1|Automatico|%A|10.9.8.7|4000|"_s});
        row("ModoClient 2 is Selettivo, a port held as text is read",
            {.port = u"4000"_s, .shows = u"Sportello 1|Selettivo|%A|10.9.8.7|4000|"_s});
        row("ModoClient 3 leaves the mode empty", {.modo = 3, .shows = u"Sportello 1||%A|10.9.8.7|4000|"_s});
        row("SecondoSchermo S ticks the box and shows the second screen",
            {.modo = 1, .settings = settingsLine("S"), .shows = u"Sportello 1|Automatico|%A|10.9.8.7|4000|box screen"_s});
        row("SecondoSchermo s leaves both off",
            {.modo = 1, .settings = settingsLine("s"), .shows = u"Sportello 1|Automatico|%A|10.9.8.7|4000|"_s});
        // The same desk name as text editors save it.
        const QString meant = u"Sportello Città|Selettivo|%A|10.9.8.7|4000|"_s;
        row("a Windows-1252 settings file is read as the client writes it",
            {.settings = settingsLine("N", "", "Sportello Citt\xE0"), .shows = meant});
        row("a UTF-8 settings file is read as UTF-8",
            {.settings = settingsLine("N", "", "Sportello Citt\xC3\xA0"), .shows = meant});
        row("a UTF-8 settings file with a byte-order mark is read without it",
            {.settings = "\xEF\xBB\xBF" + settingsLine("N", "", "Sportello Citt\xC3\xA0"), .shows = meant});
        const QString utf16 = u"\uFEFF\"x\",\"Sportello 1\",\"127.0.0.1\",\"N\"\r\n"_s;
        row("a UTF-16 settings file is refused with a message",
            {.settings = QByteArray(reinterpret_cast<const char *>(utf16.utf16()), utf16.size() * 2),
             .told = {stop("File delle impostazioni in UTF-16: salvarlo come ANSI o UTF-8 !")}, .shows = u"||||0|"_s});
        row("a trailing separator in the folder still finds the database and is shown as written",
            {.settings = settingsLine("N", "/"), .shows = u"Sportello 1|Selettivo|%A/|10.9.8.7|4000|"_s});
    }
    void startUpPaths()
    {
        QFETCH(Start, start);
        QVERIFY(test::createStartupArchive(archive(), start.database, start.modo, start.port));
        if (!start.settings.isEmpty())
            writeSettings(start.settings);
        SingleInstance running(m_dir->filePath(u"lock"_s));
        QVERIFY(!start.anotherClient || running.claim());
        bool launcherBehindABox = false;
        test::ModalCloser closer([&](QWidget *) {
            launcherBehindABox |= launcher() && launcher()->isVisible();
            return false;
        });
        QCOMPARE(run(), start.shows.isEmpty() ? ClientRun::EndProgram : ClientRun::Running);
        QCOMPARE(closer.boxes(), start.told);
        QVERIFY(!launcherBehindABox);  // everything is told before the launcher shows
        QCOMPARE(running.isClaimed(), start.anotherClient);
        if (start.shows.isEmpty()) {
            QVERIFY(!launcher() && !m_registry->loaded<LoSchermo2>());
            return;
        }
        QVERIFY(launcher()->isVisible());
        QStringList state;
        for (const char *name : {"A1_0", "A1_1", "A1_2", "IPClient"})
            state << textOf(launcher(), QLatin1String(name));
        state << QString::number(m_registry->record().portaServer)
              << QStringList{box()->isChecked() ? u"box"_s : QString(),
                             m_registry->loaded<LoSchermo2>() ? u"screen"_s : QString()}.join(u' ').trimmed();
        QCOMPARE(state.join(u'|'), start.shows.replace(u"%A"_s, archive()));
    }

    void theFolderChosenInThePathWindowLetsStartUpGoOn()
    {
        // The settings file names a folder without a database; the operator
        // picks the real archive in the path window and saves.
        QVERIFY(test::createStartupArchive(archive(), StartupDatabase::WithConfigurazione, 1));
        QVERIFY(test::createStartupArchive(m_dir->filePath(QStringLiteral("vuota")), StartupDatabase::None));
        QVERIFY(test::writeStartupSettings(settingsPath(), m_dir->filePath(QStringLiteral("vuota")), kDesk,
                                           QStringLiteral("127.0.0.1"), QStringLiteral("N")));
        test::ModalCloser closer([this](QWidget *window) {
            if (test::chooseFolder(window, archive()))
                return true;
            if (window->objectName() != QLatin1String("PercorsoRETESERVER"))
                return false;
            click(window, "cbt_1");
            click(window, "cbt_0");
            return true;
        });
        QCOMPARE(run(), ClientRun::Running);

        // The save confirms in the message window, and start-up goes on.
        QCOMPARE(closer.boxes().mid(0, 2), (QStringList{kNotFound, QStringLiteral("PercorsoRETESERVER")}));
        QVERIFY(!closer.boxes().mid(2).contains(kNotFound));
        QCOMPARE(textOf(launcher(), u"A1_1"_s) + u'|' + textOf(launcher(), u"A1_2"_s),
                 u"Automatico|"_s + QDir::toNativeSeparators(archive()));
    }

    void aButtonClosesTheSettingsWindowAndOpensItsWindow_data()
    {
        QTest::addColumn<int>("modo");
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QString>("opens");  // the modal window, the launcher out of view or in, what it shows
        QTest::newRow("&Ok in Selettivo with the box ticked opens Form1 out of the way and sets SecondoSchermoAttivo")
            << 2 << true << QByteArray("btn_0") << QStringLiteral("Form1 out");
        QTest::newRow("&Ok in Automatico with the box clear opens Form11")
            << 1 << false << QByteArray("btn_0") << QStringLiteral("Form11 out");
        QTest::newRow("&Ok with no mode opens nothing") << 0 << false << QByteArray("btn_0") << QString();
        QTest::newRow("Servizi opens the services window for the desk")
            << 2 << false << QByteArray("GesServizi") << QStringLiteral("FrmServizi in Postazione Sportello 1");
    }
    void aButtonClosesTheSettingsWindowAndOpensItsWindow()
    {
        QFETCH(int, modo);
        QFETCH(bool, ticked);
        QFETCH(QByteArray, button);
        startReady(modo);
        if (ticked)
            click(launcher(), "schermo2");  // the box shows the second screen at once, modeless
        QCOMPARE(m_registry->loaded<LoSchermo2>() && !m_registry->loaded<LoSchermo2>()->isModal(), ticked);
        {
            test::ModalCloser closer;
            click(launcher(), "PushButton1");
        }
        QVERIFY(m_registry->loaded<ImpoRete>());

        QString opens;
        test::ModalCloser closer([&](QWidget *window) {
            const bool out = !launcher()->frameGeometry().intersects(launcher()->screen()->virtualGeometry());
            opens = window->objectName()
                + (out && launcher()->isVisible() ? u" out"_s : u" in "_s + textOf(window, u"Label1"_s))
                + (m_registry->loaded<ImpoRete>() ? u" over the settings window"_s : QString());
            return false;
        });
        click(launcher(), button.constData());
        QTEST(opens, "opens");
        QCOMPARE(closer.seen.size(), opens.isEmpty() ? 0 : 1);
        QVERIFY(!m_registry->loaded<ImpoRete>());
        QVERIFY(isCentred(launcher()));  // back in place once the console closed
        QCOMPARE(m_registry->record().secondoSchermoAttivo, ticked);
        if (ticked) {
            click(launcher(), "schermo2");  // closes the screen, leaves the flag set
            QVERIFY(!m_registry->loaded<LoSchermo2>() && m_registry->record().secondoSchermoAttivo);
        }
    }

    void closingTheLauncher_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::addColumn<bool>("settingsOpen");
        QTest::newRow("with its close box the run ends") << true << false;
        QTest::newRow("with C&hiudi the run ends") << false << false;
        QTest::newRow("with the settings window left open the run goes on until it closes") << false << true;
    }
    void closingTheLauncher()
    {
        QFETCH(bool, closeBox);
        QFETCH(bool, settingsOpen);
        startReady(2, "S");
        test::ModalCloser closer;
        if (settingsOpen)
            click(launcher(), "PushButton1");
        QSignalSpy ended(m_registry.get(), &WindowRegistry::lastWindowClosed);
        closeBox ? void(launcher()->close()) : click(launcher(), "btn_1");
        QVERIFY(!launcher() && !m_registry->loaded<LoSchermo2>());
        if (settingsOpen) {
            // A window that uses the launcher loads it again, but start-up does
            // not run twice: no messages, no second screen.
            QVERIFY(!m_registry->window<LaMain>().isVisible());
            QTest::qWait(50);
            QCOMPARE(ended.count(), 0);
            QCOMPARE(closer.boxes(), QStringList());
            QVERIFY(!m_registry->loaded<LoSchermo2>());
            m_registry->close<ImpoRete>();
        }
        QTRY_COMPARE(ended.count(), 1);
    }

private:
    QString archive() const { return m_dir->filePath(u"archivio"_s); }
    QString settingsPath() const { return m_dir->filePath(u"work/PercorsiClient.txt"_s); }
    void writeSettings(const QByteArray &line)
    {
        QVERIFY(test::writeFile(settingsPath(), QByteArray(line).replace("%A", archive().toUtf8())));
    }
    ClientRun run() { return startClient(*m_registry, *m_instance); }
    LaMain *launcher() const { return m_registry->loaded<LaMain>(); }
    QCheckBox *box() const { return launcher()->findChild<QCheckBox *>(u"schermo2"_s); }
    void startReady(int modo, const char *secondoSchermo = "N")
    {
        QVERIFY(test::createStartupArchive(archive(), StartupDatabase::WithConfigurazione, modo));
        writeSettings(settingsLine(secondoSchermo));
        test::ModalCloser closer;
        QCOMPARE(run(), ClientRun::Running);
        QCOMPARE(closer.boxes(), QStringList());
        QVERIFY(launcher() && launcher()->isVisible());
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousCurrent;
    std::unique_ptr<WindowRegistry> m_registry;
    std::unique_ptr<SingleInstance> m_instance;
};

QTEST_MAIN(TestLaMain)
#include "tst_lamain.moc"

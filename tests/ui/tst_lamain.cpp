#include "UiTesting.h"
#include "CallArchive.h"

#include "archive/ArchiveBuilder.h"
#include "core/startup/SingleInstance.h"
#include "core/store/QueueDatabase.h"
#include "gui/kit/ItalianDialogs.h"
#include "gui/kit/WindowRegistry.h"
#include "gui/launcher/ClientStart.h"
#include "gui/launcher/LaMain.h"
#include "gui/settings/FrmServizi.h"
#include "gui/settings/ImpoRete.h"
#include "gui/settings/PercorsoRETESERVER.h"
#include "gui/windows/LoSchermo2.h"

#include <QCheckBox>
#include <QDir>
#include <QScreen>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;

namespace {

const QString kNotFound = u"TQ3MAX-Messaggio|Percorso Server non impostato o Server non raggiungibile !|info"_s;

const QString kThisDesk = u"10.9.8.7"_s;
const QString kSaved = u"Percorso /postazione impostate correttamente !\nRiavviare modulo Client Turnalia 3 MAX !"_s;

// PercorsiClient.txt's line; %A stands for the archive folder.
QByteArray settingsLine(const char *secondoSchermo, const QByteArray &desk = "Sportello 1",
                        const QByteArray &address = "127.0.0.1", const QByteArray &folder = "%A")
{
    return "\"" + folder + "\",\"" + desk + "\",\"" + address + "\",\"" + secondoSchermo + "\"\r\n";
}

QString stop(const char *message) { return u"TQ3MAX-Messaggio|%1|stop"_s.arg(QString::fromUtf8(message)); }

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

} // namespace

Q_DECLARE_METATYPE(Start)

class TestLaMain final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(installItalianDialogs()); }  // as the client's main does
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(m_dir->filePath(u"work"_s)) && QDir().mkpath(m_dir->filePath(u"lock"_s)));
        // The consoles keep their history file in the working folder.
        m_previousCurrent = QDir::currentPath();
        QDir::setCurrent(m_dir->filePath(u"work"_s));
        ClientEnvironment environment;
        environment.settingsFilePath = settingsPath();
        environment.localAddress = [] { return kThisDesk; };
        m_registry = std::make_unique<WindowRegistry>(environment);
        m_instance = std::make_unique<SingleInstance>(m_dir->filePath(u"lock"_s));
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
        row("a port that is no number is told and left at 0, the rest goes on",
            {.port = u"porta"_s, .settings = settingsLine("S"), .told = {stop("Porta del Server non valida in Configurazione !")},
             .shows = u"Sportello 1|Selettivo|%A|10.9.8.7|0|box screen"_s});
        row("ModoClient 1 is Automatico, SecondoSchermo N leaves the box clear",
            {.modo = 1, .shows = u"Sportello 1|Automatico|%A|10.9.8.7|4000|"_s});
        row("ModoClient 2 is Selettivo, a port held as text with blanks around is read",
            {.port = u" 4000 "_s, .shows = u"Sportello 1|Selettivo|%A|10.9.8.7|4000|"_s});
        row("a port with a fraction is told and left at 0", {.port = 4000.5, .told = {stop("Porta del Server non valida in Configurazione !")},
                                                             .shows = u"Sportello 1|Selettivo|%A|10.9.8.7|0|"_s});
        // The same desk name as text editors save it.
        const QString meant = u"Sportello Città|Selettivo|%A|10.9.8.7|4000|"_s;
        row("a Windows-1252 settings file is read as the client writes it",
            {.settings = settingsLine("N", "Sportello Citt\xE0"), .shows = meant});
        row("a UTF-8 settings file is read as UTF-8",
            {.settings = settingsLine("N", "Sportello Citt\xC3\xA0"), .shows = meant});
        row("a UTF-8 settings file with a byte-order mark is read without it",
            {.settings = "\xEF\xBB\xBF" + settingsLine("N", "Sportello Citt\xC3\xA0"), .shows = meant});
        const QString utf16 = u"\uFEFF\"x\",\"Sportello 1\",\"127.0.0.1\",\"N\"\r\n"_s;
        row("a UTF-16 settings file is refused with a message",
            {.settings = QByteArray(reinterpret_cast<const char *>(utf16.utf16()), utf16.size() * 2),
             .told = {stop("File delle impostazioni in UTF-16: salvarlo come ANSI o UTF-8 !")}, .shows = u"||||0|"_s});
    }
    void startUpPaths()
    {
        QFETCH(Start, start);
        QVERIFY(createStartupArchive(archive(), start.database, start.modo, start.port));
        if (!start.settings.isEmpty())
            writeSettings(start.settings);
        SingleInstance running(m_dir->filePath(u"lock"_s));
        QVERIFY(!start.anotherClient || running.claim());
        ModalCloser closer;
        QCOMPARE(run(), start.shows.isEmpty() ? ClientRun::EndProgram : ClientRun::Running);
        QCOMPARE(closer.boxes(), start.told);
        QCOMPARE(running.isClaimed(), start.anotherClient);
        if (start.shows.isEmpty()) {
            QVERIFY(!launcher() && !m_registry->loaded<LoSchermo2>());
            return;
        }
        QStringList state;
        for (const char *name : {"A1_0", "A1_1", "A1_2", "IPClient"})
            state << textOf(launcher(), QLatin1String(name));
        state << QString::number(m_registry->record().portaServer)
              << QStringList{box()->isChecked() ? u"box"_s : QString(),
                             m_registry->loaded<LoSchermo2>() ? u"screen"_s : QString()}.join(u' ').trimmed();
        QVERIFY(launcher()->isVisible());
        QCOMPARE(state.join(u'|'), start.shows.replace(u"%A"_s, archive()));
    }

    void aButtonClosesTheSettingsWindowAndOpensItsWindow_data()
    {
        QTest::addColumn<int>("modo");
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QString>("opens");  // the modal window, and what it shows as its title line
        QTest::newRow("&Ok in Selettivo with the box ticked opens Form1 and sets SecondoSchermoAttivo")
            << 2 << true << QByteArray("btn_0") << u"Form1"_s;
        QTest::newRow("&Ok in Automatico with the box clear opens Form11") << 1 << false << QByteArray("btn_0") << u"Form11"_s;
        QTest::newRow("&Ok with no mode opens nothing") << 0 << false << QByteArray("btn_0") << QString();
        QTest::newRow("Servizi opens the services window for the desk")
            << 2 << false << QByteArray("GesServizi") << u"FrmServizi Postazione Sportello 1"_s;
    }
    void aButtonClosesTheSettingsWindowAndOpensItsWindow()
    {
        QFETCH(int, modo);
        QFETCH(bool, ticked);
        QFETCH(QByteArray, button);
        startReady(modo);
        if (ticked)
            click(launcher(), "schermo2");  // the box shows the second screen at once, modeless
        {
            ModalCloser none;
            click(launcher(), "PushButton1");
        }
        QVERIFY(m_registry->loaded<ImpoRete>());
        QString opens;
        ModalCloser closer([&](QWidget *window) {
            opens = window->objectName();
            opens += opens == u"FrmServizi" ? u' ' + textOf(window, u"Label1"_s) : QString();
            return false;
        });
        click(launcher(), button.constData());
        QTEST(opens, "opens");
        QVERIFY(!m_registry->loaded<ImpoRete>());
        QCOMPARE(m_registry->record().secondoSchermoAttivo, ticked);
    }

    // With the settings window left open, the run goes on until it closes; a
    // window that uses the launcher loads it again, but start-up does not run
    // twice: no messages, no second screen.
    void closingTheLauncherClosesTheSecondScreen()
    {
        startReady(2, "S");
        ModalCloser closer;
        click(launcher(), "PushButton1");
        QSignalSpy ended(m_registry.get(), &WindowRegistry::lastWindowClosed);
        click(launcher(), "btn_1");
        QVERIFY(!launcher() && !m_registry->loaded<LoSchermo2>());
        QVERIFY(!m_registry->window<LaMain>().isVisible());
        QVERIFY(!QTest::qWaitFor([&] { return ended.count() > 0 || m_registry->loaded<LoSchermo2>(); }, 50));
        QCOMPARE(closer.boxes(), QStringList());
        m_registry->close<ImpoRete>();
        QTRY_COMPARE(ended.count(), 1);
    }

    // The settings windows write the settings file byte for byte as start-up reads it.
    void clientSettingsSaveChecksNameAndAddress_data()
    {
        QTest::addColumn<bool>("started");  // the launcher up, from a settings file; else no settings file
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("secondScreen");
        QTest::addColumn<QString>("message");  // none: saved
        QTest::newRow("a blank-only desk name is saved, the second screen on ticks the launcher's box only")
            << true << "   " << "10.0.0.3" << true << "";
        QTest::newRow("the second screen off is saved and clears the launcher's box")
            << true << "Cassa" << "10.0.0.3" << false << "";
        QTest::newRow("with no settings file the save creates one with an empty folder")
            << false << "Cassa" << "10.0.0.3" << false << "";
        QTest::newRow("an empty desk name asks for the name") << true << "" << "10.0.0.3" << false
                                                             << "Inserire Nome Postazione ";
        QTest::newRow("an empty server address asks for the address") << true << "Nuovo nome" << "" << false
                                                                       << "Inserire IP Server ";
        QTest::newRow("a double quote in the desk name is refused") << true << "Sala \"A\"" << "10.0.0.3" << true
            << "Nome Postazione non valido !\nLe virgolette (\") non sono ammesse !";
    }
    void clientSettingsSaveChecksNameAndAddress()
    {
        QFETCH(bool, started);
        QFETCH(QString, name);
        QFETCH(QString, address);
        QFETCH(bool, secondScreen);
        QFETCH(QString, message);
        if (started) {
            startReady(2);
            box()->setChecked(!secondScreen);
            m_registry->close<LoSchermo2>();
        }
        const QByteArray before = stored();
        ImpoRete &window = open<ImpoRete>();
        for (auto [field, text] : {std::pair{"nomeSportello", name}, {"ServerAlternativo", address}})
            window.findChild<QWidget *>(QLatin1String(field))->setProperty("text", text);
        click(&window, secondScreen ? "rb_0" : "rb_1");
        QCOMPARE(clickSeeing(&window, "cbt_2"), message.isEmpty() ? QStringList() : QStringList{message});
        if (!message.isEmpty()) {
            QCOMPARE(stored(), before);
            // Back from the message, the window reloads what is stored.
            QTRY_COMPARE(textOf(&window, u"nomeSportello"_s), u"Sportello 1"_s);
            return;
        }
        QCOMPARE(stored(), settingsLine(secondScreen ? "S" : "N", name.toLatin1(), address.toLatin1(), started ? "%A" : ""));
        // The box shows the choice; the operator opens the public screen with it.
        QVERIFY(!started || box()->isChecked() == secondScreen);
        QVERIFY(!m_registry->loaded<LoSchermo2>());
    }

    void pathWindowSavesTheFolderChosen_data()
    {
        QTest::addColumn<QString>("name");   // of the folder chosen; none: no choice
        QTest::addColumn<bool>("settings");  // a settings file before; else none
        QTest::addColumn<QString>("message");
        QTest::newRow("a save before choosing asks for a folder and changes nothing")
            << "" << true << "Selezionare un Percorso per gli archivi !";
        QTest::newRow("the folder is saved with fields 2 to 4 kept") << "scelta" << true << kSaved;
        QTest::newRow("without a settings file the folder is saved with fields 2 to 4 empty")
            << "scelta" << false << kSaved;
        QTest::newRow("a letter Windows-1252 lacks in the folder name is refused")
            << "scelta_Ω" << true << "Percorso non valido !\nIl carattere «Ω» non è ammesso !";
    }
    void pathWindowSavesTheFolderChosen()
    {
        QFETCH(QString, name);
        QFETCH(bool, settings);
        QFETCH(QString, message);
        const QString folder = m_dir->filePath(name);
        if (settings)
            writeSettings(settingsLine("S"));
        const QByteArray before = stored();
        auto &window = open<PercorsoRETESERVER>();
        if (!name.isEmpty()) {
            QVERIFY(QDir().mkpath(folder));
            QCOMPARE(clickSeeing(&window, "cbt_1", [&](QWidget *modal) { return chooseFolder(modal, folder); }),
                     QStringList{u"Selezionare la cartella"_s});
            QCOMPARE(textOf(&window, u"txtshortcutdir"_s), QDir::toNativeSeparators(folder));
        }
        QCOMPARE(clickSeeing(&window, "cbt_0"), QStringList{message});
        const bool saved = message == kSaved;
        QCOMPARE(stored(), !saved ? before : settings ? settingsLine("S", "Sportello 1", "127.0.0.1", folder.toUtf8())
                                                      : settingsLine("", "", "", folder.toUtf8()));
        // The confirmation closes the window; the record waits for a restart.
        QTRY_COMPARE(!m_registry->loaded<PercorsoRETESERVER>(), saved);
        QVERIFY(m_registry->record().percorsoServer.isEmpty());
    }

    void servicesAddAndRemoveKeepToThisDesk()
    {
        // Three services, the third inactive; this desk has the first, another desk the second.
        QVERIFY(QDir().mkpath(archive()));
        auto builder = ArchiveBuilder::create(archive() + u"/TQ3MAX.mdb"_s);
        QVERIFY(builder && (*builder)->setConfigurazione(2, 6001, u"192.168.10.5"_s, u"SRV-TURNI"_s));
        const QStringList names{u"Anagrafe"_s, u"Tributi"_s, u"Stato civile"_s};
        for (int i = 0; i < names.size(); ++i)
            QVERIFY((*builder)->addService(i + 1, names.at(i), i < 2, 0));
        QVERIFY((*builder)->addDeskService(kThisDesk, 1, names.at(0), u"P1"_s));
        QVERIFY((*builder)->addDeskService(u"10.1.1.2"_s, 2, names.at(1), u"P2"_s));
        m_registry->record().percorsoServer = archive();
        m_registry->record().ipLocale = kThisDesk;
        open<FrmServizi>();
        QCOMPARE(pick("SSDBGrid1", 1, "PosSchermo_0"), QStringList{u"Voce già presente per quella Postazione !"_s});
        QCOMPARE(assignments(), u"this:1 other:2"_s);
        // The other desk's service is no duplicate.
        QCOMPARE(pick("SSDBGrid1", 2, "PosSchermo_0"), QStringList());
        QCOMPARE(assignments(), u"this:1 this:2 other:2"_s);
        // Removing deletes this desk's selected row only.
        QCOMPARE(pick("grid", 2, "PosSchermo_2"), QStringList());
        QCOMPARE(assignments(), u"this:1 other:2"_s);
    }

private:
    QString archive() const { return m_dir->filePath(u"archivio"_s); }
    QString settingsPath() const { return m_dir->filePath(u"work/PercorsiClient.txt"_s); }
    void writeSettings(const QByteArray &line) { QVERIFY(writeFile(settingsPath(), QByteArray(line).replace("%A", archive().toUtf8()))); }
    ClientRun run() { return startClient(*m_registry, *m_instance); }
    LaMain *launcher() const { return m_registry->loaded<LaMain>(); }
    QCheckBox *box() const { return launcher()->findChild<QCheckBox *>(u"schermo2"_s); }
    QByteArray stored() const { return readFile(settingsPath()).value_or("<missing>").replace(archive().toUtf8(), "%A"); }
    template <class W>
    W &open()
    {
        W &window = m_registry->window<W>();
        m_registry->showModeless(window);
        (void)QTest::qWaitFor([&] { return m_registry->activeForm() == &window; });
        return window;
    }
    // Clicks `name`; returns what each modal window showed (text, or title).
    QStringList clickSeeing(QWidget *window, const char *name, const ModalCloser::Hook &hook = {})
    {
        ModalCloser closer(hook);
        click(window, name);
        return closer.texts();
    }
    // Selects the row of service `id` in `grid` when it lists one, then clicks `button`.
    QStringList pick(const char *grid, qint64 id, const char *button)
    {
        auto *view = m_registry->window<FrmServizi>().findChild<QTableView *>(QLatin1String(grid));
        for (int row = 0; row < view->model()->rowCount(); ++row) {
            if (view->model()->index(row, 0).data().toLongLong() == id)
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(row, 1)).center());
        }
        return clickSeeing(&m_registry->window<FrmServizi>(), button);
    }
    QString assignments()  // "<desk>:<service id>" of the archive's rows
    {
        QStringList all;
        for (const QString &desk : {kThisDesk, u"10.1.1.2"_s}) {
            const auto rows = (*QueueDatabase::open(archive()))->deskServices(desk);
            for (const DeskService &row : rows ? *rows : QList<DeskService>())
                all << (desk == kThisDesk ? u"this:"_s : u"other:"_s) + QString::number(row.servizioId);
        }
        return all.join(u' ');
    }
    void startReady(int modo, const char *secondoSchermo = "N")
    {
        QVERIFY(createStartupArchive(archive(), StartupDatabase::WithConfigurazione, modo));
        writeSettings(settingsLine(secondoSchermo));
        ModalCloser closer;
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

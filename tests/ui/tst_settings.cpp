#include "CallArchive.h"
#include "UiTesting.h"

#include "gui/settings/FrmServizi.h"
#include "gui/settings/ImpoRete.h"
#include "gui/settings/PercorsoRETESERVER.h"
#include "gui/launcher/LaMain.h"
#include "gui/kit/ItalianDialogs.h"
#include "gui/kit/WindowRegistry.h"
#include "archive/ArchiveBuilder.h"
#include "core/store/QueueDatabase.h"
#include "gui/windows/LoSchermo2.h"

#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;

namespace {

const QString kThisDesk = u"10.1.1.1"_s;
// The services archive, in a folder that reads like a desk's network share in the pictures.
const QString kShare = u"\\\\SRV-TURNI\\TQ3MAX"_s;
const QString kSaved = u"Percorso /postazione impostate correttamente !\nRiavviare modulo Client Turnalia 3 MAX !"_s;

// "a|b|c|d" as the settings file's line.
QByteArray settingsLine(const QString &fields)
{
    return "\"" + fields.split(u'|').join(u"\",\""_s).toUtf8() + "\"\r\n";
}

} // namespace

class TestSettings final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    // Client settings
    void activationShowsStoredSettings_data();
    void activationShowsStoredSettings();
    void saveChecksNameAndAddress_data();
    void saveChecksNameAndAddress();
    void changedFolderShowsAndIsSavedBack();
    void saveTicksTheLaunchersBoxOnly();
    void unwritableSettingsFileIsTold();
    // Server archive folder
    void pathSavesTheFirstChoiceAfterACancelledSecond_data();
    void pathSavesTheFirstChoiceAfterACancelledSecond();
    // Desk services
    void servicesAddAndRemoveKeepToThisDesk();
    void unreachableServicesArchiveIsToldAndButtonsDoNothing();
    // The pictures in docs/, when TQ3_SETTINGS_SHOTS names their folder.
    void pictures();

private:
    void store(const QString &fields) { QVERIFY(writeFile(m_settings, settingsLine(fields))); }
    QByteArray stored() { return readFile(m_settings).value_or("<missing>"); }
    template <class W>
    W &open()
    {
        W &window = m_registry->window<W>();
        m_registry->showModeless(window);
        (void)QTest::qWaitFor([&] { return m_registry->activeForm() == &window; });
        return window;
    }
    template <class W, class T = QAbstractButton>
    T *control(const QString &name) { return m_registry->window<W>().template findChild<T *>(name); }
    template <class W>
    QString text(const QString &name) { return control<W, QWidget>(name)->property("text").toString(); }
    // Clicks `name` of W; returns what each modal window showed (text, or title).
    template <class W>
    QStringList click(const QString &name, const ModalCloser::Hook &hook = {})
    {
        ModalCloser closer(hook);
        QTest::mouseClick(control<W>(name), Qt::LeftButton);
        QStringList seen;
        for (const SeenModal &modal : closer.seen)
            seen << (modal.text.isEmpty() ? modal.title : modal.text);
        return seen;
    }
    // Folder, Server 1's address, name and port, desk name, server address, second screen.
    QString shown();
    void type(const QString &name, const QString &address)
    {
        control<ImpoRete, QWidget>(u"nomeSportello"_s)->setProperty("text", name);
        control<ImpoRete, QWidget>(u"ServerAlternativo"_s)->setProperty("text", address);
    }
    // A fresh services archive: three services, the third inactive; this
    // desk has the first, another desk the second.
    void servicesArchive();
    // Selects the row of service `id` in `grid` when it lists one, then clicks `button`.
    QStringList pick(const QString &grid, qint64 id, const QString &button);
    QStringList gridRows(const QString &grid);
    QStringList assignments();  // "this:<service id>" and "other:<service id>"

    QTemporaryDir m_dir;
    QString m_settings;
    std::unique_ptr<WindowRegistry> m_registry;
};

void TestSettings::initTestCase()
{
    QVERIFY(installItalianDialogs());
    // Relative archive folders ("da definire") resolve inside the test's folder.
    QVERIFY(QDir::setCurrent(m_dir.path()));
    m_settings = m_dir.filePath(u"PercorsiClient.txt"_s);
    for (const QString &folder : {u"arch"_s, u"arch0"_s, u"da definire"_s}) {
        QVERIFY(QDir().mkpath(folder));
        auto builder = ArchiveBuilder::create(folder + u"/TQ3MAX.mdb"_s);
        QVERIFY(builder && (*builder)->setConfigurazione(2, 6001, u"192.168.5.20"_s, u"SERVERTQ"_s));
        if (folder == u"arch0")
            QVERIFY((*builder)->execute(u"UPDATE Configurazione SET IPSERVER = NULL"_s));
    }
}

void TestSettings::init()
{
    m_registry.reset();
    QFile::remove(m_settings);
    ClientEnvironment environment;
    environment.settingsFilePath = m_settings;
    m_registry = std::make_unique<WindowRegistry>(environment);
}

QString TestSettings::shown()
{
    QStringList texts;
    for (const char *name : {"PR", "IpS1", "NomeS1", "LaPorta", "nomeSportello", "ServerAlternativo"})
        texts << text<ImpoRete>(QLatin1String(name));
    return texts.join(u'|') + (control<ImpoRete>(u"rb_0"_s)->isChecked() ? u"|Sì"_s : u"|No"_s);
}

void TestSettings::activationShowsStoredSettings_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("shown");

    // A null server address (shown as 0.0.0.0) is read after the change of folder below.
    QTest::newRow("a set folder shows the server's data from its archive")
        << "arch|Sportello 4|10.0.0.9|S" << "arch|192.168.5.20|SERVERTQ|6001|Sportello 4|10.0.0.9|Sì";
    QTest::newRow("da definire leaves the server's data empty without opening the archive")
        << "da definire|Sportello 4|10.0.0.9|N" << "da definire||||Sportello 4|10.0.0.9|No";
    QTest::newRow("a folder without an archive shows the server's data empty")
        << "nowhere|Sportello 4|10.0.0.9|N" << "nowhere||||Sportello 4|10.0.0.9|No";
}

void TestSettings::activationShowsStoredSettings()
{
    QFETCH(QString, settings);
    store(settings);
    open<ImpoRete>();
    QTEST(shown(), "shown");
}

void TestSettings::saveChecksNameAndAddress_data()
{
    QTest::addColumn<QString>("settings");  // none: no settings file
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("message");  // none: saved with the second screen off

    const QString settings = u"arch|Sportello 7|10.0.0.9|S"_s;
    QTest::newRow("a blank-only desk name is saved") << settings << "   " << "10.0.0.3" << "";
    QTest::newRow("with no settings file the save creates one with an empty folder")
        << "" << "Cassa" << "10.0.0.3" << "";
    QTest::newRow("an empty desk name asks for the name")
        << settings << "" << "10.0.0.3" << "Inserire Nome Postazione ";
    QTest::newRow("an empty server address asks for the address")
        << settings << "Nuovo nome" << "" << "Inserire IP Server ";
    QTest::newRow("a double quote in the desk name is refused") << settings << "Sala \"A\"" << "10.0.0.3"
        << "Nome Postazione non valido !\nLe virgolette (\") non sono ammesse !";
}

void TestSettings::saveChecksNameAndAddress()
{
    QFETCH(QString, settings);
    QFETCH(QString, name);
    QFETCH(QString, address);
    QFETCH(QString, message);
    if (!settings.isEmpty())
        store(settings);
    ImpoRete &window = open<ImpoRete>();
    const QString before = shown();
    type(name, address);
    QTest::mouseClick(control<ImpoRete>(u"rb_1"_s), Qt::LeftButton);

    const QStringList messages = click<ImpoRete>(u"cbt_2"_s);
    if (message.isEmpty()) {
        QCOMPARE(messages, QStringList());
        QCOMPARE(stored(), settingsLine(settings.section(u'|', 0, 0) + u'|' + name + u'|' + address + u"|N"_s));
        return;
    }
    QCOMPARE(messages, QStringList{message});
    QCOMPARE(stored(), settingsLine(settings));
    // Back from the message, the window reloads what is stored.
    QTRY_COMPARE(shown(), before);
    QCOMPARE(m_registry->activeForm(), &window);
}

void TestSettings::changedFolderShowsAndIsSavedBack()
{
    store(u"arch|Sportello 5|10.0.0.9|S"_s);
    ImpoRete &window = open<ImpoRete>();
    // In the path window: choose another archive's folder, save, close the confirmation.
    const QString folder = m_dir.filePath(u"arch0"_s);
    const QStringList seen = click<ImpoRete>(u"ModifyPath"_s, [&](QWidget *modal) {
        if (chooseFolder(modal, folder))
            return true;
        if (modal->objectName() != QLatin1String("PercorsoRETESERVER"))
            return false;
        QTest::mouseClick(modal->findChild<QAbstractButton *>(u"cbt_1"_s), Qt::LeftButton);
        QTest::mouseClick(modal->findChild<QAbstractButton *>(u"cbt_0"_s), Qt::LeftButton);
        return true;
    });
    QCOMPARE(seen.value(2), kSaved);
    QTRY_COMPARE(shown(), folder + u"|0.0.0.0|SERVERTQ|6001|Sportello 5|10.0.0.9|Sì"_s);
    QCOMPARE(m_registry->activeForm(), &window);

    // "Utilizza Server 1" takes the new server's address; the save keeps the new folder.
    QVERIFY(click<ImpoRete>(u"PushButton1"_s).isEmpty());
    QVERIFY(click<ImpoRete>(u"cbt_2"_s).isEmpty());
    QCOMPARE(stored(), settingsLine(folder + u"|Sportello 5|0.0.0.0|S"_s));
}

void TestSettings::saveTicksTheLaunchersBoxOnly()
{
    store(u"arch|Sportello 1|10.0.0.9|N"_s);
    open<ImpoRete>();
    ModalCloser closer;  // the launcher's start-up must not stop the test
    auto *box = control<LaMain>(u"schermo2"_s);
    for (const bool secondScreen : {true, false}) {
        QTest::mouseClick(control<ImpoRete>(secondScreen ? u"rb_0"_s : u"rb_1"_s), Qt::LeftButton);
        QVERIFY(click<ImpoRete>(u"cbt_2"_s).isEmpty());
        QCOMPARE(box->isChecked(), secondScreen);
        // The box shows the choice; the operator opens the public screen with it.
        QVERIFY(!m_registry->loaded<LoSchermo2>());
    }
}

void TestSettings::unwritableSettingsFileIsTold()
{
    // The settings file's folder is gone: nothing can be read or written.
    ClientEnvironment environment;
    environment.settingsFilePath = m_dir.filePath(u"gone/PercorsiClient.txt"_s);
    m_registry = std::make_unique<WindowRegistry>(environment);
    open<ImpoRete>();
    type(u"Sportello 1"_s, u"10.0.0.9"_s);
    QVERIFY(click<ImpoRete>(u"cbt_2"_s).value(0).startsWith(u"Impostazioni non salvate !\n"));
    QVERIFY(!QFileInfo::exists(environment.settingsFilePath));
    // Nothing could be reloaded: the typing stays for another try.
    QCOMPARE(text<ImpoRete>(u"nomeSportello"_s), u"Sportello 1"_s);
}

void TestSettings::pathSavesTheFirstChoiceAfterACancelledSecond_data()
{
    QTest::addColumn<QString>("name");  // of the folder chosen before a second choice is cancelled
    QTest::addColumn<QString>("settings");  // none: no settings file
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("saved");  // fields 2 to 4 written; none: nothing written

    const QString settings = u"C:\\Arch|Sportello 3|10.0.0.7|S"_s;
    QTest::newRow("a save before choosing asks for a folder and changes nothing")
        << "" << settings << "Selezionare un Percorso per gli archivi !" << "";
    QTest::newRow("the folder is saved with fields 2 to 4 kept")
        << "archivio" << settings << kSaved << "|Sportello 3|10.0.0.7|S";
    QTest::newRow("without a settings file the folder is saved with fields 2 to 4 empty")
        << "archivio" << "" << kSaved << "|||";
    QTest::newRow("a letter Windows-1252 lacks in the folder name is refused")
        << "archivio_Ω" << settings << "Percorso non valido !\nIl carattere «Ω» non è ammesso !" << "";
}

void TestSettings::pathSavesTheFirstChoiceAfterACancelledSecond()
{
    QFETCH(QString, name);
    QFETCH(QString, settings);
    QFETCH(QString, saved);
    const QString folder = m_dir.filePath(name);
    if (!settings.isEmpty())
        store(settings);
    const QByteArray before = stored();
    auto &window = open<PercorsoRETESERVER>();
    QCOMPARE(text<PercorsoRETESERVER>(u"txtshortcutdir"_s), u"da definire"_s);
    if (!name.isEmpty()) {
        QVERIFY(QDir().mkpath(folder));
        const QStringList chooser{u"Selezionare la cartella"_s};
        const auto chosen = [&](QWidget *modal) { return chooseFolder(modal, folder); };
        QCOMPARE(click<PercorsoRETESERVER>(u"cbt_1"_s, chosen), chooser);
        QCOMPARE(click<PercorsoRETESERVER>(u"cbt_1"_s, [](QWidget *modal) { return chooseFolder(modal, {}); }), chooser);
        QCOMPARE(text<PercorsoRETESERVER>(u"txtshortcutdir"_s), QDir::toNativeSeparators(folder));
        // The chooser does not count as another window of the program.
        QCOMPARE(m_registry->activeForm(), &window);
    }

    QFETCH(QString, message);
    QCOMPARE(click<PercorsoRETESERVER>(u"cbt_0"_s), QStringList{message});
    if (saved.isEmpty()) {
        QCOMPARE(stored(), before);
        QVERIFY(m_registry->loaded<PercorsoRETESERVER>());
        return;
    }
    QCOMPARE(stored(), settingsLine(folder + saved));
    // The confirmation closes the window; the record waits for a restart.
    QTRY_VERIFY(!m_registry->loaded<PercorsoRETESERVER>());
    QVERIFY(m_registry->record().percorsoServer.isEmpty());
}

void TestSettings::servicesArchive()
{
    QDir(kShare).removeRecursively();
    QVERIFY(QDir().mkpath(kShare));
    auto builder = ArchiveBuilder::create(kShare + u"/TQ3MAX.mdb"_s);
    QVERIFY(builder && (*builder)->setConfigurazione(2, 6001, u"192.168.10.5"_s, u"SRV-TURNI"_s));
    const QStringList names{u"Anagrafe"_s, u"Tributi"_s, u"Stato civile"_s};
    for (int i = 0; i < names.size(); ++i)
        QVERIFY((*builder)->addService(i + 1, names.at(i), i < 2, 0));
    QVERIFY((*builder)->addDeskService(kThisDesk, 1, names.at(0), u"P1"_s));
    QVERIFY((*builder)->addDeskService(u"10.1.1.2"_s, 2, names.at(1), u"P2"_s));
    m_registry->record().percorsoServer = kShare;
    m_registry->record().ipLocale = kThisDesk;
}

QStringList TestSettings::pick(const QString &grid, qint64 id, const QString &button)
{
    auto *view = control<FrmServizi, QTableView>(grid);
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        if (view->model()->index(row, 0).data().toLongLong() == id)
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                              view->visualRect(view->model()->index(row, 1)).center());
    }
    return click<FrmServizi>(button);
}

QStringList TestSettings::gridRows(const QString &grid)
{
    QAbstractItemModel *model = control<FrmServizi, QTableView>(grid)->model();
    QStringList rows;
    for (int row = 0; row < model->rowCount(); ++row)
        rows << model->index(row, 0).data().toString() + u':' + model->index(row, 1).data().toString();
    return rows;
}

QStringList TestSettings::assignments()
{
    QStringList all;
    auto database = QueueDatabase::open(kShare);
    for (const QString &desk : {kThisDesk, u"10.1.1.2"_s}) {
        const auto rows = (*database)->deskServices(desk);
        for (const DeskService &row : rows ? *rows : QList<DeskService>())
            all << (desk == kThisDesk ? u"this:"_s : u"other:"_s) + QString::number(row.servizioId);
    }
    return all;
}

void TestSettings::servicesAddAndRemoveKeepToThisDesk()
{
    const QString add = u"PosSchermo_0"_s;
    servicesArchive();
    open<FrmServizi>();
    QCOMPARE(gridRows(u"grid"_s), QStringList{u"1:Anagrafe"_s});
    QCOMPARE(gridRows(u"SSDBGrid1"_s), (QStringList{u"1:Anagrafe"_s, u"2:Tributi"_s}));
    QCOMPARE(text<FrmServizi>(u"NrServizi"_s), u"2"_s);

    QCOMPARE(pick(u"SSDBGrid1"_s, 1, add), QStringList{u"Voce già presente per quella Postazione !"_s});
    QCOMPARE(assignments(), (QStringList{u"this:1"_s, u"other:2"_s}));
    // The other desk's service is no duplicate.
    QCOMPARE(pick(u"SSDBGrid1"_s, 2, add), QStringList());
    QCOMPARE(assignments(), (QStringList{u"this:1"_s, u"this:2"_s, u"other:2"_s}));
    QCOMPARE(gridRows(u"grid"_s), (QStringList{u"1:Anagrafe"_s, u"2:Tributi"_s}));
    // Removing deletes this desk's selected row only, and the service can be added again.
    QCOMPARE(pick(u"grid"_s, 2, u"PosSchermo_2"_s), QStringList());
    QCOMPARE(assignments(), (QStringList{u"this:1"_s, u"other:2"_s}));
    QCOMPARE(gridRows(u"grid"_s), QStringList{u"1:Anagrafe"_s});
    QCOMPARE(pick(u"SSDBGrid1"_s, 2, add), QStringList());
    QCOMPARE(assignments(), (QStringList{u"this:1"_s, u"this:2"_s, u"other:2"_s}));
}

void TestSettings::unreachableServicesArchiveIsToldAndButtonsDoNothing()
{
    servicesArchive();
    const QString database = kShare + u"/TQ3MAX.mdb"_s;
    QVERIFY(QFile::remove(database));
    QStringList messages;
    {
        ModalCloser closer;
        m_registry->showModeless(m_registry->window<FrmServizi>());
        QVERIFY(closer.waitFor(1));
        messages << closer.seen.at(0).text;
    }
    messages += pick(u"SSDBGrid1"_s, 2, u"PosSchermo_0"_s) + pick(u"grid"_s, 1, u"PosSchermo_2"_s);
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.at(0).section(u'\n', 0, 0), u"Archivio servizi non raggiungibile !"_s);
    QVERIFY(!QFileInfo::exists(database));  // the window creates no archive
}

void TestSettings::pictures()
{
    const QString shots = qEnvironmentVariable("TQ3_SETTINGS_SHOTS");
    if (shots.isEmpty())
        QSKIP("taken for docs/ by scripts/settings-screenshots.sh");
    servicesArchive();
    store(kShare + u"|Sportello 1|192.168.10.5|S"_s);
    control<PercorsoRETESERVER, QWidget>(u"txtshortcutdir"_s)->setProperty("text", kShare);
    m_registry->window<FrmServizi>().setTitle(u"Postazione Sportello 1"_s);
    const std::pair<Form *, const char *> windows[] = {{&m_registry->window<ImpoRete>(), "impostazioni"},
                                                       {&m_registry->window<PercorsoRETESERVER>(), "percorso"},
                                                       {&m_registry->window<FrmServizi>(), "servizi"}};
    for (const auto &[form, name] : windows) {
        m_registry->showModeless(*form);
        QTest::qWait(300);
        QVERIFY(form->grab().save(QDir(shots).filePath(QLatin1String(name) + u".png"_s)));
        form->close();
    }
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"

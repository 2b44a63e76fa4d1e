#include "CallArchive.h"
#include "UiTesting.h"

#include "archive/ArchiveBuilder.h"
#include "core/store/QueueDatabase.h"
#include "gui/kit/ItalianDialogs.h"
#include "gui/kit/WindowRegistry.h"
#include "gui/launcher/LaMain.h"
#include "gui/settings/FrmServizi.h"
#include "gui/settings/ImpoRete.h"
#include "gui/settings/PercorsoRETESERVER.h"
#include "gui/windows/LoSchermo2.h"

#include <QCheckBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;

namespace {

const QString kThisDesk = u"10.1.1.1"_s;
const QString kShare = u"servizi"_s;
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
    void initTestCase()
    {
        QVERIFY(installItalianDialogs());
        // Relative archive folders ("da definire") resolve inside the test's folder.
        QVERIFY(QDir::setCurrent(m_dir.path()));
        m_settings = m_dir.filePath(u"PercorsiClient.txt"_s);
        for (const QString &folder : {u"arch"_s, u"arch0"_s, u"da definire"_s}) {
            QVERIFY(QDir().mkpath(folder));
            auto builder = ArchiveBuilder::create(folder + u"/TQ3MAX.mdb"_s);
            QVERIFY(builder && (*builder)->setConfigurazione(2, 6001, u"192.168.5.20"_s, u"SERVERTQ"_s));
            QVERIFY(folder != u"arch0" || (*builder)->execute(u"UPDATE Configurazione SET IPSERVER = NULL"_s));
        }
    }
    void init() { start(m_settings); }

    void activationShowsStoredSettings_data()
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
    void activationShowsStoredSettings()
    {
        QFETCH(QString, settings);
        store(settings);
        open<ImpoRete>();
        QTEST(shown(), "shown");
    }

    void saveChecksNameAndAddress_data()
    {
        QTest::addColumn<QString>("settings");  // none: no settings file
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("secondScreen");
        QTest::addColumn<QString>("message");  // none: saved
        const QString settings = u"arch|Sportello 7|10.0.0.9|N"_s;
        QTest::newRow("a blank-only desk name is saved, the second screen on ticks the launcher's box only")
            << settings << "   " << "10.0.0.3" << true << "";
        QTest::newRow("the second screen off is saved and clears the launcher's box")
            << settings << "Cassa" << "10.0.0.3" << false << "";
        QTest::newRow("with no settings file the save creates one with an empty folder")
            << "" << "Cassa" << "10.0.0.3" << false << "";
        QTest::newRow("an empty desk name asks for the name") << settings << "" << "10.0.0.3" << false
                                                             << "Inserire Nome Postazione ";
        QTest::newRow("an empty server address asks for the address") << settings << "Nuovo nome" << "" << false
                                                                       << "Inserire IP Server ";
        QTest::newRow("a double quote in the desk name is refused") << settings << "Sala \"A\"" << "10.0.0.3" << true
            << "Nome Postazione non valido !\nLe virgolette (\") non sono ammesse !";
    }
    void saveChecksNameAndAddress()
    {
        QFETCH(QString, settings);
        QFETCH(QString, name);
        QFETCH(QString, address);
        QFETCH(bool, secondScreen);
        QFETCH(QString, message);
        if (!settings.isEmpty()) {
            store(settings);
            ModalCloser closer;  // the launcher's start-up must not stop the test
            control<LaMain>(u"schermo2"_s)->setChecked(!secondScreen);
        }
        ImpoRete &window = open<ImpoRete>();
        const QString before = shown();
        type(name, address);
        QTest::mouseClick(control<ImpoRete>(secondScreen ? u"rb_0"_s : u"rb_1"_s), Qt::LeftButton);
        QCOMPARE(click<ImpoRete>(u"cbt_2"_s), message.isEmpty() ? QStringList() : QStringList{message});
        if (message.isEmpty()) {
            const QString saved = settings.section(u'|', 0, 0) + u'|' + name + u'|' + address;
            QCOMPARE(stored(), settingsLine(saved + (secondScreen ? u"|S"_s : u"|N"_s)));
            // The box shows the choice; the operator opens the public screen with it.
            QVERIFY(settings.isEmpty() || m_registry->loaded<LaMain>()->findChild<QCheckBox *>(u"schermo2"_s)->isChecked() == secondScreen);
            QVERIFY(!m_registry->loaded<LoSchermo2>());
            return;
        }
        QCOMPARE(stored(), settingsLine(settings));
        // Back from the message, the window reloads what is stored.
        QTRY_COMPARE(shown(), before);
        QCOMPARE(m_registry->activeForm(), &window);
    }

    void unwritableSettingsFileIsToldAndTheTypingStays()
    {
        start(m_dir.filePath(u"gone/PercorsiClient.txt"_s));  // no folder: nothing read or written
        open<ImpoRete>();
        type(u"Sportello 1"_s, u"10.0.0.9"_s);
        QVERIFY(click<ImpoRete>(u"cbt_2"_s).value(0).startsWith(u"Impostazioni non salvate !\n"));
        QVERIFY(!QFileInfo::exists(m_dir.filePath(u"gone"_s)));
        QCOMPARE(text<ImpoRete>(u"nomeSportello"_s), u"Sportello 1"_s);
    }

    void changedFolderShowsAndIsSavedBack()
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
        QVERIFY(click<ImpoRete>(u"PushButton1"_s).isEmpty() && click<ImpoRete>(u"cbt_2"_s).isEmpty());
        QCOMPARE(stored(), settingsLine(folder + u"|Sportello 5|0.0.0.0|S"_s));
    }

    void pathSavesTheFirstChoiceAfterACancelledSecond_data()
    {
        QTest::addColumn<QString>("name");      // of the folder chosen before a second choice is cancelled
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
    void pathSavesTheFirstChoiceAfterACancelledSecond()
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
            QCOMPARE(click<PercorsoRETESERVER>(u"cbt_1"_s, [&](QWidget *modal) { return chooseFolder(modal, folder); }),
                     chooser);
            QCOMPARE(click<PercorsoRETESERVER>(u"cbt_1"_s, [](QWidget *modal) { return chooseFolder(modal, {}); }),
                     chooser);
            QCOMPARE(text<PercorsoRETESERVER>(u"txtshortcutdir"_s), QDir::toNativeSeparators(folder));
            // The chooser does not count as another window of the program.
            QCOMPARE(m_registry->activeForm(), &window);
        }
        QFETCH(QString, message);
        QCOMPARE(click<PercorsoRETESERVER>(u"cbt_0"_s), QStringList{message});
        QCOMPARE(stored(), saved.isEmpty() ? before : settingsLine(folder + saved));
        // The confirmation closes the window; the record waits for a restart.
        QTRY_COMPARE(!m_registry->loaded<PercorsoRETESERVER>(), !saved.isEmpty());
        QVERIFY(m_registry->record().percorsoServer.isEmpty());
    }

    void servicesAddAndRemoveKeepToThisDesk()
    {
        const QString add = u"PosSchermo_0"_s, all = u"SSDBGrid1"_s, desk = u"grid"_s;
        servicesArchive();
        open<FrmServizi>();
        QCOMPARE(gridRows(desk) + u" / "_s + gridRows(all), u"1:Anagrafe / 1:Anagrafe 2:Tributi"_s);
        QCOMPARE(text<FrmServizi>(u"NrServizi"_s), u"2"_s);
        QCOMPARE(pick(all, 1, add), QStringList{u"Voce già presente per quella Postazione !"_s});
        QCOMPARE(assignments(), u"this:1 other:2"_s);
        // The other desk's service is no duplicate.
        QCOMPARE(pick(all, 2, add), QStringList());
        QCOMPARE(assignments(), u"this:1 this:2 other:2"_s);
        QCOMPARE(gridRows(desk), u"1:Anagrafe 2:Tributi"_s);
        // Removing deletes this desk's selected row only, and the service can be added again.
        QCOMPARE(pick(desk, 2, u"PosSchermo_2"_s), QStringList());
        QCOMPARE(assignments() + u" / "_s + gridRows(desk), u"this:1 other:2 / 1:Anagrafe"_s);
        QCOMPARE(pick(all, 2, add), QStringList());
        QCOMPARE(assignments(), u"this:1 this:2 other:2"_s);
    }

    void unreachableServicesArchiveIsToldOnceAndButtonsDoNothing()
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

private:
    void start(const QString &settingsPath)
    {
        m_registry.reset();
        QFile::remove(m_settings);
        ClientEnvironment environment;
        environment.settingsFilePath = settingsPath;
        m_registry = std::make_unique<WindowRegistry>(environment);
    }
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
        return closer.texts();
    }
    // Folder, Server 1's address, name and port, desk name, server address, second screen.
    QString shown()
    {
        QStringList texts;
        for (const char *name : {"PR", "IpS1", "NomeS1", "LaPorta", "nomeSportello", "ServerAlternativo"})
            texts << text<ImpoRete>(QLatin1String(name));
        return texts.join(u'|') + (control<ImpoRete>(u"rb_0"_s)->isChecked() ? u"|Sì"_s : u"|No"_s);
    }
    void type(const QString &name, const QString &address)
    {
        control<ImpoRete, QWidget>(u"nomeSportello"_s)->setProperty("text", name);
        control<ImpoRete, QWidget>(u"ServerAlternativo"_s)->setProperty("text", address);
    }
    // A fresh services archive: three services, the third inactive; this
    // desk has the first, another desk the second.
    void servicesArchive()
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
    // Selects the row of service `id` in `grid` when it lists one, then clicks `button`.
    QStringList pick(const QString &grid, qint64 id, const QString &button)
    {
        auto *view = control<FrmServizi, QTableView>(grid);
        for (int row = 0; row < view->model()->rowCount(); ++row) {
            if (view->model()->index(row, 0).data().toLongLong() == id)
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                                  view->visualRect(view->model()->index(row, 1)).center());
        }
        return click<FrmServizi>(button);
    }
    QString gridRows(const QString &grid)
    {
        QAbstractItemModel *model = control<FrmServizi, QTableView>(grid)->model();
        QStringList rows;
        for (int row = 0; row < model->rowCount(); ++row)
            rows << model->index(row, 0).data().toString() + u':' + model->index(row, 1).data().toString();
        return rows.join(u' ');
    }
    QString assignments()  // "this:<service id>" and "other:<service id>"
    {
        QStringList all;
        auto database = QueueDatabase::open(kShare);
        for (const QString &desk : {kThisDesk, u"10.1.1.2"_s}) {
            const auto rows = (*database)->deskServices(desk);
            for (const DeskService &row : rows ? *rows : QList<DeskService>())
                all << (desk == kThisDesk ? u"this:"_s : u"other:"_s) + QString::number(row.servizioId);
        }
        return all.join(u' ');
    }

    QTemporaryDir m_dir;
    QString m_settings;
    std::unique_ptr<WindowRegistry> m_registry;
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"

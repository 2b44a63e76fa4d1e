#include "UiTesting.h"

#include "settings/ImpoRete.h"
#include "settings/PercorsoRETESERVER.h"
#include "startup/ui/LaMain.h"
#include "startup/ui/WindowRegistry.h"
#include "store/ArchiveBuilder.h"
#include "windows/LoSchermo2.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;

namespace {

// "a|b|c|d" as the settings file's line.
QByteArray settingsLine(const QString &fields)
{
    return "\"" + fields.split(u'|').join(u"\",\""_s).toUtf8() + "\"\r\n";
}

} // namespace

class TestImpoRete final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void activationShowsStoredSettings_data();
    void activationShowsStoredSettings();
    void saveChecksNameAndAddress_data();
    void saveChecksNameAndAddress();
    void comingBackReloadsOnlyFromAWindowOfTheProgram_data();
    void comingBackReloadsOnlyFromAWindowOfTheProgram();
    void changedFolderShowsAndIsSavedBack();
    void saveTicksTheLaunchersBoxOnly();
    void unwritableSettingsFileIsTold();

private:
    void store(const QString &fields);
    QByteArray stored();
    ImpoRete &openWindow();
    // Folder, Server 1's address, name and port, desk name, server address, second screen.
    QString shown();
    void type(const QString &name, const QString &address);
    // Clicks `name`; returns the messages shown.
    QStringList click(const QString &name, ModalCloser::Hook hook = {});
    template <class T>
    T *control(const QString &name) { return m_registry->window<ImpoRete>().findChild<T *>(name); }

    QTemporaryDir m_dir;
    QString m_settings;
    std::unique_ptr<WindowRegistry> m_registry;
};

void TestImpoRete::initTestCase()
{
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

void TestImpoRete::init()
{
    m_registry.reset();
    QFile::remove(m_settings);
    ClientEnvironment environment;
    environment.settingsFilePath = m_settings;
    m_registry = std::make_unique<WindowRegistry>(environment);
}

void TestImpoRete::store(const QString &fields)
{
    QFile file(m_settings);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(settingsLine(fields)) > 0);
}

QByteArray TestImpoRete::stored()
{
    QFile file(m_settings);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

ImpoRete &TestImpoRete::openWindow()
{
    ImpoRete &window = m_registry->window<ImpoRete>();
    m_registry->showModeless(window);
    if (!QTest::qWaitFor([&] { return m_registry->activeForm() == &window; }))
        qWarning("the client settings window never became active");
    return window;
}

QString TestImpoRete::shown()
{
    QStringList texts;
    for (const char *name : {"PR", "IpS1", "NomeS1", "LaPorta", "nomeSportello", "ServerAlternativo"})
        texts << control<QLineEdit>(QLatin1String(name))->text();
    return texts.join(u'|') + (control<QRadioButton>(u"rb_0"_s)->isChecked() ? u"|Sì"_s : u"|No"_s);
}

void TestImpoRete::type(const QString &name, const QString &address)
{
    control<QLineEdit>(u"nomeSportello"_s)->setText(name);
    control<QLineEdit>(u"ServerAlternativo"_s)->setText(address);
}

QStringList TestImpoRete::click(const QString &name, ModalCloser::Hook hook)
{
    ModalCloser closer(std::move(hook));
    QTest::mouseClick(control<QAbstractButton>(name), Qt::LeftButton);
    QStringList messages;
    for (const SeenModal &seen : closer.seen)
        messages << seen.text;
    return messages;
}

void TestImpoRete::activationShowsStoredSettings_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("shown");

    QTest::newRow("a set folder shows the server's data from its archive")
        << "arch|Sportello 4|10.0.0.9|S" << "arch|192.168.5.20|SERVERTQ|6001|Sportello 4|10.0.0.9|Sì";
    QTest::newRow("a null server address shows 0.0.0.0")
        << "arch0|Sportello 4|10.0.0.9|N" << "arch0|0.0.0.0|SERVERTQ|6001|Sportello 4|10.0.0.9|No";
    QTest::newRow("da definire leaves the server's data empty without opening the archive")
        << "da definire|Sportello 4|10.0.0.9|N" << "da definire||||Sportello 4|10.0.0.9|No";
    QTest::newRow("a folder without an archive shows the server's data empty")
        << "nowhere|Sportello 4|10.0.0.9|N" << "nowhere||||Sportello 4|10.0.0.9|No";
    QTest::newRow("a lower-case s is no second screen")
        << "arch|Sportello 4|10.0.0.9|s" << "arch|192.168.5.20|SERVERTQ|6001|Sportello 4|10.0.0.9|No";
}

void TestImpoRete::activationShowsStoredSettings()
{
    QFETCH(QString, settings);
    store(settings);
    openWindow();
    QTEST(shown(), "shown");
}

void TestImpoRete::saveChecksNameAndAddress_data()
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
    QTest::newRow("a character outside Windows-1252 in the address is refused") << settings << "Sala A"
        << "10.0.0.3Ω" << "IP Server non valido !\nIl carattere «Ω» non è ammesso !";
}

void TestImpoRete::saveChecksNameAndAddress()
{
    QFETCH(QString, settings);
    QFETCH(QString, name);
    QFETCH(QString, address);
    QFETCH(QString, message);
    if (!settings.isEmpty())
        store(settings);
    ImpoRete &window = openWindow();
    const QString before = shown();
    type(name, address);
    QTest::mouseClick(control<QRadioButton>(u"rb_1"_s), Qt::LeftButton);

    const QStringList messages = click(u"cbt_2"_s);
    if (message.isEmpty()) {
        QCOMPARE(messages, QStringList());
        QCOMPARE(stored(), settingsLine(settings.section(u'|', 0, 0) + u'|' + name + u'|' + address + u"|N"_s));
        QVERIFY(m_registry->loaded<ImpoRete>());  // no confirmation, the window stays
        return;
    }
    QCOMPARE(messages, QStringList{message});
    QCOMPARE(stored(), settingsLine(settings));
    // Back from the message, the window reloads what is stored.
    QTRY_COMPARE(shown(), before);
    QCOMPARE(m_registry->activeForm(), &window);
}

void TestImpoRete::comingBackReloadsOnlyFromAWindowOfTheProgram_data()
{
    QTest::addColumn<bool>("ofTheProgram");
    QTest::newRow("back from another window of the program, unsaved typing is replaced") << true;
    QTest::newRow("back from another program, the typing stays") << false;
}

void TestImpoRete::comingBackReloadsOnlyFromAWindowOfTheProgram()
{
    QFETCH(bool, ofTheProgram);
    store(u"da definire|Sportello 2|10.0.0.9|N"_s);
    ImpoRete &window = openWindow();
    type(u"typed"_s, u"10.0.0.9"_s);

    QWidget elsewhere;  // none of the program's windows
    QWidget *other = ofTheProgram ? &m_registry->window<PercorsoRETESERVER>() : &elsewhere;
    if (ofTheProgram)
        m_registry->showModeless(m_registry->window<PercorsoRETESERVER>());
    other->show();
    other->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), other);
    window.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &window);
    QCOMPARE(control<QLineEdit>(u"nomeSportello"_s)->text(), ofTheProgram ? u"Sportello 2"_s : u"typed"_s);
}

void TestImpoRete::changedFolderShowsAndIsSavedBack()
{
    store(u"arch|Sportello 5|10.0.0.9|S"_s);
    ImpoRete &window = openWindow();
    // In the path window: choose another archive's folder, save, close the confirmation.
    const QString folder = m_dir.filePath(u"arch0"_s);
    const QStringList seen = click(u"ModifyPath"_s, [&](QWidget *modal) {
        if (auto *chooser = qobject_cast<QFileDialog *>(modal)) {
            chooser->setDirectory(folder);
            return QMetaObject::invokeMethod(chooser, "accept");
        }
        if (modal->objectName() != QLatin1String("PercorsoRETESERVER"))
            return false;
        QTest::mouseClick(modal->findChild<QPushButton *>(u"cbt_1"_s), Qt::LeftButton);
        QTest::mouseClick(modal->findChild<QPushButton *>(u"cbt_0"_s), Qt::LeftButton);
        return true;
    });
    QCOMPARE(seen.value(2), u"Percorso /postazione impostate correttamente !\nRiavviare modulo Client Turnalia 3 MAX !"_s);
    QTRY_COMPARE(shown(), folder + u"|0.0.0.0|SERVERTQ|6001|Sportello 5|10.0.0.9|Sì"_s);
    QCOMPARE(m_registry->activeForm(), &window);

    // "Utilizza Server 1" takes the new server's address; the save keeps the new folder.
    QVERIFY(click(u"PushButton1"_s).isEmpty());
    QVERIFY(click(u"cbt_2"_s).isEmpty());
    QCOMPARE(stored(), settingsLine(folder + u"|Sportello 5|0.0.0.0|S"_s));
}

void TestImpoRete::saveTicksTheLaunchersBoxOnly()
{
    store(u"arch|Sportello 1|10.0.0.9|N"_s);
    openWindow();
    QVERIFY(click(u"cbt_2"_s).isEmpty());
    QVERIFY(!m_registry->loaded<LaMain>());  // a save does not load the launcher

    ModalCloser closer;  // the launcher's start-up must not stop the test
    auto *box = m_registry->window<LaMain>().findChild<QCheckBox *>(u"schermo2"_s);
    QVERIFY(!box->isChecked());
    QTest::mouseClick(control<QRadioButton>(u"rb_0"_s), Qt::LeftButton);
    QVERIFY(click(u"cbt_2"_s).isEmpty());
    QVERIFY(box->isChecked());
    // The box shows the choice; the operator opens the public screen with it.
    QVERIFY(!m_registry->loaded<LoSchermo2>());
    QTest::mouseClick(control<QRadioButton>(u"rb_1"_s), Qt::LeftButton);
    QVERIFY(click(u"cbt_2"_s).isEmpty());
    QVERIFY(!box->isChecked());
}

void TestImpoRete::unwritableSettingsFileIsTold()
{
    // The settings file's folder is gone: nothing can be read or written.
    ClientEnvironment environment;
    environment.settingsFilePath = m_dir.filePath(u"gone/PercorsiClient.txt"_s);
    m_registry = std::make_unique<WindowRegistry>(environment);
    openWindow();
    type(u"Sportello 1"_s, u"10.0.0.9"_s);
    const QStringList messages = click(u"cbt_2"_s);
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages.at(0).startsWith(u"Impostazioni non salvate !\n"));
    QVERIFY(!QFileInfo::exists(environment.settingsFilePath));
    // Nothing could be reloaded: the typing stays for another try.
    QCOMPARE(control<QLineEdit>(u"nomeSportello"_s)->text(), u"Sportello 1"_s);
}

QTEST_MAIN(TestImpoRete)
#include "tst_settings_imporete.moc"

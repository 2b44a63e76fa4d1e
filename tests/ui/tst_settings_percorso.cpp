#include "settings_ui_support.h"

#include "settings/PercorsoRETESERVER.h"
#include "startup/ui/Twips.h"
#include "startup/ui/WindowRegistry.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
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

const QString kNotChosen = QStringLiteral("da definire");

} // namespace

class TestPercorso final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void looksAsDesigned();
    void saveBeforeChoosingChangesNothing();
    void firstChoiceSurvivesACancelledSecond();
    void missingSettingsFileGetsEmptyFields();
    void unstorableFolderIsRefused_data();
    void unstorableFolderIsRefused();

private:
    PercorsoRETESERVER &openWindow();
    QLabel *folderLabel();
    void click(const QString &name);
    void choose(const QString &folder);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_settings;
    std::unique_ptr<WindowRegistry> m_registry;
};

void TestPercorso::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_settings = m_dir->filePath(QStringLiteral("PercorsiClient.txt"));
    ClientEnvironment environment;
    environment.settingsFilePath = m_settings;
    m_registry = std::make_unique<WindowRegistry>(environment);
}

void TestPercorso::cleanup()
{
    m_registry.reset();
    m_dir.reset();
}

PercorsoRETESERVER &TestPercorso::openWindow()
{
    PercorsoRETESERVER &window = m_registry->window<PercorsoRETESERVER>();
    m_registry->showModeless(window);
    if (!QTest::qWaitFor([&] { return m_registry->activeForm() == &window; }))
        qWarning("the path window never became active");
    return window;
}

QLabel *TestPercorso::folderLabel()
{
    auto *window = m_registry->loaded<PercorsoRETESERVER>();
    return window ? window->findChild<QLabel *>(QStringLiteral("txtshortcutdir")) : nullptr;
}

void TestPercorso::click(const QString &name)
{
    auto *window = m_registry->loaded<PercorsoRETESERVER>();
    QVERIFY(window);
    QTest::mouseClick(window->findChild<QPushButton *>(name), Qt::LeftButton);
}

void TestPercorso::choose(const QString &folder)
{
    auto title = std::make_shared<QString>();
    auto watch = answerFolderChooser(folder, title);
    click(QStringLiteral("cbt_1"));
    QVERIFY(watch->done());
    QCOMPARE(*title, QStringLiteral("Selezionare la cartella"));
}

void TestPercorso::looksAsDesigned()
{
    PercorsoRETESERVER &window = openWindow();
    QCOMPARE(window.windowTitle(), QStringLiteral("Imposta Percorso Server 1"));
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
    QCOMPARE(window.size(), twips::size(4515, 3810));
    QCOMPARE(window.findChild<QGroupBox *>(QStringLiteral("GroupBox1"))->title(),
             QStringLiteral("Percorso Archivio su Server1"));
    QCOMPARE(window.findChild<QPushButton *>(QStringLiteral("cbt_1"))->text(),
             QStringLiteral("&Impostazione percorso Server"));
    QCOMPARE(window.findChild<QPushButton *>(QStringLiteral("cbt_0"))->geometry(),
             twips::rect(3120, 3120, 975, 330));
    QCOMPARE(folderLabel()->text(), kNotChosen);
}

void TestPercorso::saveBeforeChoosingChangesNothing()
{
    const QByteArray stored = settingsLine(QStringLiteral("C:\\Arch"), QStringLiteral("Sportello 3"),
                                           QStringLiteral("10.0.0.7"), QStringLiteral("S"));
    writeBytes(m_settings, stored);
    openWindow();

    auto seen = std::make_shared<SeenMessage>();
    auto watch = answerMessage(seen);
    click(QStringLiteral("cbt_0"));

    QVERIFY(seen->seen);
    QCOMPARE(seen->line0, QStringLiteral("Selezionare un Percorso per gli archivi !"));
    QVERIFY(!seen->line1Visible);
    QCOMPARE(fileBytes(m_settings), stored);
    QVERIFY(m_registry->loaded<PercorsoRETESERVER>());
}

void TestPercorso::firstChoiceSurvivesACancelledSecond()
{
    const QString first = m_dir->filePath(QStringLiteral("archivio"));
    QVERIFY(QDir().mkpath(first));
    writeBytes(m_settings, settingsLine(QStringLiteral("C:\\Vecchio"), QStringLiteral("Sportello 3"),
                                        QStringLiteral("10.0.0.7"), QStringLiteral("S")));
    openWindow();

    choose(first);
    QCOMPARE(folderLabel()->text(), QDir::toNativeSeparators(first));
    choose(QString());  // cancelled
    QCOMPARE(folderLabel()->text(), QDir::toNativeSeparators(first));
    // The chooser does not count as another window of the program.
    QCOMPARE(m_registry->activeForm(), m_registry->loaded<PercorsoRETESERVER>());

    auto seen = std::make_shared<SeenMessage>();
    auto watch = answerMessage(seen);
    click(QStringLiteral("cbt_0"));

    QVERIFY(seen->seen);
    QCOMPARE(seen->line0, QStringLiteral("Percorso /postazione impostate correttamente !"));
    QVERIFY(seen->line1Visible);
    QCOMPARE(seen->line1, QStringLiteral("Riavviare modulo Client Turnalia 3 MAX !"));
    QCOMPARE(fileBytes(m_settings), settingsLine(first, QStringLiteral("Sportello 3"),
                                                 QStringLiteral("10.0.0.7"), QStringLiteral("S")));
    // Closing the confirmation closes the window; the record waits for a restart.
    QTRY_VERIFY(!m_registry->loaded<PercorsoRETESERVER>());
    QCOMPARE(m_registry->state<PercorsoRETESERVER>().folder, first);
    QVERIFY(m_registry->record().percorsoServer.isEmpty());

    // The next opening starts from the design text again.
    openWindow();
    QCOMPARE(folderLabel()->text(), kNotChosen);
}

void TestPercorso::missingSettingsFileGetsEmptyFields()
{
    const QString folder = m_dir->filePath(QStringLiteral("archivio"));
    QVERIFY(QDir().mkpath(folder));
    openWindow();
    choose(folder);
    auto seen = std::make_shared<SeenMessage>();
    auto watch = answerMessage(seen);
    click(QStringLiteral("cbt_0"));
    QVERIFY(seen->seen);
    QCOMPARE(fileBytes(m_settings), settingsLine(folder, QString(), QString(), QString()));
}

void TestPercorso::unstorableFolderIsRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a double quote in the folder name")
        << "arch\"ivio" << "Le virgolette (\") non sono ammesse !";
    QTest::newRow("a letter Windows-1252 lacks")
        << "archivio_Ω" << "Il carattere «Ω» non è ammesso !";
}

void TestPercorso::unstorableFolderIsRefused()
{
    QFETCH(QString, name);
    const QString folder = m_dir->filePath(name);
    QVERIFY(QDir().mkpath(folder));
    const QByteArray stored = settingsLine(QStringLiteral("C:\\Arch"), QStringLiteral("Sportello 3"),
                                           QStringLiteral("10.0.0.7"), QStringLiteral("N"));
    writeBytes(m_settings, stored);
    openWindow();
    choose(folder);
    QCOMPARE(folderLabel()->text(), folder);

    auto seen = std::make_shared<SeenMessage>();
    auto watch = answerMessage(seen);
    click(QStringLiteral("cbt_0"));

    QVERIFY(seen->seen);
    QCOMPARE(seen->line0, QStringLiteral("Percorso non valido !"));
    QTEST(seen->line1, "reason");
    QCOMPARE(fileBytes(m_settings), stored);
    QVERIFY(m_registry->loaded<PercorsoRETESERVER>());
}

QTEST_MAIN(TestPercorso)
#include "tst_settings_percorso.moc"

#include "UiTesting.h"

#include "settings/PercorsoRETESERVER.h"
#include "startup/ui/WindowRegistry.h"

#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;

namespace {

QByteArray settingsLine(const QString &folder, const char *rest)
{
    return "\"" + folder.toUtf8() + "\"," + rest + "\r\n";
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestPercorso final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void saveBeforeChoosingChangesNothing();
    void saveOfTheFirstChoiceAfterACancelledSecond_data();
    void saveOfTheFirstChoiceAfterACancelledSecond();

private:
    // Clicks `button`; a folder chooser chooses `folder` (cancels when empty).
    // Returns the messages shown.
    QStringList click(const QString &button, const QString &folder = {});
    QString shownFolder();

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_settings;
    std::unique_ptr<WindowRegistry> m_registry;
};

void TestPercorso::init()
{
    m_registry.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    m_settings = m_dir->filePath(u"PercorsiClient.txt"_s);
    ClientEnvironment environment;
    environment.settingsFilePath = m_settings;
    m_registry = std::make_unique<WindowRegistry>(environment);
    auto &window = m_registry->window<PercorsoRETESERVER>();
    m_registry->showModeless(window);
    QTRY_COMPARE(m_registry->activeForm(), &window);
}

QStringList TestPercorso::click(const QString &button, const QString &folder)
{
    ModalCloser closer([folder](QWidget *modal) {
        auto *chooser = qobject_cast<QFileDialog *>(modal);
        if (!chooser)
            return false;
        if (folder.isEmpty())
            return chooser->reject(), true;
        // Standing in a folder with nothing selected chooses that folder.
        chooser->setDirectory(folder);
        return QMetaObject::invokeMethod(chooser, "accept");
    });
    QTest::mouseClick(m_registry->loaded<PercorsoRETESERVER>()->findChild<QPushButton *>(button), Qt::LeftButton);
    QStringList messages;
    for (const SeenModal &seen : closer.seen)
        messages << (seen.name == QLatin1String("MsgForm") ? seen.text : seen.title);
    return messages;
}

QString TestPercorso::shownFolder()
{
    return m_registry->loaded<PercorsoRETESERVER>()->findChild<QLabel *>(u"txtshortcutdir"_s)->text();
}

void TestPercorso::saveBeforeChoosingChangesNothing()
{
    const QByteArray stored = settingsLine(u"C:\\Arch"_s, "\"Sportello 3\",\"10.0.0.7\",\"S\"");
    writeBytes(m_settings, stored);
    QCOMPARE(shownFolder(), u"da definire"_s);
    QCOMPARE(click(u"cbt_0"_s), QStringList{u"Selezionare un Percorso per gli archivi !"_s});
    QCOMPARE(fileBytes(m_settings), stored);
    QVERIFY(m_registry->loaded<PercorsoRETESERVER>());
}

void TestPercorso::saveOfTheFirstChoiceAfterACancelledSecond_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("hasSettings");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("rest");  // fields 2 to 4 written, when saved

    const QString saved = QStringLiteral("Percorso /postazione impostate correttamente !\n"
                                         "Riavviare modulo Client Turnalia 3 MAX !");
    QTest::newRow("the folder is saved with fields 2 to 4 kept")
        << "archivio" << true << saved << QByteArray("\"Sportello 3\",\"10.0.0.7\",\"S\"");
    QTest::newRow("without a settings file the folder is saved with fields 2 to 4 empty")
        << "archivio" << false << saved << QByteArray("\"\",\"\",\"\"");
    QTest::newRow("a double quote in the folder name is refused")
        << "arch\"ivio" << true << "Percorso non valido !\nLe virgolette (\") non sono ammesse !"
        << QByteArray();
    QTest::newRow("a letter Windows-1252 lacks in the folder name is refused")
        << "archivio_Ω" << true << "Percorso non valido !\nIl carattere «Ω» non è ammesso !" << QByteArray();
}

void TestPercorso::saveOfTheFirstChoiceAfterACancelledSecond()
{
    QFETCH(QString, name);
    QFETCH(bool, hasSettings);
    QFETCH(QByteArray, rest);
    const QString folder = m_dir->filePath(name);
    QVERIFY(QDir().mkpath(folder));
    const QByteArray stored = settingsLine(u"C:\\Arch"_s, "\"Sportello 3\",\"10.0.0.7\",\"S\"");
    if (hasSettings)
        writeBytes(m_settings, stored);

    const QStringList chooser{u"Selezionare la cartella"_s};
    QCOMPARE(click(u"cbt_1"_s, folder), chooser);
    QCOMPARE(shownFolder(), QDir::toNativeSeparators(folder));
    QCOMPARE(click(u"cbt_1"_s), chooser);  // cancelled
    QCOMPARE(shownFolder(), QDir::toNativeSeparators(folder));
    // The chooser does not count as another window of the program.
    QCOMPARE(m_registry->activeForm(), m_registry->loaded<PercorsoRETESERVER>());

    QFETCH(QString, message);
    QCOMPARE(click(u"cbt_0"_s), QStringList{message});
    if (rest.isEmpty()) {
        QCOMPARE(fileBytes(m_settings), hasSettings ? stored : QByteArray("<missing>"));
        QVERIFY(m_registry->loaded<PercorsoRETESERVER>());
        return;
    }
    QCOMPARE(fileBytes(m_settings), settingsLine(folder, rest.constData()));
    // The confirmation closes the window; the record waits for a restart.
    QTRY_VERIFY(!m_registry->loaded<PercorsoRETESERVER>());
    QVERIFY(m_registry->record().percorsoServer.isEmpty());
    // The next opening starts from the design text again.
    m_registry->showModeless(m_registry->window<PercorsoRETESERVER>());
    QCOMPARE(shownFolder(), u"da definire"_s);
}

QTEST_MAIN(TestPercorso)
#include "tst_settings_percorso.moc"

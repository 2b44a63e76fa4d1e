#include "startup/StartupSequence.h"
#include "startup_Archive.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace tq3;
using test::StartupDatabase;

Q_DECLARE_METATYPE(tq3::StartupReport::Stop)
Q_DECLARE_METATYPE(tq3::test::StartupDatabase)

class TestStartupSequence final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void stopsAtTheFirstStepThatFails_data();
    void stopsAtTheFirstStepThatFails();
    void readsModeAndPort_data();
    void readsModeAndPort();
    void asksForTheSecondScreenOnlyForCapitalS_data();
    void asksForTheSecondScreenOnlyForCapitalS();
    void joinsTheFolderAndTheFileNamePlainly();
    void takesTheAddressFromTheEnvironment();
    void portNumbers_data();
    void portNumbers();

private:
    QString settingsPath() const { return m_dir->filePath(QStringLiteral("PercorsiClient.txt")); }
    QString archive() const { return m_dir->filePath(QStringLiteral("archivio")); }
    ClientEnvironment environment() const
    {
        ClientEnvironment env;
        env.settingsFilePath = settingsPath();
        env.localAddress = [] { return QStringLiteral("10.1.2.3"); };
        return env;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestStartupSequence::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestStartupSequence::stopsAtTheFirstStepThatFails_data()
{
    QTest::addColumn<bool>("settingsFile");
    QTest::addColumn<QByteArray>("rawSettings");
    QTest::addColumn<StartupDatabase>("database");
    QTest::addColumn<StartupReport::Stop>("stop");
    QTest::addColumn<bool>("settingsRead");
    QTest::addColumn<QString>("message");

    using S = StartupReport::Stop;
    QTest::newRow("no settings file is not found")
        << false << QByteArray() << StartupDatabase::WithConfigurazione << S::NotFound << false << QString();
    QTest::newRow("a settings file of two fields is unusable")
        << true << QByteArray("\"a\",\"b\"\r\n") << StartupDatabase::WithConfigurazione << S::SettingsUnusable
        << false << QStringLiteral("File delle impostazioni incompleto !");
    QTest::newRow("a folder without the database is not found")
        << true << QByteArray() << StartupDatabase::None << S::NotFound << true << QString();
    QTest::newRow("a database file that is no database is unusable")
        << true << QByteArray() << StartupDatabase::NotADatabase << S::DatabaseUnusable << true
        << QStringLiteral("TQ3MAX.mdb non è un archivio valido !");
    QTest::newRow("a database without Configurazione stops there")
        << true << QByteArray() << StartupDatabase::WithoutConfigurazione << S::NoConfiguration << true
        << QStringLiteral("Configurazione mancante nell'archivio !");
    QTest::newRow("an empty Configurazione stops there")
        << true << QByteArray() << StartupDatabase::EmptyConfigurazione << S::NoConfiguration << true
        << QStringLiteral("Configurazione mancante nell'archivio !");
    QTest::newRow("a complete archive runs every step")
        << true << QByteArray() << StartupDatabase::WithConfigurazione << S::Completed << true << QString();
}

void TestStartupSequence::stopsAtTheFirstStepThatFails()
{
    QFETCH(bool, settingsFile);
    QFETCH(QByteArray, rawSettings);
    QFETCH(StartupDatabase, database);
    QFETCH(StartupReport::Stop, stop);
    QFETCH(bool, settingsRead);
    QFETCH(QString, message);

    QVERIFY(test::createStartupArchive(archive(), database, 1, 4000));
    if (settingsFile && rawSettings.isEmpty())
        QVERIFY(test::writeStartupSettings(settingsPath(), archive(), QStringLiteral("Sportello 1"),
                                           QStringLiteral("192.168.0.9"), QStringLiteral("S")));
    else if (settingsFile)
        QVERIFY(test::writeRawSettings(settingsPath(), rawSettings));

    SettingsRecord record;
    const StartupReport report = runStartup(environment(), record);

    QCOMPARE(report.stop, stop);
    QCOMPARE(report.settingsRead, settingsRead);
    if (!message.isEmpty()) {
        QVERIFY(report.error);
        QCOMPARE(report.error->message, message);
    }
    const bool completed = stop == StartupReport::Stop::Completed;
    QCOMPARE(report.archiveFolderShown, completed);
    QCOMPARE(report.addressTaken, completed);
    QCOMPARE(report.showSecondScreen, completed);
    QCOMPARE(report.mode, completed ? QStringLiteral("Automatico") : QString());
    QCOMPARE(record.portaServer, completed ? 4000 : 0);
    QCOMPARE(record.ipLocale, completed ? QStringLiteral("10.1.2.3") : QString());
    QCOMPARE(record.nomePostazione, settingsRead ? QStringLiteral("Sportello 1") : QString());
    QCOMPARE(record.ipServer, settingsRead ? QStringLiteral("192.168.0.9") : QString());
    QVERIFY(!record.secondoSchermoAttivo);
}

void TestStartupSequence::readsModeAndPort_data()
{
    QTest::addColumn<QVariant>("modoClient");
    QTest::addColumn<QVariant>("rhPort");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<qint32>("port");
    QTest::addColumn<bool>("portUnusable");

    QTest::newRow("mode 0 leaves the mode empty") << QVariant(0) << QVariant(4000) << QString() << 4000 << false;
    QTest::newRow("mode 1 is Automatico") << QVariant(1) << QVariant(4000) << QStringLiteral("Automatico") << 4000
                                          << false;
    QTest::newRow("mode 2 is Selettivo") << QVariant(2) << QVariant(5001) << QStringLiteral("Selettivo") << 5001
                                         << false;
    QTest::newRow("mode 3 leaves the mode empty") << QVariant(3) << QVariant(4000) << QString() << 4000 << false;
    QTest::newRow("an empty mode leaves the mode empty") << QVariant() << QVariant(4000) << QString() << 4000
                                                         << false;
    QTest::newRow("a port held as text is read") << QVariant(2) << QVariant(QStringLiteral("6000"))
                                                 << QStringLiteral("Selettivo") << 6000 << false;
    QTest::newRow("an empty port is reported and left at 0")
        << QVariant(2) << QVariant() << QStringLiteral("Selettivo") << 0 << true;
    QTest::newRow("a port that is no number is reported and left at 0")
        << QVariant(1) << QVariant(QStringLiteral("porta")) << QStringLiteral("Automatico") << 0 << true;
    QTest::newRow("a port beyond 32 bits is reported and left at 0")
        << QVariant(1) << QVariant(qint64(1) << 40) << QStringLiteral("Automatico") << 0 << true;
}

void TestStartupSequence::readsModeAndPort()
{
    QFETCH(QVariant, modoClient);
    QFETCH(QVariant, rhPort);
    QFETCH(QString, mode);
    QFETCH(qint32, port);
    QFETCH(bool, portUnusable);

    QVERIFY(test::createStartupArchive(archive(), StartupDatabase::WithConfigurazione, modoClient, rhPort));
    QVERIFY(test::writeStartupSettings(settingsPath(), archive(), QStringLiteral("A"), QStringLiteral("B"),
                                       QStringLiteral("N")));
    SettingsRecord record;
    const StartupReport report = runStartup(environment(), record);
    QCOMPARE(report.stop, StartupReport::Stop::Completed);
    QCOMPARE(report.mode, mode);
    QCOMPARE(record.portaServer, port);
    QCOMPARE(report.portUnusable, portUnusable);
    if (portUnusable) {
        QVERIFY(report.error);
        QCOMPARE(report.error->message, QStringLiteral("Porta del Server non valida in Configurazione !"));
    }
    // A port it could not use does not keep the later steps from running.
    QVERIFY(report.archiveFolderShown);
    QCOMPARE(record.ipLocale, QStringLiteral("10.1.2.3"));
}

void TestStartupSequence::asksForTheSecondScreenOnlyForCapitalS_data()
{
    QTest::addColumn<QString>("secondoSchermo");
    QTest::addColumn<bool>("shown");
    QTest::newRow("S shows it") << QStringLiteral("S") << true;
    QTest::newRow("s does not") << QStringLiteral("s") << false;
    QTest::newRow("N does not") << QStringLiteral("N") << false;
    QTest::newRow("S with a blank does not") << QStringLiteral("S ") << false;
}

void TestStartupSequence::asksForTheSecondScreenOnlyForCapitalS()
{
    QFETCH(QString, secondoSchermo);
    QFETCH(bool, shown);
    QVERIFY(test::createStartupArchive(archive(), StartupDatabase::WithConfigurazione));
    QVERIFY(test::writeStartupSettings(settingsPath(), archive(), QStringLiteral("A"), QStringLiteral("B"),
                                       secondoSchermo));
    SettingsRecord record;
    const StartupReport report = runStartup(environment(), record);
    QCOMPARE(report.showSecondScreen, shown);
    QCOMPARE(record.secondoSchermo, secondoSchermo);
}

void TestStartupSequence::joinsTheFolderAndTheFileNamePlainly()
{
    QVERIFY(test::createStartupArchive(archive(), StartupDatabase::WithConfigurazione));
    const QString withSeparator = archive() + QDir::separator();
    QVERIFY(test::writeStartupSettings(settingsPath(), withSeparator, QStringLiteral("A"), QStringLiteral("B"),
                                       QStringLiteral("N")));
    SettingsRecord record;
    const StartupReport report = runStartup(environment(), record);
    QCOMPARE(report.stop, StartupReport::Stop::Completed);
    QCOMPARE(record.percorsoServer, withSeparator);  // kept as written
}

void TestStartupSequence::takesTheAddressFromTheEnvironment()
{
    QVERIFY(test::createStartupArchive(archive(), StartupDatabase::WithConfigurazione));
    QVERIFY(test::writeStartupSettings(settingsPath(), archive(), QStringLiteral("A"), QStringLiteral("B"),
                                       QStringLiteral("N")));
    ClientEnvironment env = environment();
    int asked = 0;
    env.localAddress = [&asked] {
        ++asked;
        return QStringLiteral("172.16.0.4");
    };
    SettingsRecord record;
    QCOMPARE(runStartup(env, record).stop, StartupReport::Stop::Completed);
    QCOMPARE(asked, 1);
    QCOMPARE(record.ipLocale, QStringLiteral("172.16.0.4"));
}

void TestStartupSequence::portNumbers_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("expected");  // -1: none
    QTest::newRow("an integer") << QVariant(qint64(4000)) << 4000;
    QTest::newRow("text of digits") << QVariant(QStringLiteral("4000")) << 4000;
    QTest::newRow("text with blanks around") << QVariant(QStringLiteral(" 4000 ")) << 4000;
    QTest::newRow("a whole real") << QVariant(4000.0) << 4000;
    QTest::newRow("a fraction") << QVariant(4000.5) << -1;
    QTest::newRow("null") << QVariant() << -1;
    QTest::newRow("empty text") << QVariant(QString()) << -1;
    QTest::newRow("letters") << QVariant(QStringLiteral("abc")) << -1;
    QTest::newRow("more than 32 bits") << QVariant(qint64(5000000000)) << -1;
}

void TestStartupSequence::portNumbers()
{
    QFETCH(QVariant, value);
    QFETCH(int, expected);
    const std::optional<qint32> port = portNumber(value);
    if (expected < 0)
        QVERIFY(!port);
    else
        QCOMPARE(port, std::optional<qint32>(expected));
}

QTEST_GUILESS_MAIN(TestStartupSequence)
#include "tst_startupsequence.moc"

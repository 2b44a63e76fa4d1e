#include "settings/FrmServizi.h"
#include "settings/ImpoRete.h"
#include "settings/PercorsoRETESERVER.h"
#include "startup/ui/WindowRegistry.h"
#include "store/ArchiveBuilder.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

using namespace tq3;
using namespace Qt::StringLiterals;

// The pictures of the three settings windows for docs/, taken only when
// TQ3_SETTINGS_SHOTS names the folder to write them in
// (scripts/settings-screenshots.sh, on a virtual X server).
class TestSettingsScreenshots final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pictures();
};

void TestSettingsScreenshots::pictures()
{
    const QString shots = qEnvironmentVariable("TQ3_SETTINGS_SHOTS");
    if (shots.isEmpty())
        QSKIP("TQ3_SETTINGS_SHOTS not set");
    QTemporaryDir dir;
    // A relative folder whose name reads like a desk's network share, the
    // same on every run.
    QVERIFY(QDir::setCurrent(dir.path()));
    const QString archive = u"\\\\SRV-TURNI\\TQ3MAX"_s;
    QVERIFY(QDir().mkpath(archive));
    {
        auto builder = ArchiveBuilder::create(archive + u"/TQ3MAX.mdb"_s);
        QVERIFY(builder && (*builder)->setConfigurazione(2, 6001, u"192.168.10.5"_s, u"SRV-TURNI"_s));
        const QStringList services{u"Anagrafe"_s, u"Tributi"_s, u"Stato civile"_s, u"Elettorale"_s,
                                   u"Servizi sociali"_s, u"Protocollo"_s};
        for (int i = 0; i < services.size(); ++i)
            QVERIFY((*builder)->addService(i + 1, services.at(i), true, 0));
        for (int i : {0, 2})
            QVERIFY((*builder)->addDeskService(u"192.168.10.21"_s, i + 1, services.at(i), u"P01"_s));
    }
    ClientEnvironment environment;
    environment.settingsFilePath = dir.filePath(u"PercorsiClient.txt"_s);
    QFile settings(environment.settingsFilePath);
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("\"" + archive.toUtf8() + "\",\"Sportello 1\",\"192.168.10.5\",\"S\"\r\n");
    settings.close();
    WindowRegistry registry(environment);
    registry.record().percorsoServer = archive;
    registry.record().ipLocale = u"192.168.10.21"_s;

    auto &percorso = registry.window<PercorsoRETESERVER>();
    percorso.findChild<QLabel *>(u"txtshortcutdir"_s)->setText(archive);
    registry.window<FrmServizi>().setTitle(u"Postazione Sportello 1"_s);
    const QList<std::pair<Form *, QString>> windows{{&registry.window<ImpoRete>(), u"impostazioni"_s},
                                                    {&percorso, u"percorso"_s},
                                                    {&registry.window<FrmServizi>(), u"servizi"_s}};
    for (const auto &[form, name] : windows) {
        registry.showModeless(*form);
        QTest::qWait(300);
        QVERIFY(form->grab().save(QDir(shots).filePath(name + u".png"_s)));
        form->close();
    }
}

QTEST_MAIN(TestSettingsScreenshots)
#include "tst_settings_screenshots.moc"

#include "settings_ui_support.h"

#include "settings/FrmServizi.h"
#include "settings/ImpoRete.h"
#include "settings/PercorsoRETESERVER.h"
#include "startup/ui/WindowRegistry.h"
#include "store/ArchiveBuilder.h"

#include <QGroupBox>
#include <QLabel>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QtTest>

using namespace tq3;
using namespace tq3::test;

// Shows each settings window with sample data and checks that every caption
// fits its box in the font the desks get. With TQ3_SETTINGS_SHOTS naming a
// folder, the pictures of the three windows are saved there.
class TestSettingsScreenshots final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void windowsShowTheirSampleData_data();
    void windowsShowTheirSampleData();

private:
    Form &show(const QString &which);

    QTemporaryDir m_dir;
    QString m_archive;
    QString m_oldCurrent;
    std::unique_ptr<WindowRegistry> m_registry;
};

void TestSettingsScreenshots::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // A relative folder whose name reads like a desk's network share.
    m_oldCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    m_archive = QStringLiteral("\\\\SRV-TURNI\\TQ3MAX");
    QVERIFY(QDir().mkpath(m_archive));
    auto builder = ArchiveBuilder::create(m_archive + QStringLiteral("/TQ3MAX.mdb"));
    QVERIFY(builder);
    ArchiveBuilder &archive = **builder;
    QVERIFY(archive.setConfigurazione(2, 6001, QStringLiteral("192.168.10.5"), QStringLiteral("SRV-TURNI")));
    const QStringList services{QStringLiteral("Anagrafe"), QStringLiteral("Tributi"),
                               QStringLiteral("Stato civile"), QStringLiteral("Elettorale"),
                               QStringLiteral("Servizi sociali"), QStringLiteral("Protocollo")};
    for (int i = 0; i < services.size(); ++i)
        QVERIFY(archive.addService(i + 1, services.at(i), true, 0));
    QVERIFY(archive.addDeskService(QStringLiteral("192.168.10.21"), 1, services.at(0), QStringLiteral("P01")));
    QVERIFY(archive.addDeskService(QStringLiteral("192.168.10.21"), 3, services.at(2), QStringLiteral("P01")));
    builder = Error{ErrorKind::Io, {}, {}};  // closes the builder's connection

    ClientEnvironment environment;
    environment.settingsFilePath = m_dir.filePath(QStringLiteral("PercorsiClient.txt"));
    writeBytes(environment.settingsFilePath,
               QByteArray("\"") + m_archive.toUtf8() + "\",\"Sportello 1\",\"192.168.10.5\",\"S\"\r\n");
    m_registry = std::make_unique<WindowRegistry>(environment);
    m_registry->record().percorsoServer = m_archive;
    m_registry->record().ipLocale = QStringLiteral("192.168.10.21");
}

void TestSettingsScreenshots::cleanupTestCase()
{
    m_registry.reset();
    QDir::setCurrent(m_oldCurrent);
}

Form &TestSettingsScreenshots::show(const QString &which)
{
    Form *form = nullptr;
    if (which == QLatin1String("impostazioni")) {
        form = &m_registry->window<ImpoRete>();
    } else if (which == QLatin1String("percorso")) {
        auto &window = m_registry->window<PercorsoRETESERVER>();
        window.findChild<QLabel *>(QStringLiteral("txtshortcutdir"))->setText(QDir::toNativeSeparators(m_archive));
        form = &window;
    } else {
        auto &window = m_registry->window<FrmServizi>();
        window.setTitle(QStringLiteral("Postazione Sportello 1"));
        form = &window;
    }
    m_registry->showModeless(*form);
    if (!QTest::qWaitFor([&] { return m_registry->activeForm() == form; }))
        qWarning("the window never became active");
    return *form;
}

void TestSettingsScreenshots::windowsShowTheirSampleData_data()
{
    QTest::addColumn<QString>("which");
    QTest::newRow("client settings") << "impostazioni";
    QTest::newRow("archive path") << "percorso";
    QTest::newRow("desk services") << "servizi";
}

void TestSettingsScreenshots::windowsShowTheirSampleData()
{
    QFETCH(QString, which);
    Form &form = show(which);
    QTest::qWait(50);

    for (QLabel *label : form.findChildren<QLabel *>()) {
        if (label->wordWrap() || label->text().isEmpty() || !label->pixmap().isNull())
            continue;
        const int needed = label->fontMetrics().horizontalAdvance(label->text()) + label->indent();
        QVERIFY2(needed <= label->contentsRect().width(), qPrintable(label->objectName()));
    }
    for (QPushButton *button : form.findChildren<QPushButton *>()) {
        if (!form.isAncestorOf(button) || button->window() != &form)
            continue;
        const QString caption = QString(button->text()).remove(u'&');
        const int needed = button->fontMetrics().horizontalAdvance(caption) + 8;
        QVERIFY2(needed <= button->width(), qPrintable(button->objectName()));
    }
    for (QRadioButton *radio : form.findChildren<QRadioButton *>()) {
        const int needed = radio->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, radio)
            + radio->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, radio)
            + radio->fontMetrics().horizontalAdvance(radio->text());
        QVERIFY2(needed <= radio->width(), qPrintable(radio->objectName()));
    }
    for (QGroupBox *group : form.findChildren<QGroupBox *>()) {
        const int needed = group->fontMetrics().horizontalAdvance(group->title()) + 16;
        QVERIFY2(needed <= group->width(), qPrintable(group->objectName()));
    }

    const QPixmap picture = form.grab();
    QVERIFY(!picture.isNull());
    const QString folder = QProcessEnvironment::systemEnvironment().value(QStringLiteral("TQ3_SETTINGS_SHOTS"));
    if (!folder.isEmpty())
        QVERIFY(picture.save(QDir(folder).filePath(which + QStringLiteral(".png"))));
    form.close();
}

QTEST_MAIN(TestSettingsScreenshots)
#include "tst_settings_screenshots.moc"

#include "gui/launcher/LaMain.h"

#include "core/Version.h"
#include "gui/consoles/Form1.h"
#include "gui/consoles/Form11.h"
#include "gui/settings/FrmServizi.h"
#include "gui/settings/ImpoRete.h"
#include "gui/settings/PercorsoRETESERVER.h"
#include "core/startup/StartupSequence.h"
#include "gui/launcher/LauncherPictures.h"
#include "gui/kit/Controls.h"
#include "gui/kit/Look.h"
#include "gui/kit/MessageBox.h"
#include "gui/kit/Twips.h"
#include "gui/kit/WindowRegistry.h"
#include "gui/windows/LoSchermo2.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace tq3 {

namespace {

constexpr int kClientWidth = 6885;
constexpr int kClientHeight = 5895;
constexpr int kOutOfViewLeft = -140000;

const QString kMessageTitle = QStringLiteral("TQ3MAX-Messaggio");
const QString kNotFoundText = QStringLiteral("Percorso Server non impostato o Server non raggiungibile !");

// A shown field: white, with a thin frame, and not for typing.
const QString kShownFieldStyle =
    QStringLiteral("QLineEdit { border: 1px solid #a7b4c2; background: white; padding: 0 2px; }");

} // namespace

LaMain::LaMain(WindowRegistry &registry, State &state)
    : Form(registry)
    , m_state(state)
{
    // Each load shows the design contents; start-up fills them once a run.
    m_state.shown = {};
    setWindowTitle(QStringLiteral("TQ3 MAX - Modulo Client versione ") + QLatin1String(kVersion));
    // A single fixed border with the close box only, in the task bar.
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                   | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(pictures::clientIcon());
    setClientSizeTwips(kClientWidth, kClientHeight);
    setFont(look::tahoma(8.25));
    kit::setColours(this, QColor(), Qt::white);

    auto *image1 = kit::control<QLabel>(this, QStringLiteral("Image1"), {600, -600, 5775, 4710});
    image1->setPixmap(pictures::launcherBackground(image1->size()));
    auto *image2 = kit::control<QLabel>(this, QStringLiteral("Image2"), {1560, 120, 2340, 1335});
    image2->setPixmap(pictures::launcherLogo(image2->size()));
    kit::control<QLabel>(this, QStringLiteral("Label3_1"), {3840, 280, 495, 255}, QStringLiteral("MAX"))
        ->setFont(look::tahoma(8.25, true));
    kit::control<QLabel>(this, QStringLiteral("Label3_0"), {3120, 765, 1455, 255}, QStringLiteral("modulo Client"))
        ->setFont(look::tahoma(8.25, true));

    auto *groupBox1 = kit::control<QGroupBox>(this, QStringLiteral("GroupBox1"), {120, 3960, 4455, 1815});
    kit::control<QLabel>(groupBox1, QStringLiteral("Label1"), {120, 240, 1095, 255}, QStringLiteral("Postazione"))
        ->setFont(look::tahoma(9.75));
    m_a1[0] = kit::control<QLineEdit>(groupBox1, QStringLiteral("A1_0"), {1320, 240, 1695, 285});
    kit::control<QLabel>(groupBox1, QStringLiteral("Label2_2"), {120, 600, 1215, 255}, QStringLiteral("IP Client"));
    m_ipClient = kit::control<QLineEdit>(groupBox1, QStringLiteral("IPClient"), {1320, 600, 1695, 255});
    kit::control<QLabel>(groupBox1, QStringLiteral("Label2_0"), {120, 900, 1215, 255}, QStringLiteral("Modo Client"))
        ->setFont(look::tahoma(9.75));
    m_a1[1] = kit::control<QLineEdit>(groupBox1, QStringLiteral("A1_1"), {1320, 920, 1695, 285});
    kit::control<QLabel>(groupBox1, QStringLiteral("Label2_1"), {120, 1200, 1935, 255},
                         QStringLiteral("Percorso Server TQ3 :"))
        ->setFont(look::tahoma(9.75));
    m_a1[2] = kit::control<QLineEdit>(groupBox1, QStringLiteral("A1_2"), {120, 1440, 4215, 285});
    // They show what start-up found; nothing typed here would count.
    for (QLineEdit *shown : {m_a1[0], m_a1[1], m_a1[2], m_ipClient}) {
        shown->setReadOnly(true);
        shown->setStyleSheet(kShownFieldStyle);
    }

    auto *groupBox2 = kit::control<QGroupBox>(this, QStringLiteral("GroupBox2"), {4680, 4200, 2055, 1575});
    auto *pushButton1 = kit::control<QPushButton>(groupBox2, QStringLiteral("PushButton1"), {120, 160, 1815, 300},
                                                  QStringLiteral("Impostazioni"));
    auto *gesServizi = kit::control<QPushButton>(groupBox2, QStringLiteral("GesServizi"), {120, 480, 1815, 300},
                                                 QStringLiteral("Servizi"));
    m_schermo2 = kit::control<QCheckBox>(groupBox2, QStringLiteral("schermo2"), {120, 900, 1815, 255},
                                         QStringLiteral(" 2° schermo attivo"));
    auto *ok = kit::control<QPushButton>(groupBox2, QStringLiteral("btn_0"), {120, 1200, 855, 300},
                                         QStringLiteral("&Ok"));
    auto *chiudi = kit::control<QPushButton>(groupBox2, QStringLiteral("btn_1"), {960, 1200, 975, 300},
                                             QStringLiteral("C&hiudi"));
    kit::noAutoDefault(this);

    connect(ok, &QPushButton::clicked, this, &LaMain::openConsole);
    connect(chiudi, &QPushButton::clicked, this, &LaMain::close);
    connect(pushButton1, &QPushButton::clicked, this, &LaMain::openSettings);
    connect(gesServizi, &QPushButton::clicked, this, &LaMain::openServices);
    // Clicks only: the settings window's save sets the box without this.
    connect(m_schermo2, &QCheckBox::clicked, this, &LaMain::switchSecondScreen);

    centreOnScreen();
}

void LaMain::load()
{
    if (m_state.startupRan)
        return;
    m_state.startupRan = true;
    m_state.launch = startUp();
}

LaMain::Launch LaMain::startUp()
{
    // A missing settings file or database sends the operator to the path
    // window; its save rewrites the settings file, so start-up then begins
    // again from reading it. Still missing after that: the program ends.
    for (int attempt = 0;; ++attempt) {
        const StartupReport report = runStartup(registry().environment(), registry().record());
        showReport(report);
        switch (report.stop) {
        case StartupReport::Stop::NotFound:
            showMessageBox(nullptr, kNotFoundText, kMessageTitle, BoxIcon::Information, report.error);
            if (attempt > 0)
                return Launch::EndProgram;
            registry().showModal(registry().window<PercorsoRETESERVER>());
            continue;
        case StartupReport::Stop::SettingsUnusable:
        case StartupReport::Stop::DatabaseUnusable:
        case StartupReport::Stop::NoConfiguration:
            // The launcher still opens, with what was found so far.
            showMessageBox(nullptr, report.error->message, kMessageTitle, BoxIcon::Stop, report.error);
            return Launch::Show;
        case StartupReport::Stop::Completed:
            break;
        }
        if (report.portUnusable)
            showMessageBox(nullptr, report.error->message, kMessageTitle, BoxIcon::Stop, report.error);
        if (report.showSecondScreen)
            registry().showModeless(registry().window<LoSchermo2>());
        return Launch::Show;
    }
}

void LaMain::showReport(const StartupReport &report)
{
    const SettingsRecord &record = registry().record();
    Shown &shown = m_state.shown;
    shown = {};
    if (report.settingsRead) {
        shown.deskName = record.nomePostazione;
        shown.secondScreenBox = record.secondoSchermo == QStringLiteral("S");
    }
    shown.mode = report.mode;
    m_a1[0]->setText(shown.deskName);
    m_a1[1]->setText(shown.mode);
    m_a1[2]->setText(report.archiveFolderShown ? record.percorsoServer : QString());
    m_ipClient->setText(report.addressTaken ? record.ipLocale : QString());
    m_schermo2->setChecked(shown.secondScreenBox);
}

void LaMain::setSecondScreenBox(bool ticked)
{
    m_state.shown.secondScreenBox = ticked;
    m_schermo2->setChecked(ticked);
}

void LaMain::centreOnScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize outer = frameGeometry().size();
    move(area.left() + (area.width() - outer.width()) / 2, area.top() + (area.height() - outer.height()) / 2);
}

void LaMain::moveOutOfView()
{
    move(twips::toPixelsX(kOutOfViewLeft), y());
}

void LaMain::openConsole()
{
    registry().close<ImpoRete>();
    const QString mode = m_state.shown.mode;
    if (mode != kModeAutomatico && mode != kModeSelettivo)
        return;

    moveOutOfView();
    if (m_state.shown.secondScreenBox)
        registry().record().secondoSchermoAttivo = true;
    if (mode == kModeAutomatico)
        registry().showModal(registry().window<Form11>());
    else
        registry().showModal(registry().window<Form1>());
    // The console centres the launcher as it closes; should it have failed
    // to, the launcher must not stay out of reach.
    if (x() < 0 && x() + frameGeometry().width() <= 0)
        centreOnScreen();
}

void LaMain::openSettings()
{
    registry().showModeless(registry().window<ImpoRete>());
}

void LaMain::openServices()
{
    registry().close<ImpoRete>();
    FrmServizi &services = registry().window<FrmServizi>();
    services.setTitle(QStringLiteral("Postazione ") + m_state.shown.deskName);
    registry().showModal(services);
}

void LaMain::switchSecondScreen(bool ticked)
{
    m_state.shown.secondScreenBox = ticked;
    if (ticked)
        registry().showModeless(registry().window<LoSchermo2>());
    else
        registry().close<LoSchermo2>();
}

void LaMain::closeEvent(QCloseEvent *event)
{
    registry().close<LoSchermo2>();
    Form::closeEvent(event);
}

} // namespace tq3

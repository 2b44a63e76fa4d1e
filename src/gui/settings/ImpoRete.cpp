#include "gui/settings/ImpoRete.h"

#include "gui/settings/PercorsoRETESERVER.h"
#include "gui/settings/SettingsDialog.h"
#include "gui/launcher/LaMain.h"
#include "gui/kit/Controls.h"
#include "gui/kit/WindowRegistry.h"
#include "core/store/QueueDatabase.h"
#include "core/store/SettingsFile.h"
#include "gui/windows/MsgForm.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <utility>

namespace tq3 {

namespace {

const QString kNotChosen = QStringLiteral("da definire");
// The consoles spell it with a lower-case extension; the database finds
// either on every file system.
const QString kDatabaseUpperCase = QStringLiteral("TQ3MAX.MDB");

} // namespace

ImpoRete::ImpoRete(WindowRegistry &registry, State &state)
    : Form(registry)
    , m_state(state)
{
    // Server 1's fields start empty at each load.
    m_state.server1Address.clear();
    setWindowTitle(QStringLiteral("Impostazioni Client"));
    settingsui::setUpDialog(*this, 7575, 3045);

    auto *server1 = kit::control<QGroupBox>(this, QStringLiteral("GroupBox2"), {120, 120, 3615, 975},
                                            QStringLiteral("Server 1"));
    kit::control<QLabel>(server1, QStringLiteral("Label1_0"), {120, 240, 1395, 255}, QStringLiteral("IP :"));
    m_ipS1 = kit::control<QLineEdit>(server1, QStringLiteral("IpS1"), {960, 240, 1695, 285});
    m_laPorta = kit::control<QLineEdit>(server1, QStringLiteral("LaPorta"), {2640, 240, 855, 285});
    kit::control<QLabel>(server1, QStringLiteral("Label1_2"), {120, 600, 675, 255}, QStringLiteral("Nome :"));
    m_nomeS1 = kit::control<QLineEdit>(server1, QStringLiteral("NomeS1"), {960, 600, 2535, 285});

    kit::control<QLabel>(this, QStringLiteral("Label2"), {240, 1320, 2415, 255}, QStringLiteral("Percorso Server 1"));
    m_pr = kit::control<QLineEdit>(this, QStringLiteral("PR"), {240, 1560, 3495, 285});

    auto *desk = kit::control<QGroupBox>(this, QStringLiteral("GroupBox3"), {120, 2160, 3975, 735},
                                         QStringLiteral("Nome Postazione"));
    m_nomeSportello = kit::control<QLineEdit>(desk, QStringLiteral("nomeSportello"), {120, 360, 3615, 285});

    auto *serverToUse = kit::control<QGroupBox>(this, QStringLiteral("GB3"), {3840, 120, 3615, 1770},
                                                QStringLiteral("Server da Utilizzare"));
    auto *modifyPath = kit::control<QPushButton>(serverToUse, QStringLiteral("ModifyPath"), {120, 360, 1935, 330},
                                                 QStringLiteral("Modifica percorso Server"));
    auto *useServer1Button = kit::control<QPushButton>(serverToUse, QStringLiteral("PushButton1"),
                                                       {2040, 360, 1455, 330}, QStringLiteral("Utilizza Server 1"));
    auto *inner = kit::control<QGroupBox>(serverToUse, QStringLiteral("GB4"), {120, 780, 3375, 855});
    kit::control<QLabel>(inner, QStringLiteral("Label1_3"), {120, 195, 1275, 255}, QStringLiteral("IP Server  :"));
    m_serverAlternativo = kit::control<QLineEdit>(inner, QStringLiteral("ServerAlternativo"), {1080, 480, 2175, 285});

    auto *secondScreen = kit::control<QGroupBox>(this, QStringLiteral("GroupBox4"), {4200, 2160, 1575, 735},
                                                 QStringLiteral("2° schermo"));
    m_rbSi = kit::control<QRadioButton>(secondScreen, QStringLiteral("rb_0"), {120, 360, 615, 255},
                                        QStringLiteral(" Sì "));
    m_rbNo = kit::control<QRadioButton>(secondScreen, QStringLiteral("rb_1"), {840, 360, 615, 255},
                                        QStringLiteral(" No"));

    auto *saveButton = kit::control<QPushButton>(this, QStringLiteral("cbt_2"), {6000, 2520, 735, 330},
                                                 QStringLiteral("&Salva"));
    auto *closeButton = kit::control<QPushButton>(this, QStringLiteral("cbt_0"), {6720, 2520, 735, 330},
                                                  QStringLiteral("C&hiudi"));
    settingsui::styleControls(*this);

    connect(saveButton, &QPushButton::clicked, this, &ImpoRete::save);
    connect(closeButton, &QPushButton::clicked, this, &ImpoRete::close);
    connect(useServer1Button, &QPushButton::clicked, this, &ImpoRete::useServer1);
    connect(modifyPath, &QPushButton::clicked, this, &ImpoRete::changeFolder);
}

void ImpoRete::activated()
{
    // An unreadable settings file leaves every field as it stands.
    Result<SettingsFile> file = SettingsFile::load(registry().environment().settingsFilePath);
    if (!file)
        return;
    SettingsRecord &record = registry().record();
    // Field 1 is this window's own copy: the record's archive folder waits
    // for the next start or console load.
    m_state.percorso = std::exchange(file->percorsoServer, record.percorsoServer);
    record.takeFromFile(*file);
    m_pr->setText(m_state.percorso);

    if (m_state.percorso != kNotChosen)
        showServer1(m_state.percorso);

    m_nomeSportello->setText(record.nomePostazione);
    m_serverAlternativo->setText(record.ipServer);
    if (record.secondoSchermo == QLatin1String("S"))
        m_rbSi->setChecked(true);
    else
        m_rbNo->setChecked(true);
}

void ImpoRete::showServer1(const QString &archiveFolder)
{
    // The Server 1 data are shown for reference only: an archive that cannot
    // be read shows them empty, quietly, since a message here would reactivate
    // this window and reload it again.
    m_state.server1Address.clear();
    m_ipS1->clear();
    m_nomeS1->clear();
    m_laPorta->clear();
    Result<std::unique_ptr<QueueDatabase>> database =
        QueueDatabase::open(archiveFolder, kDatabaseUpperCase);
    if (!database)
        return;
    Result<Configurazione> configurazione = (*database)->configurazione();
    if (!configurazione)
        return;
    m_state.server1Address = configurazione->ipServer.value_or(QStringLiteral("0.0.0.0"));
    m_ipS1->setText(m_state.server1Address);
    m_nomeS1->setText(configurazione->serverName.value_or(QString()));
    m_laPorta->setText(configurazione->rhPort.toString());
}

bool ImpoRete::refuseUnstorable(const QString &value, const QString &what)
{
    const Result<void> storable = SettingsFile::checkStorable(value);
    if (storable)
        return false;
    MsgForm::MostraMessaggio(registry(), what, storable.error().message, storable.error());
    return true;
}

void ImpoRete::save()
{
    const QString name = m_nomeSportello->text();
    const QString address = m_serverAlternativo->text();
    if (name.isEmpty()) {
        MsgForm::MostraMessaggio(registry(), QStringLiteral("Inserire Nome Postazione "));
        return;
    }
    if (address.isEmpty()) {
        MsgForm::MostraMessaggio(registry(), QStringLiteral("Inserire IP Server "));
        return;
    }
    if (refuseUnstorable(name, QStringLiteral("Nome Postazione non valido !"))
        || refuseUnstorable(address, QStringLiteral("IP Server non valido !")))
        return;

    const QString secondoSchermo = m_rbSi->isChecked() ? QStringLiteral("S") : QStringLiteral("N");
    const SettingsFile file{m_state.percorso, name, address, secondoSchermo};
    const Result<void> saved = file.save(registry().environment().settingsFilePath);
    if (!saved) {
        MsgForm::MostraMessaggio(registry(), QStringLiteral("Impostazioni non salvate !"),
                                 saved.error().message, saved.error());
        return;
    }
    registry().record().secondoSchermo = secondoSchermo;
    if (LaMain *launcher = registry().loaded<LaMain>())
        launcher->setSecondScreenBox(secondoSchermo == QLatin1String("S"));
}

void ImpoRete::useServer1()
{
    m_serverAlternativo->setText(m_state.server1Address);
}

void ImpoRete::changeFolder()
{
    // Closing the path window activates this one again, which shows the
    // folder just saved.
    registry().showModal(registry().window<PercorsoRETESERVER>());
}

} // namespace tq3

#include "gui/settings/ImpoRete.h"

#include "gui/settings/PercorsoRETESERVER.h"
#include "gui/settings/SettingsControls.h"
#include "gui/launcher/LaMain.h"
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
    using namespace settingsui;
    setWindowTitle(QStringLiteral("Impostazioni Client"));
    setUpDialog(*this, 7575, 3045);

    QGroupBox *server1 = groupBox(this, QStringLiteral("GroupBox2"), QStringLiteral("Server 1"),
                                  120, 120, 3615, 975);
    label(server1, QStringLiteral("Label1_0"), QStringLiteral("IP :"), 120, 240, 1395, 255);
    m_ipS1 = textField(server1, QStringLiteral("IpS1"), 960, 240, 1695, 285);
    m_laPorta = textField(server1, QStringLiteral("LaPorta"), 2640, 240, 855, 285);
    label(server1, QStringLiteral("Label1_2"), QStringLiteral("Nome :"), 120, 600, 675, 255);
    m_nomeS1 = textField(server1, QStringLiteral("NomeS1"), 960, 600, 2535, 285);

    label(this, QStringLiteral("Label2"), QStringLiteral("Percorso Server 1"), 240, 1320, 2415,
          255);
    m_pr = textField(this, QStringLiteral("PR"), 240, 1560, 3495, 285);

    QGroupBox *desk = groupBox(this, QStringLiteral("GroupBox3"),
                               QStringLiteral("Nome Postazione"), 120, 2160, 3975, 735);
    m_nomeSportello = textField(desk, QStringLiteral("nomeSportello"), 120, 360, 3615, 285);

    QGroupBox *serverToUse = groupBox(this, QStringLiteral("GB3"),
                                      QStringLiteral("Server da Utilizzare"), 3840, 120, 3615, 1770);
    QPushButton *modifyPath = button(serverToUse, QStringLiteral("ModifyPath"),
                                     QStringLiteral("Modifica percorso Server"), 120, 360, 1935, 330);
    QPushButton *useServer1Button = button(serverToUse, QStringLiteral("PushButton1"),
                                           QStringLiteral("Utilizza Server 1"), 2040, 360, 1455, 330);
    QGroupBox *inner = groupBox(serverToUse, QStringLiteral("GB4"), QString(), 120, 780, 3375, 855);
    label(inner, QStringLiteral("Label1_3"), QStringLiteral("IP Server  :"), 120, 195, 1275, 255);
    m_serverAlternativo = textField(inner, QStringLiteral("ServerAlternativo"), 1080, 480, 2175,
                                    285);

    QGroupBox *secondScreen = groupBox(this, QStringLiteral("GroupBox4"),
                                       QStringLiteral("2° schermo"), 4200, 2160, 1575, 735);
    m_rbSi = radioButton(secondScreen, QStringLiteral("rb_0"), QStringLiteral(" Sì "), 120, 360,
                         615, 255);
    m_rbNo = radioButton(secondScreen, QStringLiteral("rb_1"), QStringLiteral(" No"), 840, 360,
                         615, 255);

    QPushButton *saveButton = button(this, QStringLiteral("cbt_2"), QStringLiteral("&Salva"), 6000,
                                     2520, 735, 330);
    QPushButton *closeButton = button(this, QStringLiteral("cbt_0"), QStringLiteral("C&hiudi"),
                                      6720, 2520, 735, 330);

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
    MsgForm::MostraMessaggio(registry(), what, storable.error().message);
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
                                 saved.error().message);
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

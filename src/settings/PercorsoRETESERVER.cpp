#include "settings/PercorsoRETESERVER.h"

#include "settings/SettingsControls.h"
#include "startup/ui/WindowRegistry.h"
#include "store/SettingsFile.h"
#include "windows/MsgForm.h"

#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace tq3 {

namespace {

const QString kNotChosen = QStringLiteral("da definire");

} // namespace

PercorsoRETESERVER::PercorsoRETESERVER(WindowRegistry &registry, State &state)
    : Form(registry)
    , m_state(state)
{
    using namespace settingsui;
    setWindowTitle(QStringLiteral("Imposta Percorso Server 1"));
    setUpDialog(*this, 4515, 3810);

    QGroupBox *frame = groupBox(this, QStringLiteral("GroupBox1"),
                                QStringLiteral("Percorso Archivio su Server1"), 120, 120, 4335, 3615);
    QLabel *image = label(frame, QStringLiteral("Image1"), QString(), 1800, 240, 1935, 1560);
    image->setScaledContents(true);
    image->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(128, 128));

    label(frame, QStringLiteral("Label1_1"), QStringLiteral("Percorso archivi"), 120, 1680, 1395,
          255);
    m_txtshortcutdir = label(frame, QStringLiteral("txtshortcutdir"), kNotChosen, 120, 1920, 4095,
                             975);
    m_txtshortcutdir->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_txtshortcutdir->setWordWrap(true);

    QPushButton *choose = button(frame, QStringLiteral("cbt_1"),
                                 QStringLiteral("&Impostazione percorso Server"), 600, 3120, 2535, 330);
    QPushButton *saveButton = button(frame, QStringLiteral("cbt_0"), QStringLiteral("&Salva"), 3120,
                                     3120, 975, 330);

    connect(choose, &QPushButton::clicked, this, &PercorsoRETESERVER::chooseFolder);
    connect(saveButton, &QPushButton::clicked, this, &PercorsoRETESERVER::save);
}

void PercorsoRETESERVER::chooseFolder()
{
    // Qt's own chooser, so that it looks and behaves the same on every desk.
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Selezionare la cartella"), QString(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (!folder.isEmpty())
        m_txtshortcutdir->setText(QDir::toNativeSeparators(folder));
}

void PercorsoRETESERVER::save()
{
    if (m_txtshortcutdir->text() == kNotChosen) {
        MsgForm::MostraMessaggio(registry(),
                                 QStringLiteral("Selezionare un Percorso per gli archivi !"));
        return;
    }
    const QString folder = m_txtshortcutdir->text();
    if (const Result<void> storable = SettingsFile::checkStorable(folder); !storable) {
        MsgForm::MostraMessaggio(registry(), QStringLiteral("Percorso non valido !"),
                                 storable.error().message);
        return;
    }

    const QString &path = registry().environment().settingsFilePath;
    SettingsFile file;
    Result<SettingsFile> current = SettingsFile::load(path);
    if (current) {
        file = *current;
    } else if (current.error().kind != ErrorKind::NotFound
               && current.error().kind != ErrorKind::TooFewFields) {
        // A file that exists but cannot be read may hold a good desk name:
        // overwriting it would lose fields 2 to 4.
        MsgForm::MostraMessaggio(registry(), QStringLiteral("Percorso non salvato !"),
                                 current.error().message);
        return;
    }
    // With no usable file, fields 2 to 4 stay empty for the client settings
    // window to complete.
    file.percorsoServer = folder;
    if (const Result<void> saved = file.save(path); !saved) {
        MsgForm::MostraMessaggio(registry(), QStringLiteral("Percorso non salvato !"),
                                 saved.error().message);
        return;
    }
    m_state.folder = folder;
    MsgForm::MostraMessaggio(registry(),
                             QStringLiteral("Percorso /postazione impostate correttamente !"),
                             QStringLiteral("Riavviare modulo Client Turnalia 3 MAX !"));
    close();
}

} // namespace tq3

#include "gui/settings/PercorsoRETESERVER.h"

#include "gui/settings/SettingsDialog.h"
#include "gui/kit/Controls.h"
#include "gui/kit/WindowRegistry.h"
#include "core/store/SettingsFile.h"
#include "gui/windows/MsgForm.h"

#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace tq3 {

namespace {

const QString kNotChosen = QStringLiteral("da definire");

// The window's decoration: a folder in front of a server cabinet.
QPixmap archivePicture(QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size.width();
    const qreal h = size.height();

    const QRectF cabinet(w * 0.42, h * 0.06, w * 0.46, h * 0.78);
    QLinearGradient metal(cabinet.topLeft(), cabinet.topRight());
    metal.setColorAt(0.0, QColor(0x5a, 0x6b, 0x7d));
    metal.setColorAt(1.0, QColor(0x33, 0x40, 0x4f));
    p.setPen(Qt::NoPen);
    p.setBrush(metal);
    p.drawRoundedRect(cabinet, 5, 5);
    for (int slot = 0; slot < 4; ++slot) {
        const QRectF bay(cabinet.left() + cabinet.width() * 0.1,
                         cabinet.top() + cabinet.height() * (0.08 + slot * 0.2),
                         cabinet.width() * 0.8, cabinet.height() * 0.13);
        p.setBrush(QColor(0x22, 0x2c, 0x37));
        p.drawRoundedRect(bay, 2, 2);
        p.setBrush(slot == 0 ? QColor(0x5c, 0xd6, 0x5c) : QColor(0x4d, 0xa3, 0xff));
        p.drawEllipse(QPointF(bay.right() - bay.height() * 0.6, bay.center().y()),
                      bay.height() * 0.22, bay.height() * 0.22);
    }

    const QRectF folder(w * 0.08, h * 0.38, w * 0.56, h * 0.52);
    QPainterPath tab;
    tab.addRoundedRect(QRectF(folder.left(), folder.top() - folder.height() * 0.14,
                              folder.width() * 0.42, folder.height() * 0.3), 4, 4);
    p.setBrush(QColor(0xd9, 0x9a, 0x1e));
    p.drawPath(tab);
    QLinearGradient paper(folder.topLeft(), folder.bottomLeft());
    paper.setColorAt(0.0, QColor(0xff, 0xd3, 0x6b));
    paper.setColorAt(1.0, QColor(0xf0, 0xa8, 0x2a));
    p.setBrush(paper);
    p.drawRoundedRect(folder, 4, 4);
    p.setPen(QPen(QColor(0x2b, 0x5f, 0x9e), qMax(2.0, w * 0.025)));
    p.drawLine(QPointF(folder.right() - 2, folder.center().y()),
               QPointF(cabinet.left() + cabinet.width() * 0.5, folder.center().y()));
    return pixmap;
}

} // namespace

PercorsoRETESERVER::PercorsoRETESERVER(WindowRegistry &registry, State &state)
    : Form(registry)
    , m_state(state)
{
    // Each showing starts with no folder chosen, whatever the settings file holds.
    m_state.folder.clear();
    setWindowTitle(QStringLiteral("Imposta Percorso Server 1"));
    settingsui::setUpDialog(*this, 4515, 3810);

    auto *frame = kit::control<QGroupBox>(this, QStringLiteral("GroupBox1"), {120, 120, 4335, 3615},
                                          QStringLiteral("Percorso Archivio su Server1"));
    auto *image = kit::control<QLabel>(frame, QStringLiteral("Image1"), {1800, 240, 1935, 1560});
    image->setScaledContents(true);
    image->setPixmap(archivePicture(image->size()));

    kit::control<QLabel>(frame, QStringLiteral("Label1_1"), {120, 1680, 1395, 255}, QStringLiteral("Percorso archivi"));
    m_txtshortcutdir =
        kit::control<QLabel>(frame, QStringLiteral("txtshortcutdir"), {120, 1920, 4095, 975}, kNotChosen);
    m_txtshortcutdir->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_txtshortcutdir->setWordWrap(true);

    auto *choose = kit::control<QPushButton>(frame, QStringLiteral("cbt_1"), {600, 3120, 2535, 330},
                                             QStringLiteral("&Impostazione percorso Server"));
    auto *saveButton = kit::control<QPushButton>(frame, QStringLiteral("cbt_0"), {3120, 3120, 975, 330},
                                                 QStringLiteral("&Salva"));
    settingsui::styleControls(*this);

    connect(choose, &QPushButton::clicked, this, &PercorsoRETESERVER::chooseFolder);
    connect(saveButton, &QPushButton::clicked, this, &PercorsoRETESERVER::save);
}

void PercorsoRETESERVER::chooseFolder()
{
    // Qt's own chooser, so that it looks and behaves the same on every desk.
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Selezionare la cartella"), QString(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (folder.isEmpty())
        return;
    m_state.folder = QDir::toNativeSeparators(folder);
    m_txtshortcutdir->setText(m_state.folder);
}

void PercorsoRETESERVER::save()
{
    const QString folder = m_state.folder;
    if (folder.isEmpty()) {
        MsgForm::MostraMessaggio(registry(),
                                 QStringLiteral("Selezionare un Percorso per gli archivi !"));
        return;
    }
    if (const Result<void> storable = SettingsFile::checkStorable(folder); !storable) {
        MsgForm::MostraMessaggio(registry(), QStringLiteral("Percorso non valido !"),
                                 storable.error().message, storable.error());
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
                                 current.error().message, current.error());
        return;
    }
    // With no usable file, fields 2 to 4 stay empty for the client settings
    // window to complete.
    file.percorsoServer = folder;
    if (const Result<void> saved = file.save(path); !saved) {
        MsgForm::MostraMessaggio(registry(), QStringLiteral("Percorso non salvato !"),
                                 saved.error().message, saved.error());
        return;
    }
    MsgForm::MostraMessaggio(registry(),
                             QStringLiteral("Percorso /postazione impostate correttamente !"),
                             QStringLiteral("Riavviare modulo Client Turnalia 3 MAX !"));
    close();
}

} // namespace tq3

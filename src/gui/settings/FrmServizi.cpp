#include "gui/settings/FrmServizi.h"

#include "gui/settings/SettingsDialog.h"
#include "gui/kit/Controls.h"
#include "gui/kit/Look.h"
#include "gui/kit/Twips.h"
#include "gui/kit/WindowRegistry.h"
#include "core/store/QueueDatabase.h"
#include "gui/windows/MsgForm.h"

#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>

namespace tq3 {

namespace {

// The row's key in ServiziPostazioni, kept on the first column.
constexpr int kKeyRole = Qt::UserRole + 1;

struct Column final {
    QString heading;
    int widthTwips;
};

// A list of whole rows, one selected at a time, its columns as wide as given.
void showColumns(QTableView *view, QStandardItemModel *model, const QList<Column> &columns)
{
    QStringList headings;
    for (const Column &column : columns)
        headings << column.heading;
    model->setColumnCount(static_cast<int>(columns.size()));
    model->setHorizontalHeaderLabels(headings);
    view->setModel(model);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(twips::toPixelsY(255));
    view->horizontalHeader()->setHighlightSections(false);
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int i = 0; i < columns.size(); ++i)
        view->horizontalHeader()->resizeSection(i, twips::toPixelsX(columns.at(i).widthTwips));
}

// A list's heading on a strip of its own.
QFrame *heading(QWidget *window, const QString &stripName, const kit::Twips &at, const QString &name,
                const QString &text)
{
    auto *strip = kit::control<QFrame>(window, stripName, at);
    strip->setFrameShape(QFrame::StyledPanel);
    kit::setColours(strip, QColor(), look::fromBgr(0x00E8E0D8));
    kit::control<QLabel>(strip, name, {0, 0, at.width, at.height}, text)->setIndent(twips::toPixelsX(90));
    return strip;
}

// Keeps the current row on the given row, or on the first one.
void selectRow(QTableView *view, int row)
{
    const int rows = view->model()->rowCount();
    if (rows == 0)
        return;
    view->selectRow(row >= 0 && row < rows ? row : 0);
}

int currentRow(const QTableView *view)
{
    const QModelIndex current = view->selectionModel()->currentIndex();
    return current.isValid() ? current.row() : 0;
}

} // namespace

FrmServizi::FrmServizi(WindowRegistry &registry, State &state)
    : Form(registry)
    , m_state(state)
{
    setWindowTitle(QStringLiteral("Gestione Servizi"));
    settingsui::setUpDialog(*this, 8040, 6015);

    m_title = kit::control<QLabel>(this, QStringLiteral("Label1"), {120, 120, 7815, 495}, QStringLiteral("P"));
    m_title->setFont(look::tahoma(18));
    kit::setColours(m_title, Qt::white, look::fromBgr(0x00808080));
    m_title->setIndent(twips::toPixelsX(60));

    heading(this, QStringLiteral("Strip_0"), {120, 720, 3855, 495}, QStringLiteral("Label2"),
            QStringLiteral("Servizi della postazione"));
    QFrame *activeStrip = heading(this, QStringLiteral("Strip_1"), {4080, 720, 3855, 495}, QStringLiteral("Label4"),
                                  QStringLiteral("Servizi Attivi in archivio"));
    m_nrServizi = kit::control<QLineEdit>(activeStrip, QStringLiteral("NrServizi"), {3120, 105, 615, 285});
    m_nrServizi->setReadOnly(true);
    m_nrServizi->setAlignment(Qt::AlignRight);

    m_deskServices = new QStandardItemModel(this);
    m_grid = kit::control<QTableView>(this, QStringLiteral("grid"), {120, 1320, 3855, 4560});
    showColumns(m_grid, m_deskServices,
                {{QStringLiteral("ID"), 847},
                 {QStringLiteral("Servizio"), 5080},
                 {QStringLiteral("IDPostazione"), 3200}});
    m_activeServices = new QStandardItemModel(this);
    m_activeGrid = kit::control<QTableView>(this, QStringLiteral("SSDBGrid1"), {4080, 1200, 3855, 4200});
    showColumns(m_activeGrid, m_activeServices, {{QStringLiteral("ID"), 847}, {QStringLiteral("Servizio"), 5080}});

    auto *add = kit::control<QPushButton>(this, QStringLiteral("PosSchermo_0"), {4080, 5520, 1695, 345},
                                          QStringLiteral("&Aggiungi Servizio"));
    auto *remove = kit::control<QPushButton>(this, QStringLiteral("PosSchermo_2"), {5760, 5520, 1335, 345},
                                             QStringLiteral("&Togli Servizio"));
    auto *closeButton = kit::control<QPushButton>(this, QStringLiteral("PosSchermo_1"), {7080, 5520, 855, 345},
                                                  QStringLiteral("C&hiudi"));
    settingsui::styleControls(*this);
    connect(add, &QPushButton::clicked, this, &FrmServizi::addService);
    connect(remove, &QPushButton::clicked, this, &FrmServizi::removeService);
    connect(closeButton, &QPushButton::clicked, this, &FrmServizi::close);
}

FrmServizi::~FrmServizi() = default;

void FrmServizi::setTitle(const QString &text)
{
    m_title->setText(text);
}

void FrmServizi::load()
{
    Result<std::unique_ptr<QueueDatabase>> database =
        QueueDatabase::open(registry().record().percorsoServer);
    if (!database) {
        m_openFailure = database.error();
        m_nrServizi->setText(QStringLiteral("0"));
        return;
    }
    m_database = std::move(*database);
    fillDeskServices();
    fillActiveServices();
    selectRow(m_grid, 0);
    selectRow(m_activeGrid, 0);
    m_nrServizi->setText(QString::number(m_activeServices->rowCount()));
}

void FrmServizi::showEvent(QShowEvent *event)
{
    Form::showEvent(event);
    if (!m_openFailure)
        return;
    // Told once the window is on screen, so the operator sees which window
    // cannot work; the lists stay empty and the buttons do nothing.
    QTimer::singleShot(0, this, [this] {
        if (!m_openFailure)
            return;
        const Error failure = *m_openFailure;
        m_openFailure.reset();
        MsgForm::MostraMessaggio(registry(), QStringLiteral("Archivio servizi non raggiungibile !"),
                                 failure.message, failure);
    });
}

void FrmServizi::reportDatabaseError(const Error &error)
{
    MsgForm::MostraMessaggio(registry(), QStringLiteral("Operazione non riuscita sull'archivio !"),
                             error.message, error);
}

void FrmServizi::fillDeskServices()
{
    m_deskServices->removeRows(0, m_deskServices->rowCount());
    if (!m_database)
        return;
    const Result<QList<DeskService>> rows = m_database->deskServices(registry().record().ipLocale);
    if (!rows) {
        reportDatabaseError(rows.error());
        return;
    }
    for (const DeskService &row : *rows) {
        auto *id = new QStandardItem(QString::number(row.servizioId));
        id->setData(row.key, kKeyRole);
        m_deskServices->appendRow({id, new QStandardItem(row.servizioTesto),
                                   new QStandardItem(row.idPostazione.toString())});
    }
}

void FrmServizi::fillActiveServices()
{
    m_activeServices->removeRows(0, m_activeServices->rowCount());
    if (!m_database)
        return;
    const Result<QList<ActiveService>> rows = m_database->activeServices();
    if (!rows) {
        reportDatabaseError(rows.error());
        return;
    }
    for (const ActiveService &row : *rows) {
        auto *id = new QStandardItem(QString::number(row.id));
        id->setData(row.id, kKeyRole);
        m_activeServices->appendRow({id, new QStandardItem(row.servizio)});
    }
}

void FrmServizi::addService()
{
    if (!m_database || m_activeServices->rowCount() == 0)
        return;
    const QString &ipLocale = registry().record().ipLocale;
    if (ipLocale.isEmpty()) {
        // Rows without the desk's address would belong to no desk.
        MsgForm::MostraMessaggio(registry(),
                                 QStringLiteral("Indirizzo IP della postazione non rilevato !"));
        return;
    }
    const int row = currentRow(m_activeGrid);
    const qint64 servizioId = m_activeServices->item(row, 0)->data(kKeyRole).toLongLong();
    const QString servizio = m_activeServices->item(row, 1)->text();

    const Result<bool> present = m_database->deskHasService(ipLocale, servizioId);
    if (!present) {
        reportDatabaseError(present.error());
        return;
    }
    if (*present) {
        MsgForm::MostraMessaggio(registry(),
                                 QStringLiteral("Voce già presente per quella Postazione !"));
        return;
    }
    if (const Result<void> added = m_database->addDeskService(ipLocale, servizioId, servizio);
        !added) {
        reportDatabaseError(added.error());
        return;
    }
    // Read back, so that the new row carries its key for a later removal.
    const int deskRow = currentRow(m_grid);
    fillDeskServices();
    selectRow(m_grid, deskRow);
}

void FrmServizi::removeService()
{
    if (!m_database || m_deskServices->rowCount() == 0)
        return;
    const int row = currentRow(m_grid);
    const qint64 key = m_deskServices->item(row, 0)->data(kKeyRole).toLongLong();
    const Result<bool> removed = m_database->removeDeskService(key, registry().record().ipLocale);
    if (!removed)
        reportDatabaseError(removed.error());
    fillDeskServices();
    selectRow(m_grid, 0);
}

} // namespace tq3

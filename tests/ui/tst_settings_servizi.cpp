#include "settings_ui_support.h"

#include "settings/FrmServizi.h"
#include "startup/ui/Twips.h"
#include "startup/ui/WindowRegistry.h"
#include "store/ArchiveBuilder.h"
#include "store/QueueDatabase.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace tq3;
using namespace tq3::test;

namespace {

const QString kThisDesk = QStringLiteral("10.1.1.1");
const QString kOtherDesk = QStringLiteral("10.1.1.2");

using Assignment = QPair<QString, qint64>;  // desk address, service id

} // namespace

class TestServizi final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void listsTheDeskAndTheActiveServices();
    void duplicateServiceIsRefused();
    void anotherDesksServiceIsNoDuplicate();
    void removingDeletesOnlyTheSelectedRowOfThisDesk();
    void emptyListsDoNothing();
    void unreachableArchiveIsToldAndNothingBreaks();
    void failedStatementIsTold();
    void unknownDeskAddressAddsNothing();

private:
    void makeArchive(bool withServices = true);
    FrmServizi &openWindow(bool waitUntilActive = true);
    QTableView *grid(const QString &name);
    QList<Assignment> assignments();
    // Clicks a button; returns the message it showed (seen == false if none).
    std::shared_ptr<SeenMessage> clickAnswering(const QString &button);
    void selectRowWithId(QTableView *view, qint64 id);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_archive;
    std::unique_ptr<WindowRegistry> m_registry;
};

void TestServizi::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_archive = m_dir->filePath(QStringLiteral("archivio"));
    QVERIFY(QDir().mkpath(m_archive));
    ClientEnvironment environment;
    environment.settingsFilePath = m_dir->filePath(QStringLiteral("PercorsiClient.txt"));
    m_registry = std::make_unique<WindowRegistry>(environment);
    m_registry->record().percorsoServer = m_archive;
    m_registry->record().ipLocale = kThisDesk;
}

void TestServizi::cleanup()
{
    m_registry.reset();
    m_dir.reset();
}

void TestServizi::makeArchive(bool withServices)
{
    auto builder = ArchiveBuilder::create(m_archive + QStringLiteral("/TQ3MAX.mdb"));
    QVERIFY2(builder, qPrintable(builder ? QString() : builder.error().detail));
    ArchiveBuilder &archive = **builder;
    QVERIFY(archive.setConfigurazione(2, 6001, QStringLiteral("192.168.5.20"), QStringLiteral("S1")));
    if (!withServices)
        return;
    QVERIFY(archive.addService(1, QStringLiteral("Anagrafe"), true, 0));
    QVERIFY(archive.addService(2, QStringLiteral("Tributi"), true, 0));
    QVERIFY(archive.addService(3, QStringLiteral("Chiuso"), false, 0));
    QVERIFY(archive.addDeskService(kThisDesk, 1, QStringLiteral("Anagrafe"), QStringLiteral("P1")));
    QVERIFY(archive.addDeskService(kOtherDesk, 2, QStringLiteral("Tributi"), QStringLiteral("P2")));
}

FrmServizi &TestServizi::openWindow(bool waitUntilActive)
{
    FrmServizi &window = m_registry->window<FrmServizi>();
    m_registry->showModeless(window);
    if (waitUntilActive && !QTest::qWaitFor([&] { return m_registry->activeForm() == &window; }))
        qWarning("the services window never became active");
    return window;
}

QTableView *TestServizi::grid(const QString &name)
{
    return m_registry->window<FrmServizi>().findChild<QTableView *>(name);
}

QList<Assignment> TestServizi::assignments()
{
    QList<Assignment> all;
    auto database = QueueDatabase::open(m_archive);
    if (!database)
        return all;
    for (const QString &desk : {kThisDesk, kOtherDesk}) {
        const auto rows = (*database)->deskServices(desk);
        if (rows) {
            for (const DeskService &row : *rows)
                all.append({row.ipPostazione, row.servizioId});
        }
    }
    return all;
}

std::shared_ptr<SeenMessage> TestServizi::clickAnswering(const QString &button)
{
    auto seen = std::make_shared<SeenMessage>();
    auto watch = answerMessage(seen);
    QTest::mouseClick(m_registry->window<FrmServizi>().findChild<QPushButton *>(button),
                      Qt::LeftButton);
    watch->cancel();
    return seen;
}

void TestServizi::selectRowWithId(QTableView *view, qint64 id)
{
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        if (view->model()->index(row, 0).data().toLongLong() == id) {
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                              view->visualRect(view->model()->index(row, 1)).center());
            QCOMPARE(view->selectionModel()->currentIndex().row(), row);
            return;
        }
    }
    QFAIL("no row with that id");
}

void TestServizi::listsTheDeskAndTheActiveServices()
{
    makeArchive();
    FrmServizi &window = openWindow();
    window.setTitle(QStringLiteral("Postazione Sportello 1"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Gestione Servizi"));
    QCOMPARE(window.size(), twips::size(8040, 6015));
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Label1"))->text(),
             QStringLiteral("Postazione Sportello 1"));

    QTableView *desk = grid(QStringLiteral("grid"));
    QCOMPARE(desk->model()->rowCount(), 1);
    QCOMPARE(desk->model()->index(0, 0).data().toString(), QStringLiteral("1"));
    QCOMPARE(desk->model()->index(0, 1).data().toString(), QStringLiteral("Anagrafe"));
    QCOMPARE(desk->model()->index(0, 2).data().toString(), QStringLiteral("P1"));
    QCOMPARE(desk->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("IDPostazione"));
    QCOMPARE(desk->horizontalHeader()->sectionSize(1), twips::toPixelsX(5080));
    QCOMPARE(desk->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(desk->selectionBehavior(), QAbstractItemView::SelectRows);

    QTableView *active = grid(QStringLiteral("SSDBGrid1"));
    QCOMPARE(active->model()->columnCount(), 2);
    QCOMPARE(active->model()->rowCount(), 2);
    QCOMPARE(active->model()->index(1, 1).data().toString(), QStringLiteral("Tributi"));
    QCOMPARE(active->horizontalHeader()->sectionSize(0), twips::toPixelsX(847));
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("NrServizi"))->text(), QStringLiteral("2"));
}

void TestServizi::duplicateServiceIsRefused()
{
    makeArchive();
    openWindow();
    selectRowWithId(grid(QStringLiteral("SSDBGrid1")), 1);
    const auto seen = clickAnswering(QStringLiteral("PosSchermo_0"));
    QVERIFY(seen->seen);
    QCOMPARE(seen->line0, QStringLiteral("Voce già presente per quella Postazione !"));
    QVERIFY(!seen->line1Visible);
    QCOMPARE(assignments(), (QList<Assignment>{{kThisDesk, 1}, {kOtherDesk, 2}}));
    QCOMPARE(grid(QStringLiteral("grid"))->model()->rowCount(), 1);
}

void TestServizi::anotherDesksServiceIsNoDuplicate()
{
    makeArchive();
    openWindow();
    selectRowWithId(grid(QStringLiteral("SSDBGrid1")), 2);
    const auto seen = clickAnswering(QStringLiteral("PosSchermo_0"));
    QVERIFY2(!seen->seen, qPrintable(seen->line0));
    QCOMPARE(assignments(),
             (QList<Assignment>{{kThisDesk, 1}, {kThisDesk, 2}, {kOtherDesk, 2}}));
    QTableView *desk = grid(QStringLiteral("grid"));
    QCOMPARE(desk->model()->rowCount(), 2);
    QCOMPARE(desk->model()->index(1, 1).data().toString(), QStringLiteral("Tributi"));
}

void TestServizi::removingDeletesOnlyTheSelectedRowOfThisDesk()
{
    makeArchive();
    openWindow();
    selectRowWithId(grid(QStringLiteral("SSDBGrid1")), 2);
    QVERIFY(!clickAnswering(QStringLiteral("PosSchermo_0"))->seen);

    selectRowWithId(grid(QStringLiteral("grid")), 2);
    QVERIFY(!clickAnswering(QStringLiteral("PosSchermo_2"))->seen);
    QCOMPARE(assignments(), (QList<Assignment>{{kThisDesk, 1}, {kOtherDesk, 2}}));
    QTableView *desk = grid(QStringLiteral("grid"));
    QCOMPARE(desk->model()->rowCount(), 1);
    QCOMPARE(desk->model()->index(0, 0).data().toString(), QStringLiteral("1"));
    QCOMPARE(grid(QStringLiteral("SSDBGrid1"))->model()->rowCount(), 2);

    // The service can be added again.
    selectRowWithId(grid(QStringLiteral("SSDBGrid1")), 2);
    QVERIFY(!clickAnswering(QStringLiteral("PosSchermo_0"))->seen);
    QCOMPARE(assignments(),
             (QList<Assignment>{{kThisDesk, 1}, {kThisDesk, 2}, {kOtherDesk, 2}}));
}

void TestServizi::emptyListsDoNothing()
{
    makeArchive(false);
    FrmServizi &window = openWindow();
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("NrServizi"))->text(), QStringLiteral("0"));
    QVERIFY(!clickAnswering(QStringLiteral("PosSchermo_0"))->seen);
    QVERIFY(!clickAnswering(QStringLiteral("PosSchermo_2"))->seen);
    QVERIFY(assignments().isEmpty());
    QVERIFY(m_registry->loaded<FrmServizi>());
}

void TestServizi::unreachableArchiveIsToldAndNothingBreaks()
{
    // No database file in the archive folder.
    auto seen = std::make_shared<SeenMessage>();
    auto watch = answerMessage(seen);
    FrmServizi &window = openWindow(false);
    QTRY_VERIFY(watch->done());
    QCOMPARE(seen->line0, QStringLiteral("Archivio servizi non raggiungibile !"));
    QVERIFY(seen->line1Visible);
    QVERIFY(!seen->line1.isEmpty());
    QCOMPARE(grid(QStringLiteral("grid"))->model()->rowCount(), 0);
    QCOMPARE(window.findChild<QLineEdit *>(QStringLiteral("NrServizi"))->text(), QStringLiteral("0"));
    QVERIFY(!clickAnswering(QStringLiteral("PosSchermo_0"))->seen);
    QVERIFY(!clickAnswering(QStringLiteral("PosSchermo_2"))->seen);
    QVERIFY(!QFileInfo::exists(m_archive + QStringLiteral("/TQ3MAX.mdb")));
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("PosSchermo_1")), Qt::LeftButton);
    QTRY_VERIFY(!m_registry->loaded<FrmServizi>());
}

void TestServizi::failedStatementIsTold()
{
    makeArchive();
    openWindow();
    {
        auto archive = ArchiveBuilder::openExisting(m_archive + QStringLiteral("/TQ3MAX.mdb"));
        QVERIFY(archive);
        QVERIFY((*archive)->execute(QStringLiteral("DROP VIEW query1")));
        QVERIFY((*archive)->execute(QStringLiteral("DROP TABLE ServiziPostazioni")));
    }
    selectRowWithId(grid(QStringLiteral("SSDBGrid1")), 2);
    const auto seen = clickAnswering(QStringLiteral("PosSchermo_0"));
    QVERIFY(seen->seen);
    QCOMPARE(seen->line0, QStringLiteral("Operazione non riuscita sull'archivio !"));
    QVERIFY(m_registry->loaded<FrmServizi>());
}

void TestServizi::unknownDeskAddressAddsNothing()
{
    makeArchive();
    m_registry->record().ipLocale.clear();
    openWindow();
    QCOMPARE(grid(QStringLiteral("grid"))->model()->rowCount(), 0);
    selectRowWithId(grid(QStringLiteral("SSDBGrid1")), 2);
    const auto seen = clickAnswering(QStringLiteral("PosSchermo_0"));
    QVERIFY(seen->seen);
    QCOMPARE(seen->line0, QStringLiteral("Indirizzo IP della postazione non rilevato !"));
    QCOMPARE(assignments(), (QList<Assignment>{{kThisDesk, 1}, {kOtherDesk, 2}}));
}

QTEST_MAIN(TestServizi)
#include "tst_settings_servizi.moc"

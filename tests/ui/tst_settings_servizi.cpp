#include "UiTesting.h"

#include "settings/FrmServizi.h"
#include "startup/ui/WindowRegistry.h"
#include "store/ArchiveBuilder.h"
#include "store/QueueDatabase.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace tq3;
using namespace tq3::test;
using namespace Qt::StringLiterals;

namespace {

const QString kThisDesk = u"10.1.1.1"_s;
const QString kOtherDesk = u"10.1.1.2"_s;

} // namespace

class TestServizi final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void addAndRemoveKeepToThisDesk();
    void failuresAreToldAndChangeNothing_data();
    void failuresAreToldAndChangeNothing();

private:
    // Selects the row of service `id` in `grid` (when it lists one), clicks
    // `button` and returns the messages shown.
    QStringList pick(const QString &grid, qint64 id, const QString &button);
    QStringList gridIds(const QString &grid);
    // "this:<service id>" or "other:<service id>" for every assignment of both desks, read from the archive.
    QStringList assignments();

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_archive;
    std::unique_ptr<WindowRegistry> m_registry;
};

void TestServizi::init()
{
    m_registry.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    m_archive = m_dir->filePath(u"archivio"_s);
    QVERIFY(QDir().mkpath(m_archive));
    ClientEnvironment environment;
    environment.settingsFilePath = m_dir->filePath(u"PercorsiClient.txt"_s);
    m_registry = std::make_unique<WindowRegistry>(environment);
    m_registry->record().percorsoServer = m_archive;
    m_registry->record().ipLocale = kThisDesk;

    auto builder = ArchiveBuilder::create(m_archive + u"/TQ3MAX.mdb"_s);
    QVERIFY(builder);
    ArchiveBuilder &archive = **builder;
    QVERIFY(archive.setConfigurazione(2, 6001, u"192.168.5.20"_s, u"S1"_s));
    QVERIFY(archive.addService(1, u"Anagrafe"_s, true, 0));
    QVERIFY(archive.addService(2, u"Tributi"_s, true, 0));
    QVERIFY(archive.addService(3, u"Chiuso"_s, false, 0));
    QVERIFY(archive.addDeskService(kThisDesk, 1, u"Anagrafe"_s, u"P1"_s));
    QVERIFY(archive.addDeskService(kOtherDesk, 2, u"Tributi"_s, u"P2"_s));
}

QStringList TestServizi::pick(const QString &grid, qint64 id, const QString &button)
{
    auto &window = m_registry->window<FrmServizi>();
    auto *view = window.findChild<QTableView *>(grid);
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        if (view->model()->index(row, 0).data().toLongLong() == id)
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                              view->visualRect(view->model()->index(row, 1)).center());
    }
    ModalCloser closer;
    QTest::mouseClick(window.findChild<QPushButton *>(button), Qt::LeftButton);
    QStringList messages;
    for (const SeenModal &seen : closer.seen)
        messages << seen.lines.value(0);
    return messages;
}

QStringList TestServizi::gridIds(const QString &grid)
{
    QAbstractItemModel *model = m_registry->window<FrmServizi>().findChild<QTableView *>(grid)->model();
    QStringList ids;
    for (int row = 0; row < model->rowCount(); ++row)
        ids << model->index(row, 0).data().toString() + u':' + model->index(row, 1).data().toString();
    return ids;
}

QStringList TestServizi::assignments()
{
    QStringList all;
    auto database = QueueDatabase::open(m_archive);
    for (const QString &desk : {kThisDesk, kOtherDesk}) {
        const auto rows = (*database)->deskServices(desk);
        for (const DeskService &row : rows ? *rows : QList<DeskService>())
            all << (desk == kThisDesk ? u"this:"_s : u"other:"_s) + QString::number(row.servizioId);
    }
    return all;
}

void TestServizi::addAndRemoveKeepToThisDesk()
{
    const QString add = u"PosSchermo_0"_s;
    const QString remove = u"PosSchermo_2"_s;
    auto &window = m_registry->window<FrmServizi>();
    m_registry->showModeless(window);
    QTRY_COMPARE(m_registry->activeForm(), &window);
    QCOMPARE(gridIds(u"grid"_s), QStringList{u"1:Anagrafe"_s});
    QCOMPARE(gridIds(u"SSDBGrid1"_s), (QStringList{u"1:Anagrafe"_s, u"2:Tributi"_s}));
    QCOMPARE(window.findChild<QLineEdit *>(u"NrServizi"_s)->text(), u"2"_s);

    QCOMPARE(pick(u"SSDBGrid1"_s, 1, add),
             QStringList{u"Voce già presente per quella Postazione !"_s});
    QCOMPARE(assignments(), (QStringList{u"this:1"_s, u"other:2"_s}));

    // The other desk's service is no duplicate.
    QCOMPARE(pick(u"SSDBGrid1"_s, 2, add), QStringList());
    QCOMPARE(assignments(), (QStringList{u"this:1"_s, u"this:2"_s, u"other:2"_s}));
    QCOMPARE(gridIds(u"grid"_s), (QStringList{u"1:Anagrafe"_s, u"2:Tributi"_s}));

    // Removing deletes this desk's selected row only, and the service can be added again.
    QCOMPARE(pick(u"grid"_s, 2, remove), QStringList());
    QCOMPARE(assignments(), (QStringList{u"this:1"_s, u"other:2"_s}));
    QCOMPARE(gridIds(u"grid"_s), QStringList{u"1:Anagrafe"_s});
    QCOMPARE(pick(u"SSDBGrid1"_s, 2, add), QStringList());
    QCOMPARE(assignments(), (QStringList{u"this:1"_s, u"this:2"_s, u"other:2"_s}));
}

void TestServizi::failuresAreToldAndChangeNothing_data()
{
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<QString>("deskAddress");
    QTest::addColumn<QString>("damage");  // run on the archive once the window is open
    QTest::addColumn<QStringList>("messages");  // at opening, on adding, on removing (undamaged)

    QTest::newRow("an archive that cannot be opened is told at opening, and the buttons do nothing")
        << false << kThisDesk << "" << QStringList{u"Archivio servizi non raggiungibile !"_s};
    QTest::newRow("a desk whose address is unknown adds nothing and is told why")
        << true << "" << "" << QStringList{u"Indirizzo IP della postazione non rilevato !"_s};
    QTest::newRow("statements the archive refuses are told")
        << true << kThisDesk << "DROP VIEW query1; DROP TABLE ServiziPostazioni"
        << QStringList{u"Operazione non riuscita sull'archivio !"_s};
}

void TestServizi::failuresAreToldAndChangeNothing()
{
    QFETCH(bool, reachable);
    QFETCH(QString, deskAddress);
    QFETCH(QString, damage);
    m_registry->record().ipLocale = deskAddress;
    const QString database = m_archive + u"/TQ3MAX.mdb"_s;
    const QStringList before = assignments();
    if (!reachable)
        QVERIFY(QFile::remove(database));

    QStringList messages;
    {
        ModalCloser closer;
        m_registry->showModeless(m_registry->window<FrmServizi>());
        QVERIFY(reachable || closer.waitFor(1));
        for (const SeenModal &seen : closer.seen)
            messages << seen.lines.value(0);
    }
    if (!damage.isEmpty()) {
        auto archive = ArchiveBuilder::openExisting(database);
        for (const QString &statement : damage.split(u"; "_s))
            QVERIFY((*archive)->execute(statement));
    }
    messages += pick(u"SSDBGrid1"_s, 2, u"PosSchermo_0"_s);
    if (damage.isEmpty())
        messages += pick(u"grid"_s, 1, u"PosSchermo_2"_s);
    QTEST(messages, "messages");
    if (!reachable)
        QVERIFY(!QFileInfo::exists(database));
    else if (damage.isEmpty())
        QCOMPARE(assignments(), before);
    QVERIFY(m_registry->loaded<FrmServizi>());
}

QTEST_MAIN(TestServizi)
#include "tst_settings_servizi.moc"

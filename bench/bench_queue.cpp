// The automatic desk's choice of the oldest waiting ticket, with a million
// tickets in CodaFromTotem (most of them long called), against the plain walk
// through every waiting ticket in time order.

#include "CallArchive.h"
#include "archive/ArchiveBuilder.h"
#include "core/store/QueueDatabase.h"

#include <QDateTime>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

using namespace tq3;

namespace {

const QString kDesk = QStringLiteral("10.0.0.1");
constexpr qint64 kTickets = 1'000'000;

// One archive for every benchmark, made once: a million tickets over twelve
// services, every 499th still waiting; the desk serves three services.
class Archive final {
public:
    static Archive &instance()
    {
        static Archive archive;
        return archive;
    }
    bool ready() const { return m_ready; }
    const QString &folder() const { return m_folder; }

private:
    Archive()
    {
        m_folder = m_dir.path();
        auto builder = test::createQueueDatabase(m_folder);
        if (!builder)
            return;
        QList<qint64> services;
        for (qint64 id = 1; id <= 12; ++id) {
            services << id;
            if (!builder->addService(id, QStringLiteral("Servizio %1").arg(id), true, 0).ok())
                return;
        }
        for (const qint64 id : {3, 7, 11}) {
            if (!builder->addDeskService(kDesk, id, QStringLiteral("Servizio %1").arg(id)).ok())
                return;
        }
        std::fprintf(stderr, "filling %lld tickets...\n", static_cast<long long>(kTickets));
        if (!builder->fillTickets(services, kTickets, 499, QDateTime(QDate(2026, 1, 1), QTime(8, 0))).ok())
            return;
        m_ready = builder->execute(QStringLiteral("ANALYZE")).ok();
    }

    QTemporaryDir m_dir;
    QString m_folder;
    bool m_ready = false;
};

// A desk's connection to the shared archive; null when it could not be
// made, and then the benchmark is skipped: its loop never runs.
std::unique_ptr<QueueDatabase> openArchive(benchmark::State &state)
{
    Archive &archive = Archive::instance();
    auto db = QueueDatabase::open(archive.folder());
    if (archive.ready() && db)
        return std::move(db).value();
    state.SkipWithError("no archive");
    return nullptr;
}

void BM_OldestWaitingTicket(benchmark::State &state)
{
    auto db = openArchive(state);
    for (auto _ : state) {
        auto ticket = db->oldestWaitingTicket(kDesk);
        if (!ticket || !ticket->has_value()) {
            state.SkipWithError("no ticket");
            return;
        }
        benchmark::DoNotOptimize(ticket);
    }
}
BENCHMARK(BM_OldestWaitingTicket)->Unit(benchmark::kMicrosecond);

void BM_AnyWaitingTicket(benchmark::State &state)
{
    auto db = openArchive(state);
    for (auto _ : state) {
        auto any = db->anyWaitingTicket();
        benchmark::DoNotOptimize(any);
    }
}
BENCHMARK(BM_AnyWaitingTicket)->Unit(benchmark::kMicrosecond);

// For comparison: every waiting ticket in time order, walked until one of
// the desk's services turns up (the first match is found late when the
// oldest tickets belong to other desks).
void BM_WalkEveryWaitingTicket(benchmark::State &state)
{
    auto db = openArchive(state);
    const QSet<qint64> deskServices{3, 7, 11};
    for (auto _ : state) {
        QSqlQuery walk(QSqlDatabase::database(db->connectionName()));
        walk.setForwardOnly(true);
        walk.exec(QStringLiteral("SELECT Id, servizioid FROM CodaFromTotem WHERE SeChiamato = 0 ORDER BY ora"));
        qint64 found = 0;
        while (walk.next()) {
            if (deskServices.contains(walk.value(1).toLongLong())) {
                found = walk.value(0).toLongLong();
                break;
            }
        }
        walk.finish();
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_WalkEveryWaitingTicket)->Unit(benchmark::kMicrosecond);

} // namespace

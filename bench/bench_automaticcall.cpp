// One press of "Avanti" at an automatic desk against a queue that keeps every
// ticket ever drawn: a million rows in CodaFromTotem, about one in a thousand still
// waiting, the desk serving two of twenty services.

#include "core/calls/AutomaticCall.h"
#include "core/calls/ServerLink.h"
#include "archive/ArchiveBuilder.h"
#include "core/store/QueueDatabase.h"

#include "CallArchive.h"

#include <QDir>
#include <QFile>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <benchmark/benchmark.h>

using namespace tq3;

namespace {

const QString kIp = QStringLiteral("10.0.0.21");

void BM_AutomaticCallOnAMillionTickets(benchmark::State &state)
{
    QTemporaryDir dir;
    {
        auto builder = test::createQueueDatabase(dir.path());
        if (!builder) {
            state.SkipWithError("no archive");
            return;
        }
        QList<qint64> services;
        for (qint64 id = 1; id <= 20; ++id)
            services << id;
        if (!builder->fillTickets(services, state.range(0), 999, QDateTime(QDate(2026, 1, 1), QTime(8, 0)))) {
            state.SkipWithError("tickets not written");
            return;
        }
        (void)builder->addDeskService(kIp, 7, QStringLiteral("Servizio 7"));
        (void)builder->addDeskService(kIp, 13, QStringLiteral("Servizio 13"));
    }
    QDir(dir.path()).mkdir(QStringLiteral("NrAll"));
    QFile stateFile(dir.filePath(QStringLiteral("UConnDP.txt")));
    if (!stateFile.open(QIODevice::WriteOnly))
        return;
    stateFile.write("\"True\"\r\n");
    stateFile.close();

    QUdpSocket listener;
    listener.bind(QHostAddress::LocalHost, 0);
    ServerLink link;
    link.setDestination(QStringLiteral("127.0.0.1"), listener.localPort());
    AutomaticCall call(link);
    const CallRequest request{.archiveFolder = dir.path(), .deskName = QStringLiteral("Sportello 1"), .ipLocale = kIp,
                              .serverAddress = QStringLiteral("127.0.0.1")};
    auto database = QueueDatabase::open(dir.path());
    if (!database) {
        state.SkipWithError("archive not opened");
        return;
    }

    for (auto _ : state) {
        const CallOutcome result = call.run(request);
        if (result.kind != CallOutcome::Kind::Announced) {
            state.SkipWithError("no ticket announced");
            break;
        }
        state.PauseTiming();
        // The same ticket waits again for the next round.
        (void)(*database)->unmarkTicketCalled(result.call.ticketKey);
        while (listener.hasPendingDatagrams())
            listener.receiveDatagram();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_AutomaticCallOnAMillionTickets)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

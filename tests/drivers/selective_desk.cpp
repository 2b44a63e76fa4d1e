// One selective desk without its window: waits for the barrier file, then
// runs the console's own call code `count` times for one service and prints
// its start and end times (ms since the epoch) and the numbers it announced.
//
// selective_desk <archive> <ipLocale> <desk> <port> <serviceId> <count> <barrier>

#include "console/SelectiveCall.h"
#include "console/ServerLink.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QTextStream>
#include <QThread>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 8) {
        std::fprintf(stderr, "usage: selective_desk archive ip desk port service count barrier\n");
        return 64;
    }
    const QString barrier = args.at(7);
    const qint64 giveUpAt = QDateTime::currentMSecsSinceEpoch() + 30000;
    while (!QFileInfo::exists(barrier)) {
        if (QDateTime::currentMSecsSinceEpoch() > giveUpAt)
            return 65;
        QThread::usleep(500);
    }

    tq3::ServerLink link;
    link.setDestination(QStringLiteral("127.0.0.1"), args.at(4).toInt());
    tq3::SelectiveCallRequest request;
    request.archiveFolder = args.at(1);
    request.ipLocale = args.at(2);
    request.deskName = args.at(3);
    request.serverAddress = QStringLiteral("127.0.0.1");
    request.serviceId = args.at(5).toLongLong();
    request.serviceName = QStringLiteral("Anagrafe");
    request.serviceRows = 1;
    const int count = args.at(6).toInt();

    QTextStream out(stdout);
    const qint64 start = QDateTime::currentMSecsSinceEpoch();
    QStringList numbers;
    for (int i = 0; i < count; ++i) {
        const tq3::SelectiveCallOutcome outcome = tq3::SelectiveCall::run(request, link);
        if (outcome.kind != tq3::SelectiveCallOutcome::Kind::Announced || outcome.error) {
            out << "failed " << int(outcome.kind) << ' '
                << (outcome.error ? outcome.error->message + QLatin1Char(' ') + outcome.error->detail : QString())
                << Qt::endl;
            return 1;
        }
        numbers << outcome.numberText;
        app.processEvents();
    }
    const qint64 end = QDateTime::currentMSecsSinceEpoch();
    out << "interval " << start << ' ' << end << Qt::endl;
    out << "numbers " << numbers.join(QLatin1Char(' ')) << Qt::endl;
    return 0;
}

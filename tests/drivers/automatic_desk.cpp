// An automatic desk as a separate process: the console's own call, run until
// nothing is left for the desk.
//
//   automatic_desk <archive folder> <desk name> <desk ip> <server port> <barrier file> <result file>
//
// Waits for the barrier file, then writes "start <ms>", one line
// "call <key> <service id> <number> <lost races> <ora>" per announced ticket, any
// "busy <message>" (the archive was busy: pressed again) or "fail <message>"
// and "end <ms>" into the result file.

#include "DatabaseFixture.h"
#include "console/AutomaticCall.h"
#include "console/ServerLink.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cstdio>

using namespace tq3;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 7) {
        std::fprintf(stderr, "usage: automatic_desk <folder> <desk> <ip> <port> <barrier> <result>\n");
        return 2;
    }
    AutomaticCallSetup setup;
    setup.archiveFolder = args.at(1);
    setup.deskName = args.at(2);
    setup.ipLocale = args.at(3);
    setup.serverAddress = QStringLiteral("127.0.0.1");
    const qint32 port = args.at(4).toInt();
    const QString barrier = args.at(5);

    ServerLink link;
    link.setDestination(setup.serverAddress, port);
    AutomaticCall call(link);

    while (!QFileInfo::exists(barrier))
        QThread::usleep(200);

    QStringList lines;
    lines << QStringLiteral("start %1").arg(test::nowMs());
    int failures = 0;
    for (;;) {
        const AutomaticCallResult result = call.run(setup);
        if (result.outcome == AutomaticOutcome::Announced) {
            lines << QStringLiteral("call %1 %2 %3 %4 %5")
                         .arg(result.ticketKey)
                         .arg(result.servizioId)
                         .arg(result.number)
                         .arg(result.ticketsTakenByOthers)
                         .arg(result.ora);
            continue;
        }
        if (result.outcome == AutomaticOutcome::Failed) {
            // A busy archive is worth another press, as the operator would;
            // anything else ends the run.
            const bool busy = result.error && result.error->kind == ErrorKind::InUse;
            lines << (busy ? QStringLiteral("busy ") : QStringLiteral("fail ")) + result.message.join(u' ')
                    + (result.error ? QStringLiteral(" [") + result.error->detail + u']' : QString());
            if (busy && ++failures < 50)
                continue;
        }
        break;
    }
    lines << QStringLiteral("end %1").arg(test::nowMs());

    QFile out(args.at(6));
    if (!out.open(QIODevice::WriteOnly))
        return 2;
    out.write(lines.join(u'\n').toUtf8() + '\n');
    return 0;
}

#include "StandinServer.h"

#include "core/store/CallFiles.h"
#include "core/store/RecordSyntax.h"
#include "core/store/Text1252.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tq3::standin {

namespace {

bool writeServerState(const QString &archiveFolder, const QString &state)
{
    QSaveFile file(serverStateFilePath(archiveFolder));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(record::quotedRecord({state}));
    return file.commit();
}

void printLine(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// A stop request from a signal handler reaches the event loop through a
// socket pair, the one thing a handler may safely touch.
#ifdef Q_OS_WIN
BOOL WINAPI consoleHandler(DWORD)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    return TRUE;
}

void watchStopSignals(QObject *)
{
    SetConsoleCtrlHandler(consoleHandler, TRUE);
}
#else
int g_signalPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

void watchStopSignals(QObject *parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, parent, [] {
        char byte = 0;
        [[maybe_unused]] const auto got = ::read(g_signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
#endif

} // namespace

int serve(const QString &archiveFolder, quint16 port, int seconds)
{
    QObject scope;
    QUdpSocket socket;
    if (!socket.bind(QHostAddress::LocalHost, port)) {
        std::fprintf(stderr, "tq3-standin: cannot listen on 127.0.0.1:%u: %s\n", unsigned(port),
                     qPrintable(socket.errorString()));
        return 1;
    }
    watchStopSignals(&scope);
    if (!writeServerState(archiveFolder, QStringLiteral("True"))) {
        std::fprintf(stderr, "tq3-standin: cannot write %s\n", qPrintable(serverStateFilePath(archiveFolder)));
        return 1;
    }
    printLine(QStringLiteral("In ascolto su 127.0.0.1:%1 (archivio %2)").arg(port).arg(archiveFolder));

    QObject::connect(&socket, &QUdpSocket::readyRead, &scope, [&socket] {
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket.receiveDatagram();
            const QString time = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            printLine(QStringLiteral("%1 chiamata da %2: %3")
                          .arg(time, datagram.senderAddress().toString(), cp1252::decode(datagram.data())));
        }
    });
    if (seconds > 0)
        QTimer::singleShot(seconds * 1000, &scope, &QCoreApplication::quit);

    QCoreApplication::exec();

    socket.close();
    const bool stopped = writeServerState(archiveFolder, QStringLiteral("False"));
    printLine(QStringLiteral("Fermato."));
    return stopped ? 0 : 1;
}

} // namespace tq3::standin

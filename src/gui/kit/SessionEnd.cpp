#include "gui/kit/SessionEnd.h"

#include "gui/kit/Form.h"

#include <QApplication>
#include <QSocketNotifier>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tq3 {

namespace {

// A window that will not close cannot keep the program alive past this: the
// event loops are then left as they stand, well before a session manager
// gives up waiting (systemd sends SIGKILL after 90 s).
constexpr qint64 kPatienceMs = 20000;

#ifdef Q_OS_LINUX
constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
int g_signalWriteEnd = -1;

// Only async-signal-safe calls here: one byte down the socket pair wakes the
// event loop, which does the rest.
extern "C" void onStopSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalWriteEnd, &byte, 1);
    errno = savedErrno;
}
#endif

void closeAsItsCloseBox(QWidget *window)
{
    auto *dialog = qobject_cast<QDialog *>(window);
    // A message box's OK, the folder chooser's cancel; the program's own
    // windows run their close step.
    if (dialog && !qobject_cast<Form *>(window))
        dialog->reject();
    else
        window->close();
}

} // namespace

SessionEnd::SessionEnd(QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &SessionEnd::step);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &SessionEnd::closeAllNow);
#ifdef Q_OS_LINUX
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_pipe) != 0) {
        m_pipe[0] = m_pipe[1] = -1;
        return;  // the signals keep their default: the process ends at once
    }
    // Never block in the handler, even with the pipe full of signals.
    ::fcntl(m_pipe[1], F_SETFL, ::fcntl(m_pipe[1], F_GETFL) | O_NONBLOCK);
    g_signalWriteEnd = m_pipe[1];
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SessionEnd::signalled);
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : kSignals)
        ::sigaction(number, &action, nullptr);
#endif
}

SessionEnd::~SessionEnd()
{
#ifdef Q_OS_LINUX
    if (m_pipe[0] < 0)
        return;
    for (int number : kSignals)
        ::signal(number, SIG_DFL);
    g_signalWriteEnd = -1;
    delete m_notifier;
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
#endif
}

void SessionEnd::signalled()
{
#ifdef Q_OS_LINUX
    char bytes[16];
    while (::recv(m_pipe[0], bytes, sizeof bytes, MSG_DONTWAIT) > 0) {
    }
#endif
    begin();
}

void SessionEnd::begin()
{
    if (m_ending)
        return;
    m_ending = true;
    m_clock.start();
    m_timer.start();
}

void SessionEnd::step()
{
    if (m_clock.elapsed() > kPatienceMs) {
        m_timer.stop();
        QCoreApplication::exit(0);
        return;
    }
    // Once every window has closed the registry ends the run itself; this
    // covers a run whose windows had not been shown yet.
    if (!closeOne())
        QCoreApplication::quit();
}

bool SessionEnd::closeOne()
{
    if (QWidget *popup = QApplication::activePopupWidget()) {
        popup->close();
        return true;
    }
    if (QWidget *modal = QApplication::activeModalWidget()) {
        closeAsItsCloseBox(modal);
        return true;
    }
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->isVisible() && window->windowType() != Qt::ToolTip) {
            closeAsItsCloseBox(window);
            return true;
        }
    }
    return false;
}

void SessionEnd::closeAllNow()
{
    for (int i = 0; i < 100 && closeOne(); ++i) {
    }
}

} // namespace tq3

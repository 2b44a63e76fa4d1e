#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QSocketNotifier;

namespace tq3 {

// Ends the run as the operator would, one window at a time through its close
// box, when the process is asked to stop (SIGTERM, SIGHUP, SIGINT) or the
// desktop session ends: a console's close step closes its history file and
// tells the second screen, and the single-instance claim goes with main's
// return. One instance, in main, for the whole run.
class SessionEnd final : public QObject {
    Q_OBJECT

public:
    explicit SessionEnd(QObject *parent = nullptr);
    ~SessionEnd() override;
    SessionEnd(const SessionEnd &) = delete;
    SessionEnd &operator=(const SessionEnd &) = delete;

    // Starts closing; each window closes from the event loop it waits in, so
    // the code that opened a modal window goes on as after its close box.
    void begin();

private:
    void signalled();
    void step();
    // Closes the window on top (a popup, the modal window, else any window
    // on screen); false when nothing is left.
    static bool closeOne();
    // Windows runs nothing after the session-end message returns: what is
    // still open is closed at once.
    void closeAllNow();

    QTimer m_timer;
    QElapsedTimer m_clock;
    bool m_ending = false;
    QSocketNotifier *m_notifier = nullptr;
    int m_pipe[2] = {-1, -1};
};

} // namespace tq3

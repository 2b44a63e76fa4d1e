#pragma once

#include <QLabel>
#include <QObject>
#include <QTime>
#include <QTreeWidget>

class QAction;
class QMenu;
class QMenuBar;
class QPushButton;
class QTimer;

namespace tq3 {

class CallHistory;
class WindowRegistry;
struct HistoryRow;

// The pieces both consoles share: the history list, the blink of the called
// number, the in/out-of-service menu and the close sequence.

// A label that reports a left click (Label2, "Cronologia chiamate").
class ClickLabel final : public QLabel {
    Q_OBJECT

public:
    explicit ClickLabel(const QString &text, QWidget *parent = nullptr);

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

// LB1: four columns "Numero", "Orario", "Tempo trasc.", "Servizio", no root
// decoration. A click on any heading reverses the order of the first column
// and switches sorting on; the sort column never changes.
class HistoryList final : public QTreeWidget {
    Q_OBJECT

public:
    explicit HistoryList(QWidget *parent = nullptr);

    // Adds the call's row with all its columns and scrolls to it.
    QTreeWidgetItem *addCall(const HistoryRow &row);

    bool isSortingOn() const { return m_sortingOn; }
    Qt::SortOrder order() const { return m_order; }

private:
    void headingClicked();

    bool m_sortingOn = false;
    Qt::SortOrder m_order = Qt::AscendingOrder;
};

// Timer2 (350 ms, stopped) with PushButton1 and the number label: a call
// with the second screen active starts the blink and shows the button; the
// button's click stops both and tells the second screen.
class CallBlink final : public QObject {
    Q_OBJECT

public:
    CallBlink(WindowRegistry &registry, QLabel *number, QPushButton *stopButton, QObject *parent);

    void start();
    // The click of PushButton1: nothing unless the blink runs.
    void stopByOperator();
    bool isRunning() const;
    QTimer *timer() const { return m_timer; }

private:
    void tick();

    WindowRegistry &m_registry;
    QLabel *m_number;
    QPushButton *m_stopButton;
    QTimer *m_timer;
};

// Menu "Servizio" (SS1) with "In Servizio" (SS2) and "Fuori Servizio" (SS3).
// The items change the second screen and their check marks only while the
// second screen is active; a console starts out of service.
class ServiceMenu final : public QObject {
    Q_OBJECT

public:
    ServiceMenu(WindowRegistry &registry, QMenuBar *bar, QObject *parent);

    void inServiceClicked();
    void outOfServiceClicked();
    // After a call shown on the second screen.
    void markInService();

    QAction *inService() const { return m_ss2; }
    QAction *outOfService() const { return m_ss3; }

private:
    void setMarks(bool inService);

    WindowRegistry &m_registry;
    QMenu *m_ss1;
    QAction *m_ss2;
    QAction *m_ss3;
    bool m_inService = false;
};

// Adds the call to the list and the history file; a history file that
// cannot be opened or written is told to the operator once, and the call
// stays completed.
void registerCall(QWidget *console, CallHistory &history, HistoryList &list, qint32 number,
                  const QString &service, QTime &lastCallTime);

// Tells the operator, once, that the history file could not be opened.
void reportHistoryFailure(QWidget *console, CallHistory &history);

// The close of a console: the history file closed, the launcher centred
// again when it is loaded, and the second screen's out-of-service panel,
// whether or not the second screen is active.
void closeConsole(WindowRegistry &registry, CallHistory &history);

} // namespace tq3

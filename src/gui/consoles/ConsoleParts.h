#pragma once

#include "core/calls/Call.h"
#include "gui/kit/Controls.h"
#include "gui/kit/Form.h"

#include <QLabel>
#include <QObject>
#include <QTime>
#include <QTreeWidget>

#include <array>
#include <memory>
#include <optional>

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
    QTimer *timer() const { return m_timer; }

private:
    void tick();

    WindowRegistry &m_registry;
    QLabel *m_number;
    QPushButton *m_stopButton;
    QTimer *m_timer;
    bool m_numberShown = true;
};

// The console's keys, wherever the focus is in it: F12 and the keypad's
// Enter press "Avanti", F5 "Richiama". Each press counts once: the repeats
// of a key held down (these keys, Enter and the space bar) are dropped.
// X11 sends a repeat as a release and a press with the same time, which Qt
// marks as a repeat only when both have arrived together, so the time is
// compared here.
class ConsoleKeys final : public QObject {
    Q_OBJECT

public:
    explicit ConsoleKeys(QWidget *console);

Q_SIGNALS:
    void avanti();
    void richiama();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_console;
    int m_releasedKey = 0;
    quint64 m_releasedAt = 0;
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
    QMenu *menu() const { return m_ss1; }

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

// Label2's caption (and the automatic console's menu item) while the history
// part is closed, and while it is open.
inline const QString kHistoryClosedCaption = QStringLiteral("Cronologia chiamate");
inline const QString kHistoryOpenCaption = QStringLiteral("Chiudi Cronologia chiamate");

// The fields both consoles keep for the whole run.
struct ConsoleState {
    QString indirizzoServer;
    qint64 idServizio = 0;  // 64 bits: a service id is never cut into another's
    QString numeroTesto;
    QString testoPostazione;
    QString testoServizio;
    qint32 righeCronologia = 0;
    QTime oraUltimaChiamata;  // null until the first call of the run

    // What Label1(0) and Label1(2) show, so that no handler reads it back
    // from a label; both start from their design captions at each load.
    QString deskCaption;
    QString serviceCaption;
    // The history part is open; it is closed at each load.
    bool historyOpen = false;
    // The last call announced in the run, for "Richiama"; none before the
    // first, so a console opened again can still recall it.
    std::optional<AnnouncedCall> lastCall;
};

// What the two consoles have in common: the server link and the history
// file, the settings read at load, the controls of the called number, the
// history part and the menu, the second screen's part of a call, and the
// close. Each console builds and places the rest itself.
class ConsoleForm : public Form {
    Q_OBJECT

public:
    ~ConsoleForm() override;

    ServerLink &link() const { return *m_link; }

    // "Avanti": the button (and Enter), F12 and the keypad's Enter.
    virtual void Command1Click() = 0;
    // "Richiama" (SS4, F5, and the button where the console has one): the
    // last call announced again, shown again and blinking; nothing taken or
    // recorded. Nothing before the run's first call or while a call runs.
    void Richiama();

protected:
    ConsoleForm(WindowRegistry &registry, ConsoleState &state, const QString &title);

    // The menu bar with "Servizio"; then the client area below it, painted
    // with the consoles' background picture.
    void buildMenu();
    void buildClient(int widthPx, int heightPx);
    // Command1, "Avanti": the console's default button, so that Enter calls
    // as F12 and the keypad's Enter do.
    QPushButton *buildAvanti(const QString &name, const kit::Twips &at);
    // Label1(0..2): desk, number (18 pt bold, right-aligned) and service.
    void buildCallLabels(const QColor &deskColour, const QColor &numberColour, const std::array<kit::Twips, 3> &at);
    void showDesk(const QString &desk);
    void showService(const QString &service);
    // PushButton1 and the blink it stops.
    void buildStopButton(const kit::Twips &at);
    // The "Richiama" button, for a console with room for it.
    void buildRecallButton(const kit::Twips &at);
    // Label4 and LB1.
    void buildHistoryPart(const kit::Twips &heading, const kit::Twips &list);

    // Clears the row count, reads the settings file and aims the link;
    // false when the settings file cannot be read and the load ends.
    bool loadSettings();
    // Opens the history file and shows the desk name.
    void openHistory();
    // What this desk's call needs to know, from the console's state.
    virtual CallRequest callRequest() const;
    // Each console shows how a press of "Avanti" ended in its own way.
    virtual void showOutcome(const CallOutcome &outcome) = 0;
    // A press of "Avanti": the call run, and shown once the operator has
    // confirmed any number that a call cut short had left unannounced.
    void callAndShow();
    // At load: the call that a crash cut short, made good and shown.
    void recoverInterruptedCall();
    // An announced call: the number shown and kept, and the call message's
    // parts kept for the run.
    void takeAnnounced(const AnnouncedCall &call);
    // Tells the operator when the history file could not be opened.
    void reportHistoryOpening();
    // With the second screen active: the call on it, "In Servizio" and the blink.
    void showCallOnSecondScreen();
    void showOnSecondScreen(const QString &desk, const QString &service, qint32 number);
    // The datagram of a completed call could not be sent; each console tells
    // it in its own way.
    virtual void reportSendFailure(const Error &error) = 0;
    // A console with a refresh tick stops it while a call or a recall runs,
    // boxes included, and starts it again after.
    virtual void pauseRefresh() {}
    virtual void resumeRefresh() {}
    // A completed call: one more history row, in the list and the file.
    void recordCall();

    void closeEvent(QCloseEvent *event) override;
    void reject() override;

    std::unique_ptr<ServerLink> m_link;
    std::unique_ptr<Call> m_call;
    std::unique_ptr<CallHistory> m_history;

    QMenuBar *m_menuBar = nullptr;
    QWidget *m_client = nullptr;
    std::array<QLabel *, 3> m_label1{};
    QPushButton *m_pushButton1 = nullptr;
    QLabel *m_label4 = nullptr;
    HistoryList *m_lb1 = nullptr;
    CallBlink *m_blink = nullptr;
    ServiceMenu *m_serviceMenu = nullptr;
    QAction *m_ss4 = nullptr;
    QPushButton *m_richiama = nullptr;
    ConsoleKeys *m_keys = nullptr;

    bool m_callRunning = false;

private:
    // The settings file read into the record; asks for the settings until
    // it exists.
    bool readSettingsFile();
    void enableRecall();
    CallOutcome confirmTaken(const CallOutcome &outcome);

protected:
    ConsoleState &m_consoleState;
};

} // namespace tq3

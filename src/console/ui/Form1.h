#pragma once

#include "startup/ui/Form.h"

#include <QTime>

#include <array>
#include <memory>

class QFrame;
class QLabel;
class QMenuBar;
class QPushButton;
class QStandardItemModel;
class QTableView;
class QTimer;

namespace tq3 {

class CallBlink;
class CallHistory;
class ClickLabel;
class HistoryList;
class ServerLink;
class ServiceMenu;
struct SelectiveCallOutcome;

// The selective console: the desk's services with their waiting counts, and
// "Avanti" to call the chosen service's next number.
class Form1 final : public Form {
    Q_OBJECT

public:
    static constexpr char kName[] = "Form1";
    struct State final {
        QString indirizzoServer;
        qint64 idServizio = 0;  // 64 bits: a service id is never cut into another's
        QString numeroTesto;
        QString testoPostazione;
        QString testoServizio;
        qint32 righeCronologia = 0;
        QTime oraUltimaChiamata;  // null until the first call of the run
    };

    Form1(WindowRegistry &registry, State &state);
    ~Form1() override;

    void load() override;
    void activated() override;

    // Handlers, public so that the window's behaviour can be driven as the
    // operator and the timers would.
    void CaricaServizi();
    void gridRowClick();
    void refreshTick();
    void Command1Click();
    void Label2Click();

    QTimer *refreshTimer() const { return m_timer1; }
    ServerLink &link() const { return *m_link; }

    // Outer heights of the closed and open window, the frame difference
    // taken off: the client heights these turn into.
    static constexpr int kClientWidth = 6060;
    static constexpr int kClientHeightClosed = 1965;
    static constexpr int kOuterHeightClosed = 2745;
    static constexpr int kOuterHeightOpen = 5865;
    static constexpr int kClientHeightOpen = kOuterHeightOpen - (kOuterHeightClosed - kClientHeightClosed);
    static constexpr int kHistoryShift = 3130;

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void buildControls();
    void reloadServices(bool keepChosenRow);
    bool readSettingsFile();
    void setClientHeight(int twipsHeight);
    void showOutcome(const SelectiveCallOutcome &outcome);
    void showBox(const QString &text, const QString &title);
    void pauseRefresh();
    void resumeRefresh();
    void onRefused();
    void onSocketError(int code, const QString &description);

    State &m_state;
    std::unique_ptr<ServerLink> m_link;
    std::unique_ptr<CallHistory> m_history;

    QMenuBar *m_menuBar = nullptr;
    QWidget *m_client = nullptr;
    QTableView *m_grid = nullptr;
    QStandardItemModel *m_services = nullptr;
    QPushButton *m_command1 = nullptr;
    std::array<QLabel *, 3> m_label1{};
    QLabel *m_label3 = nullptr;
    QFrame *m_line1 = nullptr;
    QPushButton *m_pushButton1 = nullptr;
    ClickLabel *m_label2 = nullptr;
    QLabel *m_label4 = nullptr;
    HistoryList *m_lb1 = nullptr;
    QLabel *m_label7 = nullptr;
    QTimer *m_timer1 = nullptr;
    CallBlink *m_blink = nullptr;
    ServiceMenu *m_serviceMenu = nullptr;

    bool m_callRunning = false;
    bool m_messageWindowShown = false;
    bool m_reloading = false;
    bool m_listFailureShown = false;
};

} // namespace tq3

#pragma once

#include "gui/consoles/ConsoleParts.h"

class QFrame;
class QStandardItemModel;
class QTableView;

namespace tq3 {


// The selective console: the desk's services with their waiting counts, and
// "Avanti" to call the chosen service's next number.
class Form1 final : public ConsoleForm {
    Q_OBJECT

public:
    static constexpr char kName[] = "Form1";
    struct State final : ConsoleState {};

    Form1(WindowRegistry &registry, State &state);
    ~Form1() override;

    void load() override;
    void activated() override;

    // Handlers, public so that the window's behaviour can be driven as the
    // operator and the timers would.
    void CaricaServizi();
    void gridRowClick();
    void refreshTick();
    void Command1Click() override;
    void Label2Click();

    QTimer *refreshTimer() const { return m_timer1; }

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

private:
    void buildControls();
    void reloadServices(bool keepChosenRow);
    int chosenRow() const;
    void setClientHeight(int twipsHeight);
    CallRequest callRequest() const override;
    void showOutcome(const CallOutcome &outcome) override;
    void reportSendFailure(const Error &error) override;
    void showBox(const QString &text, const QString &title, const std::optional<Error> &cause = std::nullopt);
    void pauseRefresh() override;
    void resumeRefresh() override;
    void onRefused();
    void onSocketError(int code, const QString &description);

    State &m_state;

    QTableView *m_grid = nullptr;
    QStandardItemModel *m_services = nullptr;
    QPushButton *m_command1 = nullptr;
    QLabel *m_label3 = nullptr;
    QFrame *m_line1 = nullptr;
    ClickLabel *m_label2 = nullptr;
    QLabel *m_label7 = nullptr;
    QTimer *m_timer1 = nullptr;

    bool m_messageWindowShown = false;
    bool m_reloading = false;
    bool m_listFailureShown = false;
};

} // namespace tq3

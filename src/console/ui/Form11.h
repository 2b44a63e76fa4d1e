#pragma once

#include "startup/ui/Form.h"

#include <QTime>

#include <array>
#include <memory>

class QAction;
class QLabel;
class QMenuBar;
class QPushButton;

namespace tq3 {

class CallBlink;
class CallHistory;
class HistoryList;
class ServerLink;
class ServiceMenu;
struct AutomaticCallResult;

// The automatic console: a small window in the screen's bottom right corner
// whose "Avanti" calls the oldest waiting ticket of the desk's services.
class Form11 final : public Form {
    Q_OBJECT

public:
    static constexpr char kName[] = "Form11";
    struct State final {
        QString indirizzoServer;
        qint64 idServizio = 0;  // 64 bits: a service id is never cut into another's
        qint32 numeroDaChiamare = 0;
        QString descrizioneServizio;
        QString numeroTesto;
        QString testoPostazione;
        QString testoServizio;
        qint32 righeCronologia = 0;
        QTime oraUltimaChiamata;  // null until the first call of the run
    };

    // The title of the boxes that report socket errors.
    static inline const QString kApplicationTitle = QStringLiteral("TQ3MAX");

    // Client sizes in twips. The history's open and closed sizes are given
    // as outer sizes; the frame (title bar, menu bar, borders) is their
    // difference to the closed client size.
    static constexpr int kClientWidth = 2610;
    static constexpr int kClientHeight = 1185;
    static constexpr int kOuterWidthClosed = 2700;
    static constexpr int kOuterHeightClosed = 2145;
    static constexpr int kOuterWidthOpen = 6030;
    static constexpr int kOuterHeightOpen = 5895;
    static constexpr int kFrameWidth = kOuterWidthClosed - kClientWidth;
    static constexpr int kFrameHeight = kOuterHeightClosed - kClientHeight;

    Form11(WindowRegistry &registry, State &state);
    ~Form11() override;

    void load() override;
    void activated() override;

    // Handlers, public so that the window can be driven as the operator would.
    void Command1Click();
    void Label2Click();
    void PushButton1Click();
    void onSocketError(int code, const QString &description);

    ServerLink &link() const { return *m_link; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    void buildControls();
    bool readSettingsFile();
    void showResult(const AutomaticCallResult &result);
    void refreshSecondScreen();
    void setOuterSizeTwips(int width, int height);

    State &m_state;
    std::unique_ptr<ServerLink> m_link;
    std::unique_ptr<CallHistory> m_history;

    QMenuBar *m_menuBar = nullptr;
    QWidget *m_client = nullptr;
    QPushButton *m_command1 = nullptr;
    std::array<QLabel *, 3> m_label1{};
    QPushButton *m_pushButton1 = nullptr;
    QLabel *m_label2 = nullptr;
    QLabel *m_label3 = nullptr;
    QLabel *m_label4 = nullptr;
    QLabel *m_image1 = nullptr;
    HistoryList *m_lb1 = nullptr;
    QAction *m_cr1 = nullptr;
    CallBlink *m_blink = nullptr;
    ServiceMenu *m_serviceMenu = nullptr;

    bool m_callRunning = false;
};

} // namespace tq3

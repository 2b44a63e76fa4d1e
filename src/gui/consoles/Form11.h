#pragma once

#include "gui/consoles/ConsoleParts.h"

namespace tq3 {


// The automatic console: a small window in the screen's bottom right corner
// whose "Avanti" calls the oldest waiting ticket of the desk's services.
class Form11 final : public ConsoleForm {
    Q_OBJECT

public:
    static constexpr char kName[] = "Form11";
    struct State final : ConsoleState {
        qint32 numeroDaChiamare = 0;
        QString descrizioneServizio;
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
    void Command1Click() override;
    void Label2Click();
    void onSocketError(int code, const QString &description);

private:
    void buildControls();
    void showOutcome(const CallOutcome &outcome) override;
    void reportSendFailure(const Error &error) override;
    void refreshSecondScreen();
    void setOuterSizeTwips(int width, int height);

    State &m_state;

    QPushButton *m_command1 = nullptr;
    QLabel *m_label2 = nullptr;
    QLabel *m_label3 = nullptr;
    QLabel *m_image1 = nullptr;
    QAction *m_cr1 = nullptr;
};

} // namespace tq3

#pragma once

#include "gui/kit/Form.h"

#include <QString>

#include <array>

class QCheckBox;
class QLineEdit;

namespace tq3 {

struct StartupReport;

// The launcher: its load step is the client's start-up; it shows what
// start-up found and opens the console of the mode, the settings windows
// and the second screen.
class LaMain final : public Form {
    Q_OBJECT

public:
    static constexpr char kName[] = "LaMain";

    // What start-up left for main: show the launcher, or end the program.
    enum class Launch { Show, EndProgram };

    // What the window shows of start-up's findings, and the operator's tick;
    // each load starts again from the design contents.
    struct Shown final {
        QString deskName;
        QString mode;
        bool secondScreenBox = false;
    };
    struct State final {
        bool startupRan = false;
        Launch launch = Launch::Show;
        Shown shown;
    };

    LaMain(WindowRegistry &registry, State &state);

    // Start-up, once per run: a later reload (a window using the launcher
    // after it closed) shows the window's design contents only.
    void load() override;

    // Ticked or cleared by the client settings window's save; sets the box
    // only, without the click's showing or closing of the second screen.
    void setSecondScreenBox(bool ticked);
    // Centred again when a console closes.
    void centreOnScreen();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    Launch startUp();
    void showReport(const StartupReport &report);

    void openConsole();       // "&Ok"
    void openSettings();      // "Impostazioni"
    void openServices();      // "Servizi"
    void switchSecondScreen(bool ticked);  // click on schermo2
    void moveOutOfView();

    State &m_state;
    std::array<QLineEdit *, 3> m_a1{};
    QLineEdit *m_ipClient = nullptr;
    QCheckBox *m_schermo2 = nullptr;
};

} // namespace tq3

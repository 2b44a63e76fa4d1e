#pragma once

#include "gui/kit/Form.h"

#include <array>

class QFrame;
class QLabel;
class QTimer;

namespace tq3 {

// The window for the public, on the monitor to the right of the desk's own:
// either the out-of-service notice with the desk name, or the last number
// called with desk and service, blinking until the operator stops it.
class LoSchermo2 final : public Form {
    Q_OBJECT

public:
    static constexpr char kName[] = "LoSchermo2";
    struct State final {
    };

    LoSchermo2(WindowRegistry &registry, State &state);

    // Each may be called while the window is closed: it is then loaded
    // hidden with the requested contents.
    void ImpostaPostazione(const QString &nome);
    void MostraChiamata(const QString &nome, const QString &servizio, qint32 numero);
    void FermaLampeggio();
    void MostraInServizio();
    void MostraFuoriServizio();

    void load() override;
    // Brought to the front: covers its monitor again and goes back to the
    // out-of-service notice.
    void activated() override;

    // Blink tick of Timer1: the number toggles between shown and hidden.
    void blinkTick();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildOutOfServicePanel();
    void buildCallPanel();
    void placeOnPublicMonitor();
    void centrePanels();
    void setOutOfServiceDeskName(const QString &nome);

    State &m_state;
    QFrame *m_fuoriServizio = nullptr;
    QFrame *m_gruppo = nullptr;
    std::array<QLabel *, 3> m_label4{};
    QLabel *m_image1 = nullptr;
    QLabel *m_image2 = nullptr;
    QLabel *m_label1 = nullptr;
    QLabel *m_label2 = nullptr;
    QLabel *m_label3 = nullptr;
    QLabel *m_label5 = nullptr;
    QTimer *m_timer1 = nullptr;
    // The blinking number's half-period, shown at each load.
    bool m_numberShown = true;
};

} // namespace tq3

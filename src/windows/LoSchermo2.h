#pragma once

#include "startup/ui/Form.h"

namespace tq3 {

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

private:
    State &m_state;
};

} // namespace tq3

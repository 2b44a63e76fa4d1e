#pragma once

#include "startup/ui/Form.h"

namespace tq3 {

class LaMain final : public Form {
    Q_OBJECT

public:
    static constexpr char kName[] = "LaMain";
    struct State final {
    };

    LaMain(WindowRegistry &registry, State &state);

    // Ticked or cleared by the client settings window's save.
    void setSecondScreenBox(bool ticked);
    // Centred again when a console closes.
    void centreOnScreen();

private:
    State &m_state;
};

} // namespace tq3

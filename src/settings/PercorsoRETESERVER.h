#pragma once

#include "startup/ui/Form.h"

namespace tq3 {

class PercorsoRETESERVER final : public Form {
    Q_OBJECT

public:
    static constexpr char kName[] = "PercorsoRETESERVER";
    struct State final {
    };

    PercorsoRETESERVER(WindowRegistry &registry, State &state);

private:
    State &m_state;
};

} // namespace tq3

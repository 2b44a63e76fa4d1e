#pragma once

#include "startup/ui/Form.h"

namespace tq3 {

class ImpoRete final : public Form {
    Q_OBJECT

public:
    static constexpr char kName[] = "ImpoRete";
    struct State final {
    };

    ImpoRete(WindowRegistry &registry, State &state);

private:
    State &m_state;
};

} // namespace tq3

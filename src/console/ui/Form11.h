#pragma once

#include "startup/ui/Form.h"

namespace tq3 {

class Form11 final : public Form {
    Q_OBJECT

public:
    static constexpr char kName[] = "Form11";
    struct State final {
    };

    Form11(WindowRegistry &registry, State &state);

private:
    State &m_state;
};

} // namespace tq3

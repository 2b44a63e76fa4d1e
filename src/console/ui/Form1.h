#pragma once

#include "startup/ui/Form.h"

namespace tq3 {

class Form1 final : public Form {
    Q_OBJECT

public:
    static constexpr char kName[] = "Form1";
    struct State final {
    };

    Form1(WindowRegistry &registry, State &state);

private:
    State &m_state;
};

} // namespace tq3

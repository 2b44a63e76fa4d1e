#pragma once

#include "startup/ui/Form.h"

namespace tq3 {

class MsgForm final : public Form {
    Q_OBJECT

public:
    static constexpr char kName[] = "MsgForm";
    struct State final {
    };

    MsgForm(WindowRegistry &registry, State &state);

    // Shows one or two lines modally; returns once the window is closed.
    static void MostraMessaggio(WindowRegistry &registry, const QString &line0,
                                const QString &line1 = QString());

private:
    State &m_state;
};

} // namespace tq3

#pragma once

#include "startup/ui/Form.h"

namespace tq3 {

class FrmServizi final : public Form {
    Q_OBJECT

public:
    static constexpr char kName[] = "FrmServizi";
    struct State final {
    };

    FrmServizi(WindowRegistry &registry, State &state);

    // The title label, written by the launcher before showing the window.
    void setTitle(const QString &text);

private:
    State &m_state;
};

} // namespace tq3

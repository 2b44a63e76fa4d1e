#pragma once

#include "gui/kit/Form.h"

#include <QString>

class QLabel;

namespace tq3 {

// "Imposta Percorso Server 1": the operator chooses the server archive folder
// and saves it as field 1 of the settings file, keeping the other three.
class PercorsoRETESERVER final : public Form {
    Q_OBJECT

public:
    static constexpr char kName[] = "PercorsoRETESERVER";
    struct State final {
        // The folder chosen at this showing; empty until one is chosen.
        QString folder;
    };

    PercorsoRETESERVER(WindowRegistry &registry, State &state);

private:
    void chooseFolder();
    void save();

    State &m_state;
    QLabel *m_txtshortcutdir = nullptr;
};

} // namespace tq3

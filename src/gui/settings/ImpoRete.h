#pragma once

#include "gui/kit/Form.h"

#include <QString>

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tq3 {

// "Impostazioni Client": desk name, server address and second-screen choice,
// with the server module's own data from Configurazione beside them.
class ImpoRete final : public Form {
    Q_OBJECT

public:
    static constexpr char kName[] = "ImpoRete";
    struct State final {
        // Field 1 of the settings file as last read; the save writes it back.
        QString percorso;
        // Server 1's address as IpS1 shows it, for "Utilizza Server 1".
        QString server1Address;
    };

    ImpoRete(WindowRegistry &registry, State &state);

    // Every activation reloads the fields, so unsaved typing is replaced.
    void activated() override;

private:
    void save();
    void useServer1();
    void changeFolder();
    void showServer1(const QString &archiveFolder);
    bool refuseUnstorable(const QString &value, const QString &what);

    State &m_state;
    QLineEdit *m_ipS1 = nullptr;
    QLineEdit *m_laPorta = nullptr;
    QLineEdit *m_nomeS1 = nullptr;
    QLineEdit *m_pr = nullptr;
    QLineEdit *m_nomeSportello = nullptr;
    QLineEdit *m_serverAlternativo = nullptr;
    QRadioButton *m_rbSi = nullptr;
    QRadioButton *m_rbNo = nullptr;
};

} // namespace tq3

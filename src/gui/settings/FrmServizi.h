#pragma once

#include "gui/kit/Form.h"
#include "core/store/Result.h"

#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QStandardItemModel;
class QTableView;

namespace tq3 {

class QueueDatabase;

// "Gestione Servizi": the desk's services beside the services in use, and
// the adding and removing of the desk's services.
class FrmServizi final : public Form {
    Q_OBJECT

public:
    static constexpr char kName[] = "FrmServizi";
    struct State final {
    };

    FrmServizi(WindowRegistry &registry, State &state);
    ~FrmServizi() override;

    // The title label, written by the launcher before showing the window.
    void setTitle(const QString &text);

    void load() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void addService();
    void removeService();
    void fillDeskServices();
    void fillActiveServices();
    void reportDatabaseError(const Error &error);

    State &m_state;
    std::unique_ptr<QueueDatabase> m_database;
    // Why the archive could not be opened, told once the window is on screen.
    std::optional<Error> m_openFailure;
    QLabel *m_title = nullptr;
    QLineEdit *m_nrServizi = nullptr;
    QTableView *m_grid = nullptr;
    QTableView *m_activeGrid = nullptr;
    QStandardItemModel *m_deskServices = nullptr;
    QStandardItemModel *m_activeServices = nullptr;
};

} // namespace tq3

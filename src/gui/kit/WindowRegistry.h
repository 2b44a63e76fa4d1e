#pragma once

#include "core/startup/ClientEnvironment.h"
#include "core/startup/SettingsRecord.h"
#include "gui/kit/Form.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>

#include <any>
#include <map>
#include <string>

class QWindow;

namespace tq3 {

// One instance of each window, under its name, for the whole run. A window
// class W has `static constexpr char kName[]`, a `State` struct and the
// constructor W(WindowRegistry &, W::State &). Its State lives from first use
// to the end of the run; its widget lives from load to close.
class WindowRegistry final : public QObject {
    Q_OBJECT

public:
    explicit WindowRegistry(ClientEnvironment environment = {}, QObject *parent = nullptr);
    ~WindowRegistry() override;

    SettingsRecord &record() { return m_record; }
    const ClientEnvironment &environment() const { return m_environment; }

    // Loads the window when it is not loaded: builds its controls from their
    // initial contents and runs its load step.
    template <class W>
    W &window();

    // The loaded window, or nullptr.
    template <class W>
    W *loaded() const;

    template <class W>
    typename W::State &state();

    // Closes (unloads) the window; no effect when it is not loaded.
    template <class W>
    void close();

    // Shows the form modally and returns once it has closed; the window that
    // was active before becomes active again.
    void showModal(Form &form);
    void showModeless(Form &form);

    // Off until start-up has shown the launcher.
    void setQuitWhenLastWindowCloses(bool enabled) { m_quitWhenLastWindowCloses = enabled; }

    // The window of the program that last became active, or nullptr.
    Form *activeForm() const { return m_lastActiveForm; }

Q_SIGNALS:
    // No window of the program is on screen any more.
    void lastWindowClosed();

private:
    void adopt(Form *form, const char *name);
    Form *find(const char *name) const;
    void onFocusWindowChanged(QWindow *window);
    void noteActivated(Form *form);
    void checkForLastWindow();

    ClientEnvironment m_environment;
    SettingsRecord m_record;
    QHash<QByteArray, QPointer<Form>> m_loaded;
    // One State per window name; a map's values stay where they are, so the
    // references handed out stay good for the whole run.
    std::map<std::string, std::any> m_states;
    QPointer<Form> m_lastActiveForm;
    bool m_quitWhenLastWindowCloses = false;
    bool m_lastWindowReported = false;
};

template <class W>
typename W::State &WindowRegistry::state()
{
    std::any &slot = m_states[W::kName];
    if (!slot.has_value())
        slot.template emplace<typename W::State>();
    return std::any_cast<typename W::State &>(slot);
}

template <class W>
W *WindowRegistry::loaded() const
{
    return static_cast<W *>(find(W::kName));
}

template <class W>
W &WindowRegistry::window()
{
    if (W *existing = loaded<W>())
        return *existing;
    auto *created = new W(*this, state<W>());
    adopt(created, W::kName);
    created->load();
    return *created;
}

template <class W>
void WindowRegistry::close()
{
    if (W *existing = loaded<W>()) {
        existing->m_unloaded = true;  // also when it was loaded but never shown
        existing->close();
    }
}

} // namespace tq3

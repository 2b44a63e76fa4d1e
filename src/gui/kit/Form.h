#pragma once

#include <QDialog>

namespace tq3 {

class WindowRegistry;

// Base of every window. A window's controls exist only while it is loaded;
// its own fields live in a State struct that the registry keeps for the run.
class Form : public QDialog {
    Q_OBJECT

public:
    explicit Form(WindowRegistry &registry);

    WindowRegistry &registry() const { return m_registry; }

    // The load step, run by the registry once the controls are built.
    virtual void load() {}

    // The window became the program's active window: shown, or come back to
    // from another window of the program (not from another program).
    virtual void activated() {}

    // Closed and waiting for its deferred deletion: no longer loaded, even
    // though the object still exists until the event loop runs again. A form
    // is never hidden, only closed (minimising is not hiding).
    bool isUnloaded() const { return m_unloaded; }

protected:
    void setClientSizeTwips(int width, int height);
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    // Escape does not close a window: only its own buttons and close box do.
    void keyPressEvent(QKeyEvent *event) override;

private:
    WindowRegistry &m_registry;
    bool m_unloaded = false;

    friend class WindowRegistry;
};

} // namespace tq3

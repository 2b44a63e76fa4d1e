#include "gui/kit/WindowRegistry.h"

#include <QGuiApplication>
#include <QTimer>
#include <QWindow>

namespace tq3 {

WindowRegistry::WindowRegistry(ClientEnvironment environment, QObject *parent)
    : QObject(parent)
    , m_environment(std::move(environment))
{
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this,
            &WindowRegistry::onFocusWindowChanged);
}

WindowRegistry::~WindowRegistry()
{
    for (const QPointer<Form> &form : std::as_const(m_loaded))
        delete form.data();
}

void WindowRegistry::adopt(Form *form, const char *name)
{
    form->setObjectName(QString::fromLatin1(name));
    m_loaded.insert(QByteArray(name), form);
    connect(form, &QObject::destroyed, this, [this] {
        QTimer::singleShot(0, this, &WindowRegistry::checkForLastWindow);
    });
}

Form *WindowRegistry::find(const char *name) const
{
    Form *form = m_loaded.value(QByteArray(name)).data();
    // A closed form lingers until its deferred deletion; the next use must
    // load a fresh one.
    return form && !form->isUnloaded() ? form : nullptr;
}

void WindowRegistry::showModal(Form &form)
{
    QPointer<Form> caller = m_lastActiveForm;
    form.exec();  // deletes the form on return (WA_DeleteOnClose)
    if (!caller || !caller->isVisible())
        return;
    // Coming back from a modal window of the program is an activation of its
    // caller, and without a window manager nothing gives the focus back.
    m_lastActiveForm = nullptr;
    if (QGuiApplication::focusWindow() == caller->windowHandle())
        noteActivated(caller);
    else
        caller->activateWindow();
}

void WindowRegistry::showModeless(Form &form)
{
    form.show();
    form.raise();
    form.activateWindow();
}

void WindowRegistry::onFocusWindowChanged(QWindow *window)
{
    if (!window)
        return;  // another program took the focus: not an activation
    for (const QPointer<Form> &form : std::as_const(m_loaded)) {
        if (!form || form->windowHandle() != window)
            continue;
        // Coming back from a message box, a folder chooser or another
        // program leaves the last active window unchanged: no activation.
        if (m_lastActiveForm != form)
            noteActivated(form);
        return;
    }
}

void WindowRegistry::noteActivated(Form *form)
{
    m_lastActiveForm = form;
    form->activated();
}

void WindowRegistry::checkForLastWindow()
{
    if (!m_quitWhenLastWindowCloses || m_lastWindowReported)
        return;
    for (const QPointer<Form> &form : std::as_const(m_loaded)) {
        if (form && form->isVisible())
            return;
    }
    m_lastWindowReported = true;  // windows closing together report it once
    Q_EMIT lastWindowClosed();
}

} // namespace tq3

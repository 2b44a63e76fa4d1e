#include "startup/ui/WindowRegistry.h"

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
    return m_loaded.value(QByteArray(name)).data();
}

void WindowRegistry::showModal(Form &form)
{
    QPointer<Form> caller = m_lastActiveForm;
    form.exec();
    // Without a window manager nothing gives the focus back to the caller.
    if (caller && caller->isVisible())
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
        if (m_lastActiveForm == form)
            return;
        m_lastActiveForm = form;
        form->activated();
        return;
    }
}

void WindowRegistry::checkForLastWindow()
{
    if (!m_quitWhenLastWindowCloses)
        return;
    for (const QPointer<Form> &form : std::as_const(m_loaded)) {
        if (form && form->isVisible())
            return;
    }
    Q_EMIT lastWindowClosed();
}

} // namespace tq3

#include "gui/kit/Form.h"

#include "gui/kit/Twips.h"

#include <QHideEvent>
#include <QKeyEvent>
#include <QShowEvent>

namespace tq3 {

Form::Form(WindowRegistry &registry)
    : QDialog(nullptr)
    , m_registry(registry)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

void Form::setClientSizeTwips(int width, int height)
{
    setFixedSize(twips::size(width, height));
}

void Form::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // A bare X server or the offscreen platform has no window manager to
    // activate a newly shown window.
    if (!event->spontaneous())
        activateWindow();
}

void Form::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    // A minimised window gets a spontaneous hide; only closing hides it
    // from the program's side.
    if (!event->spontaneous())
        m_unloaded = true;
}

void Form::keyPressEvent(QKeyEvent *event)
{
    // QDialog would reject() on Escape, bypassing the window's close request.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace tq3

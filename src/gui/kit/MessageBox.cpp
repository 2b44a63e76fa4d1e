#include "gui/kit/MessageBox.h"

#include <QMessageBox>

namespace tq3 {

void showMessageBox(QWidget *parent, const QString &text, const QString &title, BoxIcon icon)
{
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case BoxIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case BoxIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case BoxIcon::Stop:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    // Without a window manager nothing gives the focus back to the window
    // the box spoke for.
    if (parent && parent->window()->isVisible())
        parent->window()->activateWindow();
}

} // namespace tq3

#include "gui/kit/MessageBox.h"

#include "core/log/Log.h"

#include <QMessageBox>

namespace tq3 {

void logShown(const QString &window, const QStringList &lines, const std::optional<Error> &cause)
{
    const QString shown = window + QStringLiteral(": ") + lines.join(QStringLiteral(" / "));
    if (cause)
        qCWarning(lcOperator).noquote() << shown << "|" << (cause->detail.isEmpty() ? cause->message : cause->detail);
    else
        qCInfo(lcOperator).noquote() << shown;
}

void showMessageBox(QWidget *parent, const QString &text, const QString &title, BoxIcon icon,
                    const std::optional<Error> &cause)
{
    logShown(title, {text}, cause);
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

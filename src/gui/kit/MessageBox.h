#pragma once

#include <QString>

class QWidget;

namespace tq3 {

enum class BoxIcon { None, Information, Stop };

// The platform's modal message box: text, title, icon and one OK button.
// Returns when the operator has closed it.
void showMessageBox(QWidget *parent, const QString &text, const QString &title, BoxIcon icon);

} // namespace tq3

#pragma once

#include "core/store/Result.h"

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace tq3 {

enum class BoxIcon { None, Information, Stop };

// The platform's modal message box: text, title, icon and one OK button.
// Returns when the operator has closed it. What it says goes to the log
// too, with the detail of the `cause` it reports, where there is one.
void showMessageBox(QWidget *parent, const QString &text, const QString &title, BoxIcon icon,
                    const std::optional<Error> &cause = std::nullopt);

// Logs what the operator is about to be shown: every box and message window
// does, so that none can show a failure and leave its detail out of the log.
void logShown(const QString &window, const QStringList &lines, const std::optional<Error> &cause);

} // namespace tq3

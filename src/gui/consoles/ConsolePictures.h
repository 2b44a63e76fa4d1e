#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

// The pictures stored with the consoles, painted at the size they are shown.
namespace tq3::pictures {

// Behind the controls of both consoles: the window colour with a soft light
// from the top and a faint wave in the bottom right corner.
QPixmap consoleBackground(QSize size);
// The automatic console's picture beside its history, and its window icon.
QPixmap automaticConsoleMark(QSize size);
QIcon automaticConsoleIcon();

} // namespace tq3::pictures

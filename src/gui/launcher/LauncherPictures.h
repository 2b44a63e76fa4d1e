#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

// The launcher's own pictures, drawn rather than stored, so that they are
// sharp at any screen resolution.
namespace tq3::pictures {

// Soft call waves, light enough for text to stand on them.
QPixmap launcherBackground(QSize size);
// "TQ3" on a queue ticket, leaving the right-hand part free for the titles.
QPixmap launcherLogo(QSize size);
// A ticket with the number 3.
QIcon clientIcon();

} // namespace tq3::pictures

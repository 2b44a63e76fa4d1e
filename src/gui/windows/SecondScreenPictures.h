#pragma once

#include <QImage>
#include <QSize>

namespace tq3 {

// The background pictures of the public window's two panels, drawn at the
// size they are shown at so that they stay sharp on any monitor. Each is laid
// out for the labels that lie on it: light text on dark ground, dark text on
// a light plate.
QImage outOfServicePicture(QSize size);
QImage callPicture(QSize size);

} // namespace tq3

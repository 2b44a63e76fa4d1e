#pragma once

#include <QList>
#include <QRect>

namespace tq3 {

// Where the public window stands, given the desktop's monitors (virtual
// desktop coordinates) and which of them is the primary one.
//
// A monitor that lies wholly beyond the primary's right edge is the public
// monitor: the window covers it exactly. Without one, the window keeps the
// primary's size and stands just off its right edge (offScreenGap pixels
// beyond it), where a monitor plugged in later would extend the desktop.
QRect secondScreenPlacement(const QList<QRect> &monitors, qsizetype primaryIndex,
                            int offScreenGap);

} // namespace tq3

#pragma once

#include <QColor>
#include <QFont>

namespace tq3::look {

// Tahoma where the machine has it (Debian's fonts-wine ships a compatible
// one), else the system's sans serif.
QFont tahoma(qreal pointSize, bool bold = false);
QFont trebuchet(qreal pointSize, bool bold = false);

// A colour written as &H00BBGGRR.
QColor fromBgr(quint32 bgr);

} // namespace tq3::look

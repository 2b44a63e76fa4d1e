#include "gui/kit/Look.h"

#include <QFile>
#include <QFontDatabase>
#include <QStringList>

namespace tq3::look {

namespace {

QString loadedFamily(const QStringList &files, const QString &wanted)
{
    if (QFontDatabase::families().contains(wanted))
        return wanted;
    QString family;
    for (const QString &file : files) {
        if (!QFile::exists(file))
            continue;
        const int id = QFontDatabase::addApplicationFont(file);
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (family.isEmpty() && !families.isEmpty())
            family = families.first();
    }
    return family.isEmpty() ? QStringLiteral("DejaVu Sans") : family;
}

const QString &tahomaFamily()
{
    static const QString family = loadedFamily(
        {QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"),
         QStringLiteral("/usr/share/wine/fonts/tahomabd.ttf")},
        QStringLiteral("Tahoma"));
    return family;
}

QFont make(const QString &family, qreal pointSize, bool bold)
{
    QFont font(family);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

} // namespace

QFont tahoma(qreal pointSize, bool bold)
{
    return make(tahomaFamily(), pointSize, bold);
}

QFont trebuchet(qreal pointSize, bool bold)
{
    const QString family = QFontDatabase::families().contains(QStringLiteral("Trebuchet MS"))
        ? QStringLiteral("Trebuchet MS")
        : tahomaFamily();
    return make(family, pointSize, bold);
}

QColor fromBgr(quint32 bgr)
{
    return QColor(static_cast<int>(bgr & 0xff), static_cast<int>((bgr >> 8) & 0xff),
                  static_cast<int>((bgr >> 16) & 0xff));
}

} // namespace tq3::look

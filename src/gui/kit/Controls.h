#pragma once

#include "gui/kit/Twips.h"

#include <QColor>
#include <QPalette>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <utility>

// The one way a window makes a control: named with its system name (tests
// find it by that name) and placed at its twips rectangle, so every window
// reads like its control table.
namespace tq3::kit {

// left, top, width, height in twips, as the control tables give them.
struct Twips final {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    QRect pixels() const { return twips::rect(left, top, width, height); }
};

// A control of type C built as C(args..., parent), named and placed.
template <class C, class... Args>
C *control(QWidget *parent, const QString &name, const Twips &at, Args &&...args)
{
    auto *made = new C(std::forward<Args>(args)..., parent);
    made->setObjectName(name);
    made->setGeometry(at.pixels());
    return made;
}

// Text colour and, when given, a filled background.
inline void setColours(QWidget *widget, const QColor &text, const QColor &background = QColor())
{
    QPalette palette = widget->palette();
    if (text.isValid()) {
        palette.setColor(QPalette::WindowText, text);
        palette.setColor(QPalette::Text, text);
    }
    if (background.isValid()) {
        palette.setColor(QPalette::Window, background);
        widget->setAutoFillBackground(true);
    }
    widget->setPalette(palette);
}

// Enter typed in a field presses no button: a dialog would make its first
// push button the default one.
inline void noAutoDefault(QWidget *window)
{
    for (QPushButton *button : window->findChildren<QPushButton *>())
        button->setAutoDefault(false);
}

} // namespace tq3::kit

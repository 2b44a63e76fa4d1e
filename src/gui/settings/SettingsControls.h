#pragma once

#include <QString>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace tq3 {
class Form;
}

// Builders shared by the settings windows: every control gets its name and
// its place in twips, so the windows read like their control tables.
namespace tq3::settingsui {

// Fixed dialog frame without minimise, maximise or help buttons, white
// background, Tahoma 8.25 pt, client area in twips, centred on the screen.
void setUpDialog(Form &form, int widthTwips, int heightTwips);

QLabel *label(QWidget *parent, const QString &name, const QString &text, int left, int top,
              int width, int height);
QLineEdit *textField(QWidget *parent, const QString &name, int left, int top, int width,
                     int height);
QPushButton *button(QWidget *parent, const QString &name, const QString &caption, int left,
                    int top, int width, int height);
QGroupBox *groupBox(QWidget *parent, const QString &name, const QString &title, int left,
                    int top, int width, int height);
QRadioButton *radioButton(QWidget *parent, const QString &name, const QString &caption, int left,
                          int top, int width, int height);

} // namespace tq3::settingsui

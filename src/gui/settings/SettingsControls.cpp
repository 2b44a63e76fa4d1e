#include "gui/settings/SettingsControls.h"

#include "gui/kit/Form.h"
#include "gui/kit/Look.h"
#include "gui/kit/Twips.h"
#include "gui/kit/WindowRegistry.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QWindow>

namespace tq3::settingsui {

namespace {

template <class W>
W *place(W *widget, const QString &name, int left, int top, int width, int height)
{
    widget->setObjectName(name);
    widget->setGeometry(twips::rect(left, top, width, height));
    return widget;
}

} // namespace

void setUpDialog(Form &form, int widthTwips, int heightTwips)
{
    form.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                        | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    form.setFont(look::tahoma(8.25));
    QPalette palette = form.palette();
    palette.setColor(QPalette::Window, Qt::white);
    form.setPalette(palette);
    form.setAutoFillBackground(true);
    const QSize size = twips::size(widthTwips, heightTwips);
    form.setFixedSize(size);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        form.move(area.x() + (area.width() - size.width()) / 2,
                  area.y() + (area.height() - size.height()) / 2);
    }
    // Owned by the window that opens it, so it stays off the task bar.
    Form *owner = form.registry().activeForm();
    if (owner && owner != &form && owner->isVisible() && owner->windowHandle()) {
        form.winId();
        form.windowHandle()->setTransientParent(owner->windowHandle());
    }
}

QLabel *label(QWidget *parent, const QString &name, const QString &text, int left, int top,
              int width, int height)
{
    return place(new QLabel(text, parent), name, left, top, width, height);
}

QLineEdit *textField(QWidget *parent, const QString &name, int left, int top, int width,
                     int height)
{
    return place(new QLineEdit(parent), name, left, top, width, height);
}

QPushButton *button(QWidget *parent, const QString &name, const QString &caption, int left,
                    int top, int width, int height)
{
    auto *pushButton = place(new QPushButton(caption, parent), name, left, top, width, height);
    pushButton->setAutoDefault(false);
    return pushButton;
}

QGroupBox *groupBox(QWidget *parent, const QString &name, const QString &title, int left,
                    int top, int width, int height)
{
    auto *group = place(new QGroupBox(title, parent), name, left, top, width, height);
    // The style draws the frame a shade darker than the window colour: on
    // the white background it would vanish. The box itself is not filled.
    QPalette palette = group->palette();
    palette.setColor(QPalette::Window, QColor(0xd8, 0xd8, 0xd8));
    group->setPalette(palette);
    return group;
}

QRadioButton *radioButton(QWidget *parent, const QString &name, const QString &caption, int left,
                          int top, int width, int height)
{
    return place(new QRadioButton(caption, parent), name, left, top, width, height);
}

} // namespace tq3::settingsui

#include "gui/settings/SettingsDialog.h"

#include "gui/kit/Controls.h"
#include "gui/kit/Form.h"
#include "gui/kit/Look.h"
#include "gui/kit/Twips.h"
#include "gui/kit/WindowRegistry.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

namespace tq3::settingsui {

void setUpDialog(Form &form, int widthTwips, int heightTwips)
{
    form.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                        | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    form.setFont(look::tahoma(8.25));
    kit::setColours(&form, QColor(), Qt::white);
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

void styleControls(Form &form)
{
    kit::noAutoDefault(&form);
    // The style draws a frame a shade darker than the window colour: on the
    // white background it would vanish. The boxes themselves are not filled.
    for (QGroupBox *group : form.findChildren<QGroupBox *>()) {
        QPalette palette = group->palette();
        palette.setColor(QPalette::Window, QColor(0xd8, 0xd8, 0xd8));
        group->setPalette(palette);
    }
}

} // namespace tq3::settingsui

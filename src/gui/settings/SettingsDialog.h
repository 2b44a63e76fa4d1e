#pragma once

namespace tq3 {
class Form;
}

// The frame the settings windows share.
namespace tq3::settingsui {

// Fixed dialog frame without minimise, maximise or help buttons, white
// background, Tahoma 8.25 pt, client area in twips, centred on the screen.
void setUpDialog(Form &form, int widthTwips, int heightTwips);

// Once the controls are built: Enter presses no button, and the group boxes'
// frames show on the white background.
void styleControls(Form &form);

} // namespace tq3::settingsui

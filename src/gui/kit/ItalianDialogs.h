#pragma once

namespace tq3 {

// Qt's own dialogs and buttons (the folder chooser above all) in Italian,
// whatever the language of the desk PC: Qt's translations, from Debian's
// qt6-translations-l10n or from a "translations" folder beside the program.
// False, and English dialogs, when they cannot be found.
bool installItalianDialogs();

} // namespace tq3

// What the program remembers between runs (window positions, the folders of the file dialogs,
// the MP3 bit rate of "&Mp3 Setup", the CD window's output choices), in the desktop's usual place
// for program settings (on Linux ~/.config/Quorvin/Quorvin Audio Tools.conf), or in a file a test
// names. Window thread only.
#pragma once

#include <QSettings>
#include <string>

namespace platform {

// The program's settings.
QSettings& settings();
// Keeps the settings in `path` (an INI file) from now on; "" goes back to the desktop's place.
void useSettingsFile(const std::string& path);

}  // namespace platform

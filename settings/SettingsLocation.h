#pragma once
// Where the settings file lives: in the user's configuration directory, or
// beside the program for portable use.

#include "settings/SplitSettings.h"

#include <string>

namespace sundrel::settings {

// $XDG_CONFIG_HOME/sundrel/ when that variable holds an absolute path, else
// $HOME/.config/sundrel/ (the home directory from the password database when
// HOME is unset). With its trailing '/'; empty when no home is known.
std::string userConfigDirectory();

// SettingValue.ini beside the program when it exists there and both it and its
// directory can be written (portable use); otherwise SettingValue.ini in
// userConfigDirectory(). Computed anew at every call.
std::string settingsFilePath();

struct SaveResult {
  bool saved = false;
  std::string path;   // where the settings were (to be) written
  std::string reason; // why not, when not saved
};

// Writes the options group to settingsFilePath(), first making the missing
// directories of the user's configuration directory with mode 0700. A new
// file gets mode 0600: it may hold passwords.
SaveResult saveUserSettings(const SplitSettings& settings);

} // namespace sundrel::settings

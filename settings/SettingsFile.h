#pragma once
// Maps the options group of SplitSettings to the settings file
// SettingValue.ini (settingsFilePath() tells where it is).

#include "settings/SplitSettings.h"

#include <string>

namespace sundrel::settings {

inline constexpr std::string_view kSettingsFileName = "SettingValue.ini";

// Reads the seventeen keys into the options group: a missing integer key keeps
// the field's current value, a missing text key gives an empty text;
// namePattern is left alone; then SubsetFonts, which is 1 when missing. A
// missing file reads as one without keys; a file that is there but cannot be
// read or decoded does too, and the result says why (empty otherwise), so
// that no setting is dropped unsaid.
[[nodiscard]] std::string loadSettings(SplitSettings& settings, const std::string& path);

// Writes the seventeen keys in their documented order, then SubsetFonts,
// keeping the rest of an
// existing file. False when the file could not be written, with the reason
// in *reason when given; the caller's values stay as they are.
bool saveSettings(const SplitSettings& settings, const std::string& path,
                  std::string* reason = nullptr);

} // namespace sundrel::settings

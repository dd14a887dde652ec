// What the meter window remembers between runs: the capture device, the bar meter's scale and
// the platter and
// the deviation panel's span, in a small text file of the user's configuration directory (XDG; on
// Windows %APPDATA%).
#pragma once

#include <string>

namespace wobblemeter {

struct MeterSettings {
    std::string device;          // as the device list names it; empty: none chosen yet
    double barScalePercent = 0;  // 0: none chosen yet
    double platterRpm = 0;       // the platter chosen: 0 none (or none chosen yet)
    // The deviation panel's span, s: 0 the whole stretch; negative: none chosen yet.
    double deviationSpanSeconds = -1;
};

// $XDG_CONFIG_HOME/wobblegen/wobblemeter-gui.conf, or under ~/.config where XDG_CONFIG_HOME is
// unset or not absolute; empty when neither it nor HOME is set. On Windows
// %APPDATA%\wobblegen\wobblemeter-gui.conf; empty without APPDATA.
std::string SettingsPath();

// The settings in the file at path; defaults for what is missing or unreadable (a file that
// cannot be read is no reason not to start).
MeterSettings LoadSettings(const std::string& path);

// Writes the settings to path (its directory made where missing), complete or not at all.
// False when that fails, with the reason in *error.
bool SaveSettings(const std::string& path, const MeterSettings& settings, std::string* error);

}  // namespace wobblemeter

// The sample application's unattended run (--script).
#pragma once
#include <string>

#include "stand_in_host.h"

namespace sample {

// Loads the plug-ins of pluginFolder with TabList on the wheel's down step
// (TL1=1 in rollvix.ini, put back afterwards), then prints the loaded
// plug-ins, the tools menu after the plug-ins extended it and the effect of
// wheel notches over the tab bar; opens the settings dialog through the
// plug-in's menu item and plays the TabList gesture with real input. Pictures
// of both go to outputDir as settings-dialog.png and tablist-popup.png
// (settings-dialog-144dpi.png and so on at other resolutions, and
// settings-dialog-144dpi-scaled.png for a host the system scales).
// 0 when everything worked.
int RunScript(host::StandInHost& host, const std::string& pluginFolder, const std::string& outputDir);

// printf to stdout, the CP932 text converted to UTF-8 for the terminal.
void Say(const char* format, ...);

}  // namespace sample

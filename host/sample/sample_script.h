// The sample application's unattended run (--script).
#pragma once
#include "stand_in_host.h"

namespace sample {

// Prints the loaded plug-ins, their names, the tools menu after the plug-ins
// extended it and the effect of wheel notches over the tab bar. 0 on success.
int RunScript(host::StandInHost& host);

// printf to stdout, the CP932 text converted to UTF-8 for the terminal.
void Say(const char* format, ...);

}  // namespace sample

// The settings dialog (IDD_DLG), opened from the host's menu.
#pragma once
#include <windows.h>

// Runs the dialog modally, owned by the host's main window.
void RunSettingsDialog();

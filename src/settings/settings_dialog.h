// The settings dialog (IDD_DLG), opened from the host's menu.
#pragma once
#include <windows.h>

// Runs the dialog modally, owned by the host's main window.
void RunSettingsDialog();

INT_PTR CALLBACK SettingsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Sets the controls from the process-wide Settings and fills the key lists.
void InitSettingsDialog(HWND dialog);

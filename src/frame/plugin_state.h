// The plug-in's one process-wide state.
#pragma once
#include <windows.h>

#include "frame/host_api.h"
#include "frame/mouse_capture.h"
#include "hook/wheel_hook.h"
#include "hook/wheel_run.h"
#include "settings/settings_store.h"

struct PluginState {
    HINSTANCE hModule;
    HHOOK hHook;  // null while no hook is installed
    HWND hwndMain;
    HWND hwndMdiClient;
    HWND hwndTab;
    HWND hwndStatus;
    HWND hwndList;   // the host's message list (a list view)
    HWND hwndView;   // the host's message view pane
    HWND hwndStartChild;  // MDI child active at start-up
    DWORD tabButtons;     // 1 when the tab control has TCS_BUTTONS
    HostApi api;
    Settings settings;
    DWORD hookThreadId;   // the host's GUI thread, the one the hook sees
    // Gesture state of the message hook.
    Hold hold;  // the right press held back, if any; its stage says whether a gesture was done
    DWORD savedRDownKeys;
    DWORD savedRDownDouble;  // the held-back press came as a double click
    DWORD clickReplayed;     // the last right click reached the host as a replay
    PostedReplay replay;     // the replayed press posted and not yet taken back
    TakenRelease lastRelease;
    // Partial rotation gathered so far, per axis: a swipe's vertical and
    // sideways pieces come interleaved, and neither drops the other's rest.
    WheelRun wheel;
    WheelRun hwheel;
};

// Zero when the module loads; filled once by StartPlugin.
extern PluginState g_plugin;

// The host's windows are its GUI thread's; another program's (or another
// thread's) never get our messages.
inline bool IsOnHookThread(HWND hwnd) { return GetWindowThreadProcessId(hwnd, nullptr) == g_plugin.hookThreadId; }

// Window text written on the host's toolbar and tab control.
constexpr char kTargetMarker[] = "RollvixTarget";
// Plug-in-local command number of the settings menu item.
constexpr int kIdSettingsBase = 35000;
constexpr int kEventPluginInfo = 1000;
constexpr int kEventMenuInit = 1001;

int StartPlugin();
int InstallHook();
void StopPlugin();

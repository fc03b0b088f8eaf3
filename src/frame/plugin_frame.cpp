// Start-up, shut-down and the two entry points the host calls.
#include <windows.h>
#include <commctrl.h>

#include "frame/mouse_capture.h"
#include "frame/plugin_info.h"
#include "frame/plugin_state.h"
#include "hook/wheel_hook.h"
#include "settings/settings_dialog.h"
#include "settings/settings_store.h"

PluginState g_plugin;

namespace {

// A main window of another program (or none) would have us mark that
// program's windows and hook its thread.
bool IsWindowOfThisProcess(HWND hwnd) {
    if (!hwnd || !IsWindow(hwnd)) return false;
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    return process == GetCurrentProcessId();
}

}  // namespace

int InstallHook() {
    if (g_plugin.hHook) return 1;
    // Hook the host's GUI thread, whichever thread loads the module; never
    // thread 0, which would hook every program on the desktop.
    DWORD thread = GetWindowThreadProcessId(g_plugin.hwndMain, nullptr);
    if (!thread) return 0;
    g_plugin.hookThreadId = thread;
    g_plugin.hHook = SetWindowsHookExA(WH_GETMESSAGE, WheelHookProc, g_plugin.hModule, thread);
    return g_plugin.hHook != nullptr;
}

int StartPlugin() {
    if (!BindHostApi(g_plugin.api)) return 0;

    HWND scratch2 = nullptr, scratch5 = nullptr;
    g_plugin.api.QMA_GetStaticWindows(&g_plugin.hwndMain, &scratch2, &g_plugin.hwndList, &g_plugin.hwndView,
                                      &scratch5);
    // Before any search: a null parent would search the desktop's windows.
    if (!IsWindowOfThisProcess(g_plugin.hwndMain)) return 0;

    g_plugin.hwndMdiClient = FindWindowExA(g_plugin.hwndMain, nullptr, "MDIClient", nullptr);
    HWND toolbar = FindWindowExA(g_plugin.hwndMain, nullptr, TOOLBARCLASSNAMEA, nullptr);
    g_plugin.hwndStatus = FindWindowExA(g_plugin.hwndMain, nullptr, STATUSCLASSNAMEA, nullptr);
    if (!toolbar) return 0;
    g_plugin.hwndTab = FindWindowExA(toolbar, nullptr, WC_TABCONTROLA, nullptr);
    if (!g_plugin.hwndTab) return 0;

    // The hook recognises these two windows under the cursor by this text.
    SetWindowTextA(toolbar, kTargetMarker);
    SetWindowTextA(g_plugin.hwndTab, kTargetMarker);

    if (g_plugin.hwndMdiClient)
        g_plugin.hwndStartChild =
            reinterpret_cast<HWND>(SendMessageA(g_plugin.hwndMdiClient, WM_MDIGETACTIVE, 0, 0));
    if (GetWindowLongA(g_plugin.hwndTab, GWL_STYLE) & TCS_BUTTONS) g_plugin.tabButtons = 1;

    LoadSettings();
    return InstallHook();
}

void StopPlugin() {
    // Ends a held-back press and the capture the plug-in gave, and no other.
    EndHoldForUnload();
    if (g_plugin.hHook) {
        UnhookWindowsHookEx(g_plugin.hHook);
        g_plugin.hHook = nullptr;
    }
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            g_plugin.hModule = instance;
            return StartPlugin() ? TRUE : FALSE;
        case DLL_PROCESS_DETACH:
            StopPlugin();
            return TRUE;
        default:
            return TRUE;
    }
}

extern "C" int __cdecl QMH_OnHandleEvent(LPARAM /*unread*/, int event, int kind, LPARAM data) {
    if (event == kEventPluginInfo) {
        if (data) FillPluginInfo(reinterpret_cast<BYTE*>(data));
        return 1;
    }
    if (event == kEventMenuInit && (kind == 3 || kind == 7)) {
        int id = g_plugin.api.QMA_GetTempID(g_plugin.hModule, kIdSettingsBase);
        AppendMenuA(reinterpret_cast<HMENU>(data), MF_STRING, static_cast<UINT_PTR>(id), kMenuLabel);
        return 1;
    }
    return 0;
}

extern "C" void __cdecl QMH_OnCmdProc(LPARAM /*unread*/, int command) {
    // The host passes back our own number, not the identifier it handed out.
    if (command == kIdSettingsBase) RunSettingsDialog();
}

// A DLL that does nothing but install one WH_GETMESSAGE hook for the thread
// that loads it, the way the plug-in installs its own, and pass every message
// on: the floor that the plug-in's hook and start-up are measured against.
#include <windows.h>

namespace {

HHOOK g_hook;

LRESULT CALLBACK PassOn(int code, WPARAM wParam, LPARAM lParam) {
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_hook = SetWindowsHookExA(WH_GETMESSAGE, PassOn, instance, GetCurrentThreadId());
        return g_hook != nullptr;
    }
    if (reason == DLL_PROCESS_DETACH && g_hook) UnhookWindowsHookEx(g_hook);
    return TRUE;
}

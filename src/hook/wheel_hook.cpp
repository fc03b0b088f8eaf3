#include "hook/wheel_hook.h"

#include "frame/plugin_state.h"

LRESULT CALLBACK WheelHookProc(int code, WPARAM wParam, LPARAM lParam) {
    return CallNextHookEx(g_plugin.hHook, code, wParam, lParam);
}

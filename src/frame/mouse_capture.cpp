#include "frame/mouse_capture.h"

#include "frame/plugin_state.h"

bool RightButtonHeld() {
    const int vk = GetSystemMetrics(SM_SWAPBUTTON) ? VK_LBUTTON : VK_RBUTTON;
    return (GetAsyncKeyState(vk) & kKeyDown) != 0;
}

void TakeGestureCapture() { SetCapture(g_plugin.hwndMdiClient); }

void KeepGestureCapture() {
    HWND mdi = g_plugin.hwndMdiClient;
    if (mdi && GetCapture() != mdi) SetCapture(mdi);
}

void LendGestureCapture() {
    if (GetCapture() == g_plugin.hwndMdiClient) ReleaseCapture();
}

void EndGestureCapture() { ReleaseCapture(); }

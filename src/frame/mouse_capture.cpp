#include "frame/mouse_capture.h"

#include "frame/plugin_state.h"

namespace {

bool PhysicallyDown(int vk) { return (GetAsyncKeyState(vk) & kKeyDown) != 0; }

}  // namespace

int PhysicalButtonOfRightPress(bool swapped, bool leftDown, bool rightDown) {
    if (!swapped) return VK_RBUTTON;
    return rightDown && !leftDown ? VK_RBUTTON : VK_LBUTTON;
}

void NoteGestureButton() {
    g_plugin.gestureButton = PhysicalButtonOfRightPress(GetSystemMetrics(SM_SWAPBUTTON) != 0,
                                                        PhysicallyDown(VK_LBUTTON), PhysicallyDown(VK_RBUTTON));
}

bool GestureButtonHeld() { return PhysicallyDown(g_plugin.gestureButton ? g_plugin.gestureButton : VK_RBUTTON); }

void TakeGestureCapture() { SetCapture(g_plugin.hwndMdiClient); }

void KeepGestureCapture() {
    HWND mdi = g_plugin.hwndMdiClient;
    if (mdi && GetCapture() != mdi) SetCapture(mdi);
}

void LendGestureCapture() {
    if (GetCapture() == g_plugin.hwndMdiClient) ReleaseCapture();
}

void EndGestureCapture() { ReleaseCapture(); }

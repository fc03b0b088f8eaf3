#include "frame/mouse_capture.h"

#include "frame/plugin_state.h"
#include "tablist/tab_list_popup.h"

namespace {

bool PhysicallyDown(int vk) { return (GetAsyncKeyState(vk) & kKeyDown) != 0; }

// The release of the press being taken waits in the queue: a busy host
// takes a whole click late. Made before the hold's capture, a release over a
// caption is a non-client one.
bool ReleaseQueued() {
    static constexpr UINT kReleases[] = {WM_RBUTTONUP, WM_NCRBUTTONUP};
    MSG queued;
    for (UINT release : kReleases)
        if (PeekMessageA(&queued, nullptr, release, release, PM_NOREMOVE | PM_NOYIELD)) return true;
    return false;
}

// The held-back press is not over: its button is down, or its release waits
// in the queue. The button is read first: the system queues a release
// before the button reads up, so one not queued then went to another thread.
bool PressNotOver() { return GestureButtonHeld() || ReleaseQueued(); }

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

void HoldPress() {
    // A new press: the one before it rose, wherever its release went.
    EndHold();
    NoteGestureButton();
    if (!PressNotOver()) return;
    g_plugin.pressHeldBack = 1;
    g_plugin.leftPressedInHold = 0;
    // While the popup is open the capture is its own (lent to a question).
    if (!activeTabListPopup) TakeGestureCapture();
}

bool IsReleaseOfHeldPress() {
    if (!g_plugin.pressHeldBack) return false;
    // The popup ends the hold with itself.
    if (activeTabListPopup) return true;
    // Only the foreground thread's capture gets the mouse (so Microsoft
    // documents SetCapture): a host that lost the foreground while the
    // button was down lost the release with it, even where, as under wine,
    // its capture stays set.
    return GetCapture() && GetWindowThreadProcessId(GetForegroundWindow(), nullptr) == GetCurrentThreadId();
}

void EndHoldWhosePressIsOver() {
    if (!g_plugin.pressHeldBack || activeTabListPopup) return;
    // Once its button is up, with no release waiting here, none will come:
    // it went elsewhere, or was dropped (wine drops some to a disabled
    // window's children).
    if (!IsReleaseOfHeldPress() || !PressNotOver()) EndHold();
}

bool IsPressHeldBack() {
    EndHoldWhosePressIsOver();
    return g_plugin.pressHeldBack != 0;
}

void EndHold() {
    g_plugin.pressHeldBack = 0;
    if (!activeTabListPopup) LendGestureCapture();
}

void TakeGestureCapture() { SetCapture(g_plugin.hwndMdiClient); }

void KeepGestureCapture() {
    HWND mdi = g_plugin.hwndMdiClient;
    if (mdi && GetCapture() != mdi) SetCapture(mdi);
}

void LendGestureCapture() {
    if (GetCapture() == g_plugin.hwndMdiClient) ReleaseCapture();
}

void EndGestureCapture() {
    if (g_plugin.pressHeldBack && PressNotOver()) {
        KeepGestureCapture();
        return;
    }
    g_plugin.pressHeldBack = 0;
    ReleaseCapture();
}

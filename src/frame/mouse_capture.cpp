#include "frame/mouse_capture.h"

#include "frame/plugin_state.h"
#include "tablist/tab_list_popup.h"

namespace {

bool PhysicallyDown(int vk) { return (GetAsyncKeyState(vk) & kKeyDown) != 0; }

Hold& TheHold() { return g_plugin.hold; }

// A button message waits in the host's queue, which may be the release.
// GetQueueStatus runs nothing, unlike PeekMessage even with PM_NOREMOVE (it
// dispatches other threads' sent messages). Its answer may be stale, never
// short: a release queued here always shows.
bool ButtonMessageWaits() { return (HIWORD(GetQueueStatus(QS_MOUSEBUTTON)) & QS_MOUSEBUTTON) != 0; }

// The button is up and no release waits: the release went to another
// program's window, or was dropped (wine drops some at a disabled window's
// children).
bool ReleaseWentElsewhere() { return !GestureButtonHeld() && !ButtonMessageWaits(); }

bool HostInForeground() { return IsOnHookThread(GetForegroundWindow()); }

// The capture of the host's thread, from whichever thread asks.
HWND HostCapture() {
    if (GetCurrentThreadId() == g_plugin.hookThreadId) return GetCapture();
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(g_plugin.hookThreadId, &info) ? info.hwndCapture : nullptr;
}

// Releases the capture the plug-in gave, if that window still has it; any
// other capture (a drag of the host's, a question's) stays.
void ReleaseHoldCapture() {
    const HWND mine = TheHold().capture;
    TheHold().capture = nullptr;
    if (!mine || HostCapture() != mine) return;
    if (GetCurrentThreadId() == g_plugin.hookThreadId) {
        ReleaseCapture();
        return;
    }
    // ReleaseCapture ends only the calling thread's capture; the window's
    // default handling of WM_CANCELMODE releases its own on its thread.
    PostMessageA(mine, WM_CANCELMODE, 0, 0);
}

}  // namespace

int PhysicalButtonOfRightPress(bool swapped, bool leftDown, bool rightDown) {
    if (!swapped) return VK_RBUTTON;
    return rightDown && !leftDown ? VK_RBUTTON : VK_LBUTTON;
}

bool GestureButtonHeld() { return PhysicallyDown(TheHold().button ? TheHold().button : VK_RBUTTON); }

HWND GestureWindow() { return g_plugin.hwndMdiClient ? g_plugin.hwndMdiClient : g_plugin.hwndMain; }

void HoldPress() {
    // A new press: the one before it rose, wherever its release went.
    EndHold();
    Hold& hold = TheHold();
    hold.button = PhysicalButtonOfRightPress(GetSystemMetrics(SM_SWAPBUTTON) != 0, PhysicallyDown(VK_LBUTTON),
                                             PhysicallyDown(VK_RBUTTON));
    if (ReleaseWentElsewhere()) {
        hold.button = 0;
        return;
    }
    hold.stage = HoldStage::Held;
    // Only while the button is down: a release already queued comes anyway.
    // The host's own capture (a drag of its own) and the popup's stay theirs.
    if (GestureButtonHeld() && !activeTabListPopup && !GetCapture()) TakeGestureCapture();
}

void EndHoldShownOver(const MSG& msg) {
    const Hold& hold = TheHold();
    if (activeTabListPopup) return;
    // A move's key bits first: one made while the button was down comes
    // before the release in the queue (on Windows the button may read up a
    // moment before its release is queued).
    if (msg.message == WM_MOUSEMOVE && !(msg.wParam & MK_RBUTTON) && ReleaseWentElsewhere()) {
        EndHold();
        return;
    }
    if (HostInForeground()) return;
    // Another program is in front: a press begun there and carried in is the
    // host's. A gesture's release, should it come here, is still its own.
    if (hold.stage == HoldStage::Held)
        EndHold();
    else
        ReleaseHoldCapture();
}

bool HoldMakesGestures() { return TheHold().stage != HoldStage::None && HostInForeground(); }

void EndHold() {
    // The open popup's capture is its own until it closes.
    if (!activeTabListPopup) ReleaseHoldCapture();
    TheHold().stage = HoldStage::None;
    TheHold().button = 0;
}

void ReleaseCaptureForKeys() {
    // While the popup is open the keys are its dialog's, and the capture its own.
    if (!activeTabListPopup) ReleaseHoldCapture();
}

void TakeGestureCapture() {
    if (!TheHold().capture) TheHold().capture = GestureWindow();
    KeepGestureCapture();
}

void KeepGestureCapture() {
    const HWND mine = TheHold().capture;
    if (mine && GetCapture() != mine) SetCapture(mine);
}

void LendGestureCapture() {
    const HWND mine = TheHold().capture;
    if (mine && GetCapture() == mine) ReleaseCapture();
}

void EndGestureCapture() {
    // Esc before the release: the press goes on, and its release must still
    // come back here. One already made is queued wherever it goes.
    if (TheHold().stage != HoldStage::None && GestureButtonHeld() && HostInForeground()) {
        KeepGestureCapture();
        return;
    }
    ReleaseHoldCapture();
}

void EndHoldForUnload() {
    ReleaseHoldCapture();
    EndHold();
}

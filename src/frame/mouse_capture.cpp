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
bool KeyMessageWaits() { return (HIWORD(GetQueueStatus(QS_KEY)) & QS_KEY) != 0; }

// Only where no message answers (the hand is still): the button reads up,
// on a read that cannot be stale, and no release waits here. Its release
// went to another program's window, or was dropped (wine drops some at a
// disabled window's children).
bool ReadShowsPressOver() { return !GestureButtonHeld() && !ButtonMessageWaits(); }

// Keys out that will never all come back: the host took as many key events
// as were typed, none waits, and the marked last one was not among them (a
// remapper typed it again unmarked). Keys still in a slow keyboard hook have
// not come yet, so they do not count as lost however long they take.
bool ChordKeysLost() { return TheHold().notchesOut && TheHold().keysOut <= 0 && !KeyMessageWaits(); }

bool HostInForeground() { return IsOnHookThread(GetForegroundWindow()); }

// The capture of the host's thread, from whichever thread asks.
HWND HostCapture() {
    if (GetCurrentThreadId() == g_plugin.hookThreadId) return GetCapture();
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(g_plugin.hookThreadId, &info) ? info.hwndCapture : nullptr;
}

bool CaptureIsMine() { return TheHold().capture && GetCapture() == TheHold().capture; }

// The one question of whether the host leaves the mouse to the hold, for
// taking the capture and for a notch made while a chord's keys are out: it
// is in front, no window of it has the capture, no menu is tracked and no
// dialog came up since the press.
bool HostLeavesTheMouse() {
    if (!HostInForeground() || GetCapture()) return false;
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    const DWORD menus = GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE;
    if (GetGUIThreadInfo(g_plugin.hookThreadId, &info) && (info.flags & menus)) return false;
    return GetActiveWindow() == TheHold().active;
}

UINT_PTR WatchTimerId() { return reinterpret_cast<UINT_PTR>(&TheHold()); }

// Runs the hold's watch at the pace the hold's state asks for, or stops it.
void PaceHoldWatch() {
    Hold& hold = TheHold();
    UINT ms = 0;
    // A button that reads up is looked at quickly, seen or not: a busy host's
    // whole click whose release went elsewhere must not keep the capture,
    // which would take the host's next clicks.
    if (hold.stage != HoldStage::None)
        ms = CaptureIsMine() && HostInForeground() && GestureButtonHeld() ? kHoldWatchSeeingMs : kHoldWatchBlindMs;
    if (ms == hold.watchMs) return;
    // From another thread at unload, KillTimer works under wine; should
    // Windows refuse it, the window gets ticks its default handling ignores.
    if (!ms) KillTimer(GestureWindow(), WatchTimerId());
    if (!ms || SetTimer(GestureWindow(), WatchTimerId(), ms, nullptr)) hold.watchMs = ms;
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
    // default handling of WM_CANCELMODE releases its own on its thread. Posted,
    // not sent: a sent message under the loader lock may deadlock. It may
    // arrive after the host took a capture of its own on that window, or
    // (on its main window) end a menu; a rare unload's cost.
    PostMessageA(mine, WM_CANCELMODE, 0, 0);
}

}  // namespace

GestureButtons GestureButtonsFor(bool swapped) {
    return swapped ? GestureButtons{VK_LBUTTON, VK_RBUTTON} : GestureButtons{VK_RBUTTON, VK_RBUTTON};
}

bool GestureButtonHeld() {
    const Hold& hold = TheHold();
    if (hold.stage != HoldStage::None && GetTickCount() - hold.pressTime < kReadsCurrentAfterMs) return true;
    // The read alone: down is always true, up may be stale.
    const GestureButtons buttons = GestureButtonsFor(GetSystemMetrics(SM_SWAPBUTTON) != 0);
    return PhysicallyDown(buttons.first) || (buttons.second != buttons.first && PhysicallyDown(buttons.second));
}

HWND GestureWindow() { return g_plugin.hwndMdiClient ? g_plugin.hwndMdiClient : g_plugin.hwndMain; }

bool HostHoldsTheMouse() {
    const HWND capture = GetCapture();
    return capture && capture != TheHold().capture;
}

void HoldPress(const MSG& press) {
    // A new press: the one before it rose, wherever its release went.
    EndHold();
    Hold& hold = TheHold();
    hold.stage = HoldStage::Held;
    hold.pressTime = press.time;
    hold.active = GetActiveWindow();
    // The popup's capture stays its own; a release already queued comes anyway.
    if (!activeTabListPopup && HostLeavesTheMouse()) TakeGestureCapture();
    PaceHoldWatch();
}

void MarkGesture() { TheHold().stage = HoldStage::GestureDone; }

void EndHoldShownOver(const MSG& msg) {
    // MK_ bits are the state when the message was made, and the hand's
    // messages come in the order it made them: one made with the button up
    // came after its release, which went elsewhere. A button that reads down
    // now, or whose read cannot yet be trusted, says a program posted it (a
    // read errs only towards up). The open popup watches its press itself.
    if (activeTabListPopup || (msg.wParam & MK_RBUTTON) || GestureButtonHeld()) return;
    // Wheel utilities post notches, often without key bits, and a posted
    // message comes before a release still queued here.
    const bool wheel = msg.message == WM_MOUSEWHEEL || msg.message == WM_MOUSEHWHEEL;
    if (!wheel || !ButtonMessageWaits()) EndHold();
}

bool IsHoldWatchTick(const MSG& msg) {
    return msg.message == WM_TIMER && msg.wParam == WatchTimerId() && msg.hwnd == GestureWindow();
}

void WatchHold() {
    Hold& hold = TheHold();
    // The open popup watches its press itself, and its capture is its own.
    if (hold.stage == HoldStage::None || activeTabListPopup) return;
    // Two looks in a row, so that a release the first one just missed shows
    // at the second (on Windows the button may read up a moment before its
    // release is queued); a late timer only puts them further apart.
    hold.upLooks = ReadShowsPressOver() ? hold.upLooks + 1 : 0;
    if (hold.upLooks >= 2) {
        EndHold();
        return;
    }
    // Timers come after every key waiting: keys all taken without the mark
    // went elsewhere.
    if (ChordKeysLost()) hold.notchesOut = 0;
    // Wine keeps a capture on a thread that lost the foreground: it would
    // take clicks from the windows in front once the host is back there.
    if (!HostInForeground()) ReleaseHoldCapture();
    PaceHoldWatch();
}

bool HoldMakesGestures() {
    const Hold& hold = TheHold();
    if (hold.stage == HoldStage::None || !HostInForeground()) return false;
    if (activeTabListPopup || CaptureIsMine()) return true;
    // The chords' keys are out: a notch made while the button was down (a
    // busy host's, its release still queued, too) is the gesture's where the
    // capture could come back.
    return hold.notchesOut && HostLeavesTheMouse();
}

void EndHold() {
    // The open popup's capture is its own until it closes.
    if (!activeTabListPopup) ReleaseHoldCapture();
    Hold& hold = TheHold();
    hold.stage = HoldStage::None;
    hold.active = nullptr;
    hold.notchesOut = 0;
    hold.keysOut = 0;
    hold.upLooks = 0;
    PaceHoldWatch();
}

void ReleaseCaptureForKeys(int keyEvents) {
    // While the popup is open the keys are its dialog's, and the capture its own.
    if (activeTabListPopup) return;
    ++TheHold().notchesOut;
    TheHold().keysOut += keyEvents;
    ReleaseHoldCapture();
    PaceHoldWatch();
}

void ChordKeyTaken(bool last) {
    Hold& hold = TheHold();
    if (hold.stage == HoldStage::None || hold.notchesOut == 0) return;
    --hold.keysOut;
    if (!last) {
        if (ChordKeysLost()) hold.notchesOut = 0;
        PaceHoldWatch();
        return;
    }
    // A later notch's chords may still be on their way. A release waiting
    // here means the press is still on (a busy host's hand made it while the
    // chord's command ran): the capture comes back for what comes before it.
    if (--hold.notchesOut == 0) {
        hold.keysOut = 0;
        if (!ReadShowsPressOver() && HostLeavesTheMouse()) TakeGestureCapture();
    }
    PaceHoldWatch();
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
    if (TheHold().stage != HoldStage::None && GestureButtonHeld() && HostInForeground())
        KeepGestureCapture();
    else
        ReleaseHoldCapture();
    PaceHoldWatch();
}

void EndHoldForUnload() {
    ReleaseHoldCapture();
    EndHold();
}

#include "hook/wheel_hook.h"

#include <commctrl.h>

#include "frame/plugin_state.h"
#include "frame/debug_trace.h"
#include "frame/mouse_capture.h"
#include "hook/same_sender.h"
#include "tablist/tab_list_popup.h"

namespace {

// Room for a window text that can equal the marker; longer ones are cut.
constexpr int kWindowTextSize = 64;

void Swallow(MSG& msg) { msg.message = WM_NULL; }

bool PopupOpen() { return activeTabListPopup != nullptr; }

// A host without an MDI client has no MDI child to ask for or to cycle.
HWND ActiveMdiChild() {
    if (!g_plugin.hwndMdiClient) return nullptr;
    return reinterpret_cast<HWND>(SendMessageA(g_plugin.hwndMdiClient, WM_MDIGETACTIVE, 0, 0));
}

// The window at pt (screen) when it is the host's, else null. Another
// thread's window is never acted on nor asked anything: its text would be a
// WM_GETTEXT sent to that thread, and a busy one would stall the host;
// SetFocus does not work there either.
HWND HostWindowAt(POINT pt) {
    HWND under = WindowFromPoint(pt);
    return under && IsOnHookThread(under) ? under : nullptr;
}

bool IsMarkedWindow(HWND hwnd) {
    char text[kWindowTextSize];
    if (!GetWindowTextA(hwnd, text, kWindowTextSize)) return false;
    return lstrcmpA(text, kTargetMarker) == 0;
}

// A notch's chords, `steps` of the same one; the last event of the last is
// marked: the capture comes back once the host has taken it.
void TypeChords(const KeyChord& chord, int steps) {
    KeyEvent events[kMaxChordEvents];
    const int count = ChordToKeyEvents(chord, events);
    ReleaseCaptureForKeys(count * steps);
    for (int step = 0; step < steps; ++step)
        for (int i = 0; i < count; ++i)
            keybd_event(events[i].vk, 0, events[i].flags, step == steps - 1 && i == count - 1 ? kChordLastTag : 0);
}

void OnLButtonDown(MSG& msg) {
    DebugTrace("WM_LBUTTONDOWN. [%x]", static_cast<unsigned>(msg.wParam));
    const WPARAM both = MK_LBUTTON | MK_RBUTTON;
    // The click still reaches the host after the tab is closed.
    if (g_plugin.settings.TAB_CLOSE && (msg.wParam & both) == both && PopupOpen()) CloseSelectedTab();
}

// A right press or release ends every run, on both axes.
void ResetWheelRuns() {
    g_plugin.wheel = WheelRun{};
    g_plugin.hwheel = WheelRun{};
}

// The replay the hook posted, known by its own mark: what it posted, to
// where, not yet taken back.
bool IsOwnReplay(const MSG& msg) {
    const PostedReplay& replay = g_plugin.replay;
    return replay.hwnd && msg.wParam == 0 && msg.hwnd == replay.hwnd && msg.message == replay.message &&
           msg.lParam == replay.lParam;
}

// Both a first press and a second one within the double-click time (over a
// class with CS_DBLCLKS) are held back until the release shows that no
// gesture used them. The replay gets the press's key bits back.
void OnRButtonDown(MSG& msg) {
    DebugTrace(msg.message == WM_RBUTTONDOWN ? "WM_RBUTTONDOWN. [%x]" : "WM_RBUTTONDBLCLK. [%x]",
               static_cast<unsigned>(msg.wParam));
    ResetWheelRuns();
    if (IsOwnReplay(msg)) {
        g_plugin.replay = PostedReplay{};
        msg.wParam = ReplayedRDownKeys(g_plugin.savedRDownKeys);
        return;
    }
    g_plugin.lastRelease = TakenRelease{};
    // While a window of the host holds the mouse, the press is its own.
    if (HostHoldsTheMouse()) {
        EndHold();
        return;
    }
    // A press's message always says the button was down; one that says
    // nothing still came from it.
    g_plugin.savedRDownKeys = static_cast<DWORD>(msg.wParam);
    // A double click counts as one only when the host got the first click.
    g_plugin.savedRDownDouble = msg.message == WM_RBUTTONDBLCLK && g_plugin.clickReplayed;
    g_plugin.clickReplayed = 0;
    Swallow(msg);
    HoldPress(msg);
}

// A press on a caption or a frame is the host's; as any new press, it shows
// that the one before it rose.
void OnNonClientRButtonDown() {
    g_plugin.lastRelease = TakenRelease{};
    EndHold();
    ResetWheelRuns();
}

// Under load wine may deliver a release a second time, later, to the window
// under its point once the capture that took it is gone: the same point and
// extra information, and no message since showed the button down (a press
// begun elsewhere and carried in shows it). Passed on, it would be a release
// without its press.
bool IsReleaseAgain(const MSG& msg, LPARAM extra) {
    const TakenRelease& last = g_plugin.lastRelease;
    return last.taken && last.pt.x == msg.pt.x && last.pt.y == msg.pt.y && last.extra == extra;
}

// Judged by where the button was released (the message's own point), not
// where the cursor is when a busy host gets to it. A held press's release is
// a non-client one over a caption or a frame while no capture brings it.
void OnRButtonUp(MSG& msg) {
    const HoldStage stage = g_plugin.hold.stage;
    DebugTrace(msg.message == WM_RBUTTONUP ? "WM_RBUTTONUP. [%d]" : "WM_NCRBUTTONUP. [%d]",
               static_cast<int>(stage == HoldStage::GestureDone));
    ResetWheelRuns();
    const bool heldBack = stage != HoldStage::None || PopupOpen();
    const LPARAM extra = GetMessageExtraInfo();
    if (!heldBack && IsReleaseAgain(msg, extra)) {
        Swallow(msg);
        return;
    }
    g_plugin.lastRelease = TakenRelease{true, msg.pt, extra};
    EndHold();
    // The host's own press (on a caption, or begun outside its windows) keeps
    // its release: DefWindowProc may be waiting for it.
    if (!heldBack) return;
    // Passed on alone, a release would make DefWindowProc open a context
    // menu: the host gets the replayed press instead, or nothing.
    Swallow(msg);
    if (PopupOpen()) {
        RequestTabListClose();
        return;
    }
    // The release that ends a gesture belongs to the gesture.
    if (stage == HoldStage::GestureDone) return;
    HWND under = HostWindowAt(msg.pt);
    // A click that ends outside the host's windows does nothing.
    if (!under) return;
    POINT pt = msg.pt;
    ScreenToClient(under, &pt);
    const bool twice = g_plugin.savedRDownDouble && (GetClassLongA(under, GCL_STYLE) & CS_DBLCLKS);
    const PostedReplay replay = {under, twice ? static_cast<UINT>(WM_RBUTTONDBLCLK) : WM_RBUTTONDOWN,
                                 PackClientPoint(pt)};
    if (PostMessageA(replay.hwnd, replay.message, 0, replay.lParam)) g_plugin.replay = replay;
    g_plugin.savedRDownDouble = 0;
    g_plugin.clickReplayed = 1;
}

// What a wheel message would do where it was turned, with the keys and
// buttons its own key bits say were held then, in order of precedence.
WheelGesture WheelGestureAt(HWND under, int delta, WPARAM keys) {
    // Over the toolbar or the tab bar the wheel cycles children, whatever
    // else is held.
    if (under && IsMarkedWindow(under)) return WheelGesture::Cycle;
    if (keys & MK_CONTROL) {
        const bool navigate = g_plugin.settings.MOVE_NEXTFROM && ActiveMdiChild() == g_plugin.hwndStartChild;
        return navigate ? WheelGesture::SameSender : WheelGesture::None;
    }
    // Only a press the hook held back makes a gesture; with one the host got
    // (MK_RBUTTON all the same) the notch is the host's.
    if ((keys & MK_RBUTTON) && HoldMakesGestures()) {
        if (!g_plugin.settings.chords[WheelUp(delta) ? 0 : 1].TL) return WheelGesture::Chord;
        return g_plugin.tabButtons ? WheelGesture::None : WheelGesture::TabList;
    }
    if (g_plugin.settings.MOVE_FOCUS && under && under != GetFocus()) return WheelGesture::Focus;
    return WheelGesture::None;
}

void CycleMdiChild(bool previous) {
    if (!g_plugin.hwndMdiClient) return;
    HWND active = ActiveMdiChild();
    SendMessageA(g_plugin.hwndMdiClient, WM_MDINEXT, reinterpret_cast<WPARAM>(active), previous ? 1 : 0);
}

void TabListSteps(int delta, POINT pt, int steps) {
    if (PopupOpen()) {
        for (int i = 0; i < steps; ++i) MoveTabListSelection(*activeTabListPopup, WheelUp(delta));
        return;
    }
    // The popup's modal loop must keep seeing the button's release. It opens
    // on the current tab: the rest of this message's steps are spent.
    TakeGestureCapture();
    const int row = OpenTabListPopup(pt.x, pt.y);
    if (row >= 0) PostMessageA(g_plugin.hwndMain, kWmuSelectTab, kSelectTabIndex, row);
}

// A mouse message's own key bits: the right button down again since the last
// release, or a pending hold over. A flag or two otherwise.
void NoteKeyBits(const MSG& msg) {
    if (msg.wParam & MK_RBUTTON) g_plugin.lastRelease.taken = false;
    if (g_plugin.hold.stage != HoldStage::None) EndHoldShownOver(msg);
}

void OnMouseWheel(MSG& msg) {
    DebugTrace("WM_MOUSEWHEEL. wp=[0x%x], lp=[0x%x]", static_cast<unsigned>(msg.wParam),
               static_cast<unsigned>(msg.lParam));
    NoteKeyBits(msg);
    const short delta = WheelDelta(msg.wParam);
    // No rotation, no gesture: the host gets it and nothing changes.
    if (delta == 0) return;
    const WPARAM keys = LOWORD(msg.wParam);
    // Where the hand was: a busy host takes the message late.
    HWND under = HostWindowAt(msg.pt);
    const WheelGesture gesture = WheelGestureAt(under, delta, keys);
    if (gesture == WheelGesture::None) {
        g_plugin.wheel = WheelRun{};
        return;
    }
    // Swallowed even when it only adds to a partial rotation: the host never
    // scrolls or zooms in the middle of a gesture.
    Swallow(msg);
    if (gesture == WheelGesture::Focus) {
        // The first message moves the focus, however small.
        g_plugin.wheel = WheelRun{};
        SetFocus(under);
        return;
    }
    const int steps = WheelSteps(g_plugin.wheel, delta, gesture, under, msg.time);
    switch (gesture) {
        case WheelGesture::Cycle:
            for (int i = 0; i < steps; ++i) CycleMdiChild(WheelUp(delta));
            break;
        case WheelGesture::SameSender:
            for (int i = 0; i < steps; ++i) NavigateSameSender(delta);
            break;
        case WheelGesture::Chord:
            // Even a partial rotation is a gesture: the release replays nothing.
            MarkGesture();
            if (steps > 0) TypeChords(g_plugin.settings.chords[WheelUp(delta) ? 0 : 1], steps);
            break;
        case WheelGesture::TabList:
            MarkGesture();
            if (steps > 0) TabListSteps(delta, msg.pt, steps);
            break;
        default:
            break;
    }
}

// A sideways swipe or a tilt wheel (positive: right) cycles children over
// the marked windows too, right to the next one; elsewhere it is the host's.
void OnMouseHWheel(MSG& msg) {
    DebugTrace("WM_MOUSEHWHEEL. wp=[0x%x], lp=[0x%x]", static_cast<unsigned>(msg.wParam),
               static_cast<unsigned>(msg.lParam));
    NoteKeyBits(msg);
    const short delta = WheelDelta(msg.wParam);
    if (delta == 0) return;
    // MSG.pt, in screen coordinates: this wine gives lParam in client ones.
    HWND under = HostWindowAt(msg.pt);
    // Its own run: the vertical one is left as it is either way.
    if (!under || !IsMarkedWindow(under)) {
        g_plugin.hwheel = WheelRun{};
        return;
    }
    Swallow(msg);
    const int steps = WheelSteps(g_plugin.hwheel, delta, WheelGesture::CycleSideways, under, msg.time);
    // Right is the next child, as a notch down is.
    for (int i = 0; i < steps; ++i) CycleMdiChild(delta < 0);
}

void OnSelectTab(MSG& msg) {
    const LONG index = static_cast<LONG>(msg.lParam);
    if (msg.wParam == kSelectTabIndex && index >= 0)
        SendMessageA(g_plugin.hwndTab, TCM_SETCURFOCUS, static_cast<WPARAM>(index), 0);
    Swallow(msg);
}

}  // namespace

int ChordToKeyEvents(const KeyChord& chord, KeyEvent (&events)[kMaxChordEvents]) {
    // Pressed Ctrl, Shift, Alt and released in that same order.
    static constexpr struct {
        BYTE mod;
        BYTE vk;
    } kModifiers[] = {{kModCtrl, VK_CONTROL}, {kModShift, VK_SHIFT}, {kModAlt, VK_MENU}};
    int n = 0;
    for (const auto& m : kModifiers)
        if (chord.MOD & m.mod) events[n++] = {m.vk, 0};
    // KEY 0 is typed as it is: the notch is still a gesture.
    const DWORD extended = (chord.MOD & kModExtended) ? KEYEVENTF_EXTENDEDKEY : 0;
    events[n++] = {chord.KEY, extended};
    events[n++] = {chord.KEY, extended | KEYEVENTF_KEYUP};
    for (const auto& m : kModifiers)
        if (chord.MOD & m.mod) events[n++] = {m.vk, KEYEVENTF_KEYUP};
    return n;
}

LRESULT CALLBACK WheelHookProc(int code, WPARAM wParam, LPARAM lParam) {
    // Only removed messages are acted on, and each once: a peek leaves them alone.
    if (code >= 0 && wParam == PM_REMOVE) {
        MSG& msg = *reinterpret_cast<MSG*>(lParam);
        switch (msg.message) {
            case WM_LBUTTONDOWN:
                NoteKeyBits(msg);
                OnLButtonDown(msg);
                break;
            case WM_RBUTTONDOWN:
            case WM_RBUTTONDBLCLK: OnRButtonDown(msg); break;
            case WM_RBUTTONUP:
            case WM_NCRBUTTONUP: OnRButtonUp(msg); break;
            case WM_NCRBUTTONDOWN: OnNonClientRButtonDown(); break;
            case WM_MOUSEMOVE:
            case WM_LBUTTONUP:
            case WM_LBUTTONDBLCLK:
            case WM_MBUTTONDOWN:
            case WM_MBUTTONUP:
            case WM_MBUTTONDBLCLK:
            case WM_XBUTTONDOWN:
            case WM_XBUTTONUP:
            case WM_XBUTTONDBLCLK:
                // A hold whose release never came here ends before its
                // capture misroutes the next click.
                NoteKeyBits(msg);
                break;
            case WM_KEYDOWN:
            case WM_SYSKEYDOWN:
            case WM_KEYUP:
            case WM_SYSKEYUP:
                if (g_plugin.hold.notchesOut)
                    ChordKeyTaken(msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN &&
                                  GetMessageExtraInfo() == static_cast<LPARAM>(kChordLastTag));
                break;
            case WM_TIMER:
                if (IsHoldWatchTick(msg)) {
                    WatchHold();
                    Swallow(msg);
                }
                break;
            case WM_MOUSEWHEEL: OnMouseWheel(msg); break;
            case WM_MOUSEHWHEEL: OnMouseHWheel(msg); break;
            case kWmuSelectTab: OnSelectTab(msg); break;
            default: break;
        }
    }
    return CallNextHookEx(g_plugin.hHook, code, wParam, lParam);
}

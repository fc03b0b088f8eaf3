#include "hook/wheel_hook.h"

#include <commctrl.h>

#include "frame/plugin_state.h"
#include "hook/debug_trace.h"
#include "hook/same_sender.h"
#include "tablist/tab_list_popup.h"

namespace {

// Room for a window text that can equal the marker; longer ones are cut.
constexpr int kWindowTextSize = 64;
// GetAsyncKeyState's bit for a key that is down now.
constexpr SHORT kKeyDown = static_cast<SHORT>(0x8000);

bool KeyHeld(int vk) { return (GetAsyncKeyState(vk) & kKeyDown) != 0; }

void Swallow(MSG& msg) { msg.message = WM_NULL; }

bool PopupOpen() { return activeTabListPopup != nullptr; }

HWND ActiveMdiChild() {
    return reinterpret_cast<HWND>(SendMessageA(g_plugin.hwndMdiClient, WM_MDIGETACTIVE, 0, 0));
}

bool IsMarkedWindow(HWND hwnd) {
    char text[kWindowTextSize];
    if (!GetWindowTextA(hwnd, text, kWindowTextSize)) return false;
    return lstrcmpA(text, kTargetMarker) == 0;
}

void TypeChord(const KeyChord& chord) {
    KeyEvent events[kMaxChordEvents];
    const int count = ChordToKeyEvents(chord, events);
    for (int i = 0; i < count; ++i) keybd_event(events[i].vk, 0, events[i].flags, 0);
}

void OnLButtonDown(MSG& msg) {
    DebugTrace("WM_LBUTTONDOWN. [%x]", static_cast<unsigned>(msg.wParam));
    const WPARAM both = MK_LBUTTON | MK_RBUTTON;
    // The click still reaches the host after the tab is closed.
    if (g_plugin.settings.TAB_CLOSE && (msg.wParam & both) == both && PopupOpen()) CloseSelectedTab();
}

void OnRButtonDown(MSG& msg) {
    DebugTrace("WM_RBUTTONDOWN. [%x]", static_cast<unsigned>(msg.wParam));
    g_plugin.gestureDone = 0;
    if (msg.wParam) {
        // Held back until the release shows that no gesture used it.
        g_plugin.savedRDownKeys = static_cast<DWORD>(msg.wParam);
        Swallow(msg);
        return;
    }
    // Our own replay: give it the key bits of the press it stands for.
    msg.wParam = ReplayedRDownKeys(g_plugin.savedRDownKeys);
}

void OnRButtonUp(MSG& msg) {
    DebugTrace("WM_RBUTTONUP. [%d]", static_cast<int>(g_plugin.gestureDone));
    if (PopupOpen()) {
        RequestTabListClose();
        Swallow(msg);
        return;
    }
    POINT pt;
    GetCursorPos(&pt);
    HWND under = WindowFromPoint(pt);
    if (!under || g_plugin.gestureDone) return;
    ScreenToClient(under, &pt);
    PostMessageA(under, WM_RBUTTONDOWN, 0, PackClientPoint(pt));
    Swallow(msg);
}

void OnMouseWheel(MSG& msg) {
    DebugTrace("WM_MOUSEWHEEL. wp=[0x%x], lp=[0x%x]", static_cast<unsigned>(msg.wParam),
               static_cast<unsigned>(msg.lParam));
    const int delta = WheelDelta(msg.wParam);
    POINT pt;
    GetCursorPos(&pt);
    HWND under = WindowFromPoint(pt);

    // Over the toolbar or the tab bar the wheel cycles children, whatever
    // else is held.
    if (under && IsMarkedWindow(under)) {
        HWND active = ActiveMdiChild();
        SendMessageA(g_plugin.hwndMdiClient, WM_MDINEXT, reinterpret_cast<WPARAM>(active), WheelUp(delta) ? 1 : 0);
        Swallow(msg);
        return;
    }

    if (KeyHeld(VK_CONTROL)) {
        if (!g_plugin.settings.MOVE_NEXTFROM || ActiveMdiChild() != g_plugin.hwndStartChild) return;
        NavigateSameSender(delta);
        Swallow(msg);
        return;
    }

    if (KeyHeld(VK_RBUTTON)) {
        const KeyChord& chord = g_plugin.settings.chords[WheelUp(delta) ? 0 : 1];
        if (!chord.TL) {
            TypeChord(chord);
            g_plugin.gestureDone = 1;
            Swallow(msg);
            return;
        }
        if (g_plugin.tabButtons) return;
        // The popup's modal loop must keep seeing the button's release.
        SetCapture(g_plugin.hwndMdiClient);
        g_plugin.gestureDone = 1;
        const int row = OpenTabListPopup(delta, pt.x, pt.y);
        if (row >= 0) PostMessageA(g_plugin.hwndMain, kWmuSelectTab, kSelectTabIndex, row);
        Swallow(msg);
        return;
    }

    if (g_plugin.settings.MOVE_FOCUS && under && under != GetFocus()) {
        // This notch only moves the focus; SetFocus may fail across threads.
        SetFocus(under);
        Swallow(msg);
    }
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
            case WM_LBUTTONDOWN: OnLButtonDown(msg); break;
            case WM_RBUTTONDOWN: OnRButtonDown(msg); break;
            case WM_RBUTTONUP: OnRButtonUp(msg); break;
            case WM_MOUSEWHEEL: OnMouseWheel(msg); break;
            case kWmuSelectTab: OnSelectTab(msg); break;
            default: break;
        }
    }
    return CallNextHookEx(g_plugin.hHook, code, wParam, lParam);
}

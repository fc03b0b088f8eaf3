// The WH_GETMESSAGE hook on the host's GUI thread and its gestures.
#pragma once
#include <windows.h>

#include "settings/settings_store.h"

// Posted to the host's main window after the TabList popup: wParam 1,
// lParam the tab to make current. Consumed by the hook.
constexpr UINT kWmuSelectTab = 0x8212;
// wParam of a WMU_SELECTTAB that carries a tab index.
constexpr WPARAM kSelectTabIndex = 1;

LRESULT CALLBACK WheelHookProc(int code, WPARAM wParam, LPARAM lParam);

// The signed wheel delta of a WM_MOUSEWHEEL's or WM_MOUSEHWHEEL's wParam.
inline short WheelDelta(WPARAM wParam) { return static_cast<short>(HIWORD(wParam)); }
// Tab cycling, chords and the popup count a delta of 0 as up.
inline bool WheelUp(int delta) { return delta >= 0; }

// One keybd_event call of a typed chord.
struct KeyEvent {
    BYTE vk;
    DWORD flags;
};
// Up to three modifiers pressed and released around KEY's press and release.
constexpr int kMaxChordEvents = 8;
// The events that type chord, in order; returns how many were written.
int ChordToKeyEvents(const KeyChord& chord, KeyEvent (&events)[kMaxChordEvents]);

// lParam of a mouse message at a client point: x and y each cut to 16 bits.
inline LPARAM PackClientPoint(POINT client) {
    return MAKELPARAM(static_cast<WORD>(client.x), static_cast<WORD>(client.y));
}
// The replayed right-button-down the hook posted and has not seen come back:
// a press of the hand's own may carry a wParam of 0 too.
struct PostedReplay {
    HWND hwnd;  // null when none is on its way
    UINT message;
    LPARAM lParam;
};
// The last right release the hook took, until a right press is taken.
struct TakenRelease {
    bool taken;
    POINT pt;
    LPARAM extra;  // its GetMessageExtraInfo
};
// The key bits a replayed right-button-down is given.
inline WPARAM ReplayedRDownKeys(DWORD savedKeys) { return savedKeys ? savedKeys : MK_RBUTTON; }

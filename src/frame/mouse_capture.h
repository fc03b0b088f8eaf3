// The right press the hook holds back, and the mouse capture of its gestures.
//
// A held-back press is the plug-in's until it is over, whatever the button
// read when the press was taken: its own message says it was down. From the
// press to its release the plug-in keeps the capture on the host's gesture
// window, so that the release comes back wherever the button rises; apart
// from the moment the host takes a chord's keys (no accelerator acts while
// the mouse is captured, so Microsoft documents SetCapture), and apart from
// while the host has the mouse or the screen: another program in front, a
// capture, menu or dialog of the host's. Meanwhile the hold cannot see its
// release: it makes no gesture, and its watch polls the button until the
// press shows over. A press made while the host holds the mouse is the
// host's and never held. The TabList popup keeps the capture while it is
// open, lends it to a question the host asks, and ends it with itself.
#pragma once
#include <windows.h>

// GetAsyncKeyState's bit for a key or button that is down now.
constexpr SHORT kKeyDown = static_cast<SHORT>(0x8000);
// dwExtraInfo of the last key event of a notch's chords: its key-up tells
// that the host has taken them all.
constexpr ULONG_PTR kChordLastTag = 0x5256584C;  // "RVXL"
// The hold's watch, a timer on the gesture window: slow while the hold's
// capture brings its release (it notices another program coming to the
// front, which brings the host no message), quick while the hold is blind
// or its button reads up.
constexpr UINT kHoldWatchSeeingMs = 150;
constexpr UINT kHoldWatchBlindMs = 15;
// How long the button must read up, with no release waiting, before the
// watch takes the press as over. Two looks at least this far apart: under
// wine a thread that read the button up keeps reading it up for about 50 ms,
// even once another thread pressed it; on Windows the button may read up a
// moment before its release is queued.
constexpr DWORD kHoldUpLongEnoughMs = 80;
// A chord's last key that has not come back to the host this long after it
// was typed went elsewhere (a key remapper, an input method, another
// program in front): the hold stops waiting for it.
constexpr DWORD kChordKeysLostMs = 400;

enum class HoldStage : DWORD {
    None,         // no press held back
    Held,         // held back, no gesture yet: its release replays the click
    GestureDone,  // a chord or the TabList used it: its release is the gesture's
};

// One record from the press to its end (EndHold); mouse_capture.cpp alone
// writes it. A live hold (Held or GestureDone) is in one of these states:
// - seeing: `capture` is the capture and the host is in front, so every
//   release comes here; the watch runs slowly;
// - keys out: `notchesOut` notches typed chords whose last key the host has
//   not taken yet; no capture meanwhile, and it comes back at that key. A
//   further notch makes a gesture only while the host leaves the mouse to
//   the hold (HostLeavesTheMouse); keys not back within kChordKeysLostMs
//   count as lost, and the hold goes blind;
// - blind: no capture of its own (something else ended it, another program
//   is in front, the host had a capture, menu or dialog up when the chord's
//   keys were taken or at the press, the keys were lost); it makes no
//   gesture, and the watch polls quickly and ends the hold once the button
//   has been up long enough with no release waiting here. Its release,
//   should it come, is still its own.
// What ends a live hold: its release (client or non-client), a new press, a
// move or notch made with the button up once no release waits, the watch,
// unload. The open popup's capture outlives the hold; nothing else does.
struct Hold {
    HoldStage stage;
    int button;      // the physical button that made it (VK_LBUTTON, VK_RBUTTON)
    HWND capture;    // the window the plug-in gave the capture, or null
    HWND active;     // the host's active window at the press: another is a dialog
    int notchesOut;  // notches whose chords' last key the host has not taken yet
    DWORD keysOutAt; // when the last of those chords was typed
    UINT watchMs;    // the watch's period, 0 while it is not running
    bool seenOver;   // the watch's looks since overSince found the button up, no release waiting
    DWORD overSince; // the first of those looks
};

// The physical button (VK_LBUTTON or VK_RBUTTON) that made a right press
// being taken now. Messages name logical buttons, GetAsyncKeyState physical
// ones. Windows swaps the messages for left-handed users, so there the press
// came from the physical left button; where injected presses arrive
// unswapped (wine), the physical right one alone is down.
int PhysicalButtonOfRightPress(bool swapped, bool leftDown, bool rightDown);
// Whether the hold's button is down now (the right one while none is held).
// Read now, unlike every message's own key bits: the popup's loop must see a
// release that no message brings it.
bool GestureButtonHeld();
// The host's window that holds a gesture's capture and owns the popup: its
// MDI client, or its main window when it has none.
HWND GestureWindow();
// A window of the host holds a capture the plug-in did not give: a press now
// is the host's (its drag, DefWindowProc's loop on a caption, a menu).
bool HostHoldsTheMouse();

// Holds back the right press being taken now, ending any hold before it.
// Judged by its message alone: a busy host's whole click taken late, its
// release gone to another program, is ended by the watch.
void HoldPress();
// A gesture used the hold: its release replays nothing.
void MarkGesture();
// Ends a hold that a mouse move or notch shows over: made with the button
// up, once no release waits here (its release went elsewhere).
void EndHoldShownOver(const MSG& msg);
// The watch's timer: its id is an address inside the plug-in, which no
// timer of the host's can have.
bool IsHoldWatchTick(const MSG& msg);
// The watch's tick: it also paces the watch, as the hold's state now asks.
void WatchHold();
// Whether a wheel notch made with the button down may make a chord or open
// the TabList: a press is held back, the host is in front (the keys go
// there) and the hold sees its release, or its keys are out and the host
// leaves the mouse to it.
bool HoldMakesGestures();
// The one end of a hold. Its capture goes with it unless the popup is open.
void EndHold();
// Before a notch's chords go out: the host's accelerators must see the keys.
void ReleaseCaptureForKeys();
// The host has taken the last key of a notch's chords.
void ChordKeysTaken();

// The plug-in's capture, on the gesture window: taken at a held press and as
// the popup opens; while the popup is open, given back when something else
// took it and lent while the host asks the user something; ended as the
// popup closes (kept while its press is still down and the host in front).
void TakeGestureCapture();
void KeepGestureCapture();
void LendGestureCapture();
void EndGestureCapture();
// At unload, on whichever thread: ends the hold and only the plug-in's capture.
void EndHoldForUnload();

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
// release: it makes no gesture, and until the hand's messages show the
// press over, its watch reads the button. A press made while the host holds
// the mouse is the host's and never held. The TabList popup keeps the
// capture while it is open, lends it to a question the host asks, and ends
// it with itself, before its dialog ends.
#pragma once
#include <windows.h>

// GetAsyncKeyState's bit for a key or button that is down now.
constexpr SHORT kKeyDown = static_cast<SHORT>(0x8000);
// dwExtraInfo of the last key event of a notch's chords: its key-up tells
// that the host has taken them all.
constexpr ULONG_PTR kChordLastTag = 0x5256584C;  // "RVXL"
// The hold's watch, a timer on the gesture window: slow while the hold's
// capture brings its release (it notices another program coming to the
// front, which brings the host no message), quick otherwise.
constexpr UINT kHoldWatchSeeingMs = 150;
constexpr UINT kHoldWatchBlindMs = 15;
// A read of the button this soon after the press's own time may be stale:
// under wine 8 a thread that read it up keeps reading it up for about 50 ms,
// even once another thread pressed it. On Windows and wine 10 a read is
// current; the wait costs them nothing but one look.
constexpr DWORD kReadsCurrentAfterMs = 100;

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
//   not taken yet; no capture meanwhile, and it comes back at that key
//   unless the press shows over. A further notch makes a gesture only while
//   the host leaves the mouse to the hold (HostLeavesTheMouse). The keys
//   count as lost once the host has taken as many key events as were typed
//   with none waiting and the marked one never came (a remapper typed it
//   again): the hold goes blind;
// - blind: no capture of its own (something else ended it, another program
//   is in front, the host had a capture, menu or dialog up when the chord's
//   keys were taken or at the press, the keys were lost); it makes no
//   gesture, and the watch looks quickly.
// What ends a live hold is what the hand did, as its messages say: its
// release (client or non-client), a new press, a mouse message whose own
// key bits show the button up (its release went elsewhere: had it come here
// it would have come first); where no message comes (the hand is still),
// the watch: two looks in a row that read the button up, current, with no
// release waiting. And unload. The open popup's capture outlives the hold;
// nothing else does.
struct Hold {
    HoldStage stage;
    HWND capture;     // the window the plug-in gave the capture, or null
    HWND active;      // the host's active window at the press: another is a dialog
    DWORD pressTime;  // the press message's own time
    int notchesOut;   // notches whose chords' last key the host has not taken yet
    int keysOut;      // key events of those chords the host has not taken yet
    UINT watchMs;     // the watch's period, 0 while it is not running
    int upLooks;      // the watch's looks in a row that found the press over
};

// The physical buttons (GetAsyncKeyState's) that can have made a right
// press. Messages name logical buttons, GetAsyncKeyState physical ones. With
// swapped buttons Windows delivers the physical left button's presses as the
// right one, injected presses included; wine 8 delivers injected presses
// unswapped, from the physical right one. The press's message cannot tell
// which, so with swapped buttons either counts.
struct GestureButtons {
    int first, second;
};
GestureButtons GestureButtonsFor(bool swapped);
// Whether the hold's button may still be down: it reads down, or the press is
// too recent for a read of it up to be trusted (kReadsCurrentAfterMs). Read
// now, unlike every message's own key bits: the popup's loop must see a
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
// release gone to another program, shows over at the next message made with
// the button up, or at the watch's first looks.
void HoldPress(const MSG& press);
// A gesture used the hold: its release replays nothing.
void MarkGesture();
// Ends a hold that a mouse message shows over by its own key bits: made with
// the button up after the press, so its release went elsewhere.
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
// Before a notch's chords go out (`keyEvents` events in all): the host's
// accelerators must see the keys.
void ReleaseCaptureForKeys(int keyEvents);
// The host has taken a key message while chords' keys are out; `last` when
// it is the marked last one of a notch's chords.
void ChordKeyTaken(bool last);

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

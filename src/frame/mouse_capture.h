// The right press the hook holds back, and the mouse capture of its gestures.
//
// A held-back press is the plug-in's until it is over: its release (client
// or non-client), a new press, a mouse move that shows the button up with no
// release waiting here, the host losing the foreground before a gesture used
// it, or unload. Until its first chord the plug-in gives the capture to the
// host's gesture window, so that the release comes back wherever the button
// rises; never while a window of the host holds the capture, and never while
// the host takes a chord's keys: no accelerator acts while the mouse is
// captured (so Microsoft documents SetCapture). The TabList popup keeps the
// capture while it is open, lends it to a question the host asks, and ends
// it with itself.
#pragma once
#include <windows.h>

// GetAsyncKeyState's bit for a key or button that is down now.
constexpr SHORT kKeyDown = static_cast<SHORT>(0x8000);

enum class HoldStage : DWORD {
    None,         // no press held back
    Held,         // held back, no gesture yet: its release replays the click
    GestureDone,  // a chord or the TabList used it: its release is the gesture's
};

// One record from the press to its end (EndHold).
struct Hold {
    HoldStage stage;
    int button;    // the physical button that made it (VK_LBUTTON, VK_RBUTTON)
    HWND capture;  // the window the plug-in gave the capture, or null; the open
                   // popup keeps it past the hold's end
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

// Holds back the right press being taken now (ending any hold before it),
// unless its release already went to another program's window: a busy host
// takes a whole click late.
void HoldPress();
// With a hold pending: ends what a message taken now shows over, a move made
// with the button up once no release waits here (its release went
// elsewhere), or a hold no gesture used once the host lost the foreground.
void EndHoldShownOver(const MSG& msg);
// Whether a wheel notch may make a chord or open the TabList: a press is
// held back and the host is in the foreground (the keys go there).
bool HoldMakesGestures();
// The one end of a hold. Its capture goes with it unless the popup is open.
void EndHold();
// Before a chord's keys go out: the host's accelerators must see them.
void ReleaseCaptureForKeys();

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

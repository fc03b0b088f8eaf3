// The right button and the mouse capture of its gestures. The MDI client
// holds the capture while the TabList popup is open, so that the popup's
// modal loop, which the hook watches, keeps getting the right button's
// release wherever the cursor goes. The hook takes it, the popup keeps it,
// lends it to a question the host asks and ends it; unload ends it too.
#pragma once
#include <windows.h>

// GetAsyncKeyState's bit for a key or button that is down now.
constexpr SHORT kKeyDown = static_cast<SHORT>(0x8000);

// The physical button (VK_LBUTTON or VK_RBUTTON) that made a right press
// being taken now. Messages name logical buttons, GetAsyncKeyState physical
// ones. Windows swaps the messages for left-handed users, so there the press
// came from the physical left button; where injected presses arrive
// unswapped (wine), the physical right one alone is down.
int PhysicalButtonOfRightPress(bool swapped, bool leftDown, bool rightDown);
// Notes the physical button of the right press the hook holds back now.
void NoteGestureButton();
// Whether the noted button is down now. Read now, unlike every message's own
// key bits: the popup's loop must see a release that no message brings it
// (one outside the host, or before the popup took the capture).
bool GestureButtonHeld();

// Gives the capture to the host's MDI client.
void TakeGestureCapture();
// Gives it back to the MDI client when something else took it.
void KeepGestureCapture();
// While the host asks the user something (a tab's window asked to close), the
// mouse is its: otherwise a click on its question would go to the MDI client.
void LendGestureCapture();
// Releases whatever capture a window of this thread holds.
void EndGestureCapture();

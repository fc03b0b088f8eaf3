// The right button and the mouse capture of its gestures. A right press the
// hook holds back is the plug-in's until its own release: meanwhile the MDI
// client holds the capture, as Windows' own controls hold it while a button
// is down, so that the release comes back to the host's thread wherever the
// button rises, over a caption as a client release. The TabList popup keeps
// that capture, lends it to a question the host asks and ends it with the
// hold; unload ends both.
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
// (one made over another program while the host's question had the mouse).
bool GestureButtonHeld();

// Holds back the right press being taken now: notes its button and takes
// the capture, unless its release already went to another program's window
// (a busy host takes the press late). Ends any hold before it.
void HoldPress();
// Ends the hold of a press whose release will not come here, at any message
// but a release.
void EndHoldWhosePressIsOver();
// Whether a held-back press is still down, at any message but a release.
bool IsPressHeldBack();
// Whether a release being taken is a held-back press's.
bool IsReleaseOfHeldPress();
// Ends the hold at its release, with its capture unless the popup has it.
void EndHold();

// Gives the capture to the host's MDI client.
void TakeGestureCapture();
// Gives it back to the MDI client when something else took it.
void KeepGestureCapture();
// While the host asks the user something (a tab's window asked to close), the
// mouse is its: otherwise a click on its question would go to the MDI client.
void LendGestureCapture();
// Ends the popup's capture, or keeps it for the hold while its press is down.
void EndGestureCapture();

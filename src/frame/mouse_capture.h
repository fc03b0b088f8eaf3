// The right button and the mouse capture of its gestures. The MDI client
// holds the capture while the TabList popup is open, so that the popup's
// modal loop, which the hook watches, keeps getting the right button's
// release wherever the cursor goes. The hook takes it, the popup keeps it,
// lends it to a question the host asks and ends it; unload ends it too.
#pragma once
#include <windows.h>

// GetAsyncKeyState's bit for a key or button that is down now.
constexpr SHORT kKeyDown = static_cast<SHORT>(0x8000);

// Whether the button that sends WM_RBUTTON* is down now, read asynchronously
// so that a release outside the host counts too. GetAsyncKeyState reads the
// physical buttons; with the buttons swapped (left-handed users) the logical
// right one is the physical left one, as Microsoft documents.
bool RightButtonHeld();

// Gives the capture to the host's MDI client.
void TakeGestureCapture();
// Gives it back to the MDI client when something else took it.
void KeepGestureCapture();
// While the host asks the user something (a tab's window asked to close), the
// mouse is its: otherwise a click on its question would go to the MDI client.
void LendGestureCapture();
// Releases whatever capture a window of this thread holds.
void EndGestureCapture();

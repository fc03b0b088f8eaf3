// The mouse capture of the TabList gesture. The MDI client holds it while
// the popup is open, so that the popup's modal loop, which the hook watches,
// keeps getting the right button's release wherever the cursor goes. The
// hook takes it, the popup keeps it and ends it, unload ends it.
#pragma once
#include <windows.h>

// Gives the capture to the host's MDI client.
void TakeGestureCapture();
// Gives it back to the MDI client when something else took it, unless the
// host is asking the user something meanwhile.
void KeepGestureCapture();
// While the host asks (a tab's window asked to close), the mouse is its:
// otherwise a click on its question would go to the MDI client.
void PauseGestureCapture();
void ResumeGestureCapture();
// Releases whatever capture a window of this thread holds.
void EndGestureCapture();

// The TabList popup: a modal list of the host's tabs beside the cursor.
#pragma once
#include <windows.h>

struct TabListPopup;
// The open popup, null while none is open.
extern TabListPopup* activeTabListPopup;

// No popup open: runs it modally and returns the chosen row (a tab index) or
// a negative value. Popup open: moves its selection one row (up for
// delta >= 0) and returns -1.
int OpenTabListPopup(int wheelDelta, int x, int y);
// Closes the tab selected in the open popup.
void CloseSelectedTab();
// Asks the open popup to close; later requests do nothing.
void RequestTabListClose();

// What the host's tab bar shows when the TabList popup opens: one record per
// tab, in tab order, with the MDI child behind it where one can be told.
#pragma once
#include <windows.h>

// Room for a tab text, a window title or a row description, NUL included.
constexpr int kTabTextSize = 256;
// Room for a composition window's recipient field text, NUL included.
constexpr int kRecipientSize = 64;
// Room for a composition window's subject field text, NUL included.
constexpr int kSubjectSize = 128;

// One tab; all zero is an empty record.
struct TabRecord {
    char text[kTabTextSize];
    INT32 hasImage;  // nonzero: the tab has an image and is never closed
    char description[kTabTextSize];  // empty unless a window was attached
    HWND hwndChild;                  // the MDI child behind the tab, or null
};

// The records of one popup opening. Owns its array and frees it when the
// scope that holds it ends.
struct TabSnapshot {
    INT32 count = 0;
    TabRecord* records = nullptr;  // null when there are no tabs

    TabSnapshot() = default;
    ~TabSnapshot();
    TabSnapshot(const TabSnapshot&) = delete;
    TabSnapshot& operator=(const TabSnapshot&) = delete;
};

// One search for a label among a window's descendants.
struct LabelSearch {
    HWND found;         // null until a window with the label's text is seen
    const char* label;
};

// Fills an empty snapshot with the tab texts and image flags. A failed
// allocation leaves it empty.
void TakeTabSnapshot(TabSnapshot& snapshot);
// Attaches the MDI client's children and their descriptions to the records.
void DescribeMdiChildren(TabSnapshot& snapshot);
// EnumChildWindows callback; lParam is the TabSnapshot. Always continues.
BOOL CALLBACK DescribeMdiChild(HWND window, LPARAM snapshot);
// Index of the first unattached record whose tab text fits the title, or -1.
int MatchTabTitle(const char* title, const TabSnapshot& snapshot);
// EnumChildWindows callback; lParam is the LabelSearch. Stops at the label.
BOOL CALLBACK FindChildByText(HWND window, LPARAM search);
// Gives an empty snapshot n empty records on the C heap; false, leaving it
// empty, when there is no room.
bool AllocateTabRecords(TabSnapshot& snapshot, int n);
// Frees the array, if any, and leaves the snapshot empty.
void ReleaseTabSnapshot(TabSnapshot& snapshot);

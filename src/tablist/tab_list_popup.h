// The TabList popup: a modal list of the host's tabs beside the cursor.
#pragma once
#include <windows.h>

#include <cstdlib>
#include <memory>

#include "tablist/tab_snapshot.h"

// Pixels per listbox row at 96 DPI; above it rows grow with the DPI and
// the font. The other pixel sizes below are at 96 DPI and grow likewise.
constexpr int kTabRowHeight = 15;
// Rows the listbox shows at most; further rows scroll.
constexpr int kMaxTabListRows = 20;
// The DPI the pixel sizes are given for.
constexpr int kBaseDpi = 96;
// Room beside the widest row, on top of the vertical scroll bar.
constexpr int kTabListWidthPadding = 24;
// Distance from the cursor to the popup's nearest corner, both axes.
constexpr int kPopupCursorGap = 10;
// The dialog is this much wider and higher than its listbox.
constexpr int kPopupFrameExtra = 10;
// The listbox's top-left corner in the dialog's client area.
constexpr int kTabListLeft = 4;
constexpr int kTabListTop = 5;
// Timer that polls the right button while the popup is open.
constexpr UINT_PTR TIMER_RBUTTON_POLL = 17;
// Elapse of TIMER_RBUTTON_POLL: the system's shortest interval.
constexpr UINT kRButtonPollElapse = 0;
// Template name of the popup among the plug-in's resources.
constexpr char kTabListTemplate[] = "IDD_FORMVIEW";

// Deleter of what the C heap gave: the plug-in allocates nothing with new.
struct CHeapFree {
    void operator()(void* block) const { std::free(block); }
};

// One listbox row.
struct TabListEntry {
    HWND hwndChild;  // null when the snapshot attached no window
    bool hasImage;   // such a tab is never closed from the popup
};

// The life of a popup. Only the popup's own functions move it on.
enum class PopupStage {
    Opening,          // the dialog is being made; nothing shown yet
    Open,             // rows shown, following the wheel
    Asking,           // a tab's window handles its close and may ask the user
    AskingThenClose,  // the same, and a close was asked for meanwhile
    Closing,          // a close was posted; the dialog ends at its next turn
    Closed,           // ended, its row chosen
};

// On which side of the cursor the popup was put, per axis.
struct PopupSide {
    bool left = false;
    bool above = false;
};

// The open popup; lives in the OpenTabListPopup call that runs it.
struct TabListPopup {
    PopupStage stage = PopupStage::Opening;
    HWND hwndDialog = nullptr;
    TabRecord* records = nullptr;  // borrowed from the snapshot
    INT32 count = 0;               // rows; drops by one per closed tab
    INT32 currentTab = -1;         // the host's current tab, selected at first
    INT32 listWidth = 0;
    INT32 listHeight = 0;
    INT32 originX = 0;  // cursor at the wheel step that opened the popup
    INT32 originY = 0;
    PopupSide side;                   // kept when the popup shrinks
    INT32 dpi = kBaseDpi;             // of the popup's window
    INT32 rowHeight = kTabRowHeight;  // pixels
    // One per row, `count` in use, in row order.
    std::unique_ptr<TabListEntry[], CHeapFree> entries;
};

// The open popup, null while none is open.
extern TabListPopup* activeTabListPopup;

// Runs the popup modally beside the cursor (x, y: screen) and returns the
// chosen row (a tab index) or a negative value. With a popup already open it
// returns -1 at once: the wheel moves an open one through
// MoveTabListSelection.
int OpenTabListPopup(int x, int y);
// Closes the tab selected in the open popup.
void CloseSelectedTab();
// Asks the open popup to close; later requests do nothing.
void RequestTabListClose();

INT_PTR CALLBACK TabListDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Fills the listbox and the entries from the records and sizes the listbox.
void FillTabList(HWND dialog, TabListPopup& popup);
// Moves and sizes the dialog and its listbox from the popup's geometry, on
// the side of the cursor it had before where it still fits.
void PlaceTabListPopup(HWND dialog, TabListPopup& popup);
// Moves the selection one row, wrapping at both ends.
void MoveTabListSelection(TabListPopup& popup, bool up);

// A length of kBaseDpi pixels at this DPI.
int ScaleToDpi(int pixels, int dpi);
// Row height at this DPI for a font this high: 15 pixels up to 96 DPI,
// scaled above it, and never less than the font's height.
int TabRowHeightFor(int dpi, int fontHeight);
// Listbox height for this many rows of this height.
int TabListHeight(int rows, int rowHeight);
// Row selected after one step from sel (-1: none) among count rows.
int WrapTabListSelection(int sel, bool up, int count);
// The host's tab index of a row now, or -1 when the row has none: the host
// may have destroyed windows of earlier rows, or of this one, meanwhile.
int TabIndexOfRow(const TabListPopup& popup, int row);
// Whether the row at sel may be closed from the popup.
bool CanCloseTabListRow(const TabListPopup& popup, int sel);
// Whether a tab's window is handling its close (one close at a time).
bool IsAskingToClose(PopupStage stage);
// The row selected after `closed` was removed, when `selected` was selected
// (a wheel step may have moved it while the tab's window asked).
int SelectionAfterClosing(int closed, int selected, int rowsLeft);
// Top-left corner of a popup of this size, gap away from the cursor: on the
// preferred side of it (below right at first), moved to the cursor's other
// side on an axis where it would leave the work area, and then into the work
// area on every edge.
POINT TabListPopupPosition(POINT cursor, SIZE size, const RECT& workArea, int gap = kPopupCursorGap,
                           PopupSide prefer = {});

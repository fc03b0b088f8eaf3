#include "tablist/tab_list_popup.h"

#include <commctrl.h>

#include <cstdlib>
#include <cstring>

#include "frame/plugin_state.h"
#include "frame/debug_trace.h"
#include "frame/mouse_capture.h"
#include "res/resource.h"
#include "tablist/gdi_guards.h"

TabListPopup* activeTabListPopup = nullptr;

namespace {

HWND TabList(HWND dialog) { return GetDlgItem(dialog, IDC_TABLIST_LIST); }

int SelectedRow(HWND dialog) { return static_cast<int>(SendMessageA(TabList(dialog), LB_GETCURSEL, 0, 0)); }

}  // namespace

int ScaleToDpi(int pixels, int dpi) { return MulDiv(pixels, dpi, kBaseDpi); }

int TabRowHeightFor(int dpi, int fontHeight) {
    // Rounded up: at least 15 pixels at 96 DPI; and, at any DPI, the whole
    // font, which a large list font needs at 96 DPI too.
    const int scaled = dpi > kBaseDpi ? (kTabRowHeight * dpi + kBaseDpi - 1) / kBaseDpi : kTabRowHeight;
    return scaled > fontHeight ? scaled : fontHeight;
}

int TabListHeight(int rows, int rowHeight) {
    return (rows < kMaxTabListRows ? rows : kMaxTabListRows) * rowHeight;
}

int WrapTabListSelection(int sel, bool up, int count) {
    sel += up ? -1 : 1;
    if (sel < 0) return count - 1;
    if (sel >= count) return 0;
    return sel;
}

int TabIndexOfRow(const TabListPopup& popup, int row) {
    if (row < 0 || row >= popup.count || !popup.entries) return -1;
    // The host removes the tab of a window it destroys: the rows of such
    // windows no longer have a tab, and the later rows' tabs moved up.
    auto gone = [](const TabListEntry& entry) { return entry.hwndChild && !IsWindow(entry.hwndChild); };
    if (gone(popup.entries[row])) return -1;
    int index = row;
    for (int i = 0; i < row; ++i)
        if (gone(popup.entries[i])) --index;
    return index;
}

bool CanCloseTabListRow(const TabListPopup& popup, int sel) {
    if (sel < 0 || sel >= popup.count || !popup.entries) return false;
    const TabListEntry& entry = popup.entries[sel];
    return entry.hwndChild && !entry.hasImage;
}

namespace {

// Start of a span of this length on one axis: on the preferred side of the
// cursor, else on the other, and never outside [low, high) where it fits.
LONG PlaceOnAxis(LONG cursor, LONG length, LONG low, LONG high, int gap, bool before) {
    const LONG after = cursor + gap;
    const LONG ahead = cursor - gap - length;
    LONG at = before ? ahead : after;
    if (before ? at < low : at + length > high) at = before ? after : ahead;
    if (at + length > high) at = high - length;
    if (at < low) at = low;
    return at;
}

}  // namespace

POINT TabListPopupPosition(POINT cursor, SIZE size, const RECT& workArea, int gap, PopupSide prefer) {
    return {PlaceOnAxis(cursor.x, size.cx, workArea.left, workArea.right, gap, prefer.left),
            PlaceOnAxis(cursor.y, size.cy, workArea.top, workArea.bottom, gap, prefer.above)};
}

void PlaceTabListPopup(HWND dialog, TabListPopup& popup) {
    const int gap = ScaleToDpi(kPopupCursorGap, popup.dpi);
    const int extra = ScaleToDpi(kPopupFrameExtra, popup.dpi);
    POINT cursor = {popup.originX, popup.originY};
    SIZE size = {popup.listWidth + extra, popup.listHeight + extra};
    POINT at = {cursor.x + gap, cursor.y + gap};
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoA(MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST), &monitor))
        at = TabListPopupPosition(cursor, size, monitor.rcWork, gap, popup.side);
    popup.side = {at.x < cursor.x, at.y < cursor.y};
    MoveWindow(dialog, at.x, at.y, size.cx, size.cy, TRUE);
    MoveWindow(TabList(dialog), ScaleToDpi(kTabListLeft, popup.dpi), ScaleToDpi(kTabListTop, popup.dpi),
               popup.listWidth, popup.listHeight, TRUE);
}

namespace {

// The DPI the popup's window is drawn at. A per-monitor aware host draws it
// at its monitor's DPI, which only GetDpiForWindow tells: the device context
// reports the system's. Looked up at run time, for systems without it.
int WindowDpi(HWND window, HDC dc) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    int dpi = getDpiForWindow ? static_cast<int>(getDpiForWindow(window)) : 0;
    if (dpi <= 0) dpi = GetDeviceCaps(dc, LOGPIXELSY);
    return dpi > 0 ? dpi : kBaseDpi;
}

// Moves the dialog, as it is, beside the cursor, inside the cursor's
// monitor. The dialog is made at its owner's place, perhaps on another
// monitor, and a per-monitor aware host draws it at the DPI of the monitor
// it is on. Following Microsoft's documentation: moved onto a monitor of
// another DPI, a window is sent WM_DPICHANGED, and for a per-monitor v2 host
// the dialog manager then scales the dialog's font and controls; so the rows
// are measured after this move, at the DPI the popup is shown at. Wine gives
// every monitor the same DPI, so no test here sees that change.
void MoveBesideCursor(HWND dialog, const TabListPopup& popup) {
    RECT now;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    const POINT cursor = {popup.originX, popup.originY};
    if (!GetWindowRect(dialog, &now) || !GetMonitorInfoA(MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    const POINT at = TabListPopupPosition(cursor, {now.right - now.left, now.bottom - now.top}, monitor.rcWork);
    SetWindowPos(dialog, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

void FillTabList(HWND dialog, TabListPopup& popup) {
    HWND list = TabList(dialog);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0));
    int widest = 0;
    {
        ScopedGetDC dc(list);
        ScopedSelectObject selected(dc.Get(), font);
        TEXTMETRICA metrics = {};
        GetTextMetricsA(dc.Get(), &metrics);
        popup.dpi = WindowDpi(dialog, dc.Get());
        popup.rowHeight = TabRowHeightFor(popup.dpi, metrics.tmHeight);
        for (int i = 0; i < popup.count; ++i) {
            const TabRecord& record = popup.records[i];
            const char* row = record.description[0] ? record.description : record.text;
            DebugTrace("%x(%d) -> %s", record.hwndChild, record.hasImage, row);
            SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
            popup.entries[i] = {record.hwndChild, record.hasImage != 0};
            SIZE extent = {};
            if (GetTextExtentPoint32A(dc.Get(), row, lstrlenA(row), &extent) && extent.cx > widest)
                widest = extent.cx;
        }
    }
    // Rows are as high as the popup's height assumes, whatever the font's
    // own line height: otherwise the last row hides behind the scroll bar.
    SendMessageA(list, LB_SETITEMHEIGHT, 0, popup.rowHeight);
    popup.listWidth = GetSystemMetrics(SM_CXVSCROLL) + widest + ScaleToDpi(kTabListWidthPadding, popup.dpi);
    popup.listHeight = TabListHeight(popup.count, popup.rowHeight);
    SendMessageA(list, LB_SETCURSEL, popup.currentTab, 0);
}

void MoveTabListSelection(TabListPopup& popup, bool up) {
    int sel = WrapTabListSelection(SelectedRow(popup.hwndDialog), up, popup.count);
    SendMessageA(TabList(popup.hwndDialog), LB_SETCURSEL, sel, 0);
}

bool IsAskingToClose(PopupStage stage) {
    return stage == PopupStage::Asking || stage == PopupStage::AskingThenClose;
}

int SelectionAfterClosing(int closed, int selected, int rowsLeft) {
    // The row that followed the closed one, or the new last row.
    if (selected == closed) return closed < rowsLeft ? closed : rowsLeft - 1;
    return selected > closed ? selected - 1 : selected;
}

namespace {

int RowOfWindow(const TabListPopup& popup, HWND child) {
    for (int i = 0; i < popup.count; ++i)
        if (popup.entries[i].hwndChild == child) return i;
    return -1;
}

// Asks the window to close as the user would, through its own handling: the
// default MDI child procedure destroys it, a draft may ask first or refuse.
// True when the window is gone afterwards.
bool AskToClose(TabListPopup& popup, HWND child) {
    if (!IsWindow(child)) return true;
    popup.stage = PopupStage::Asking;
    LendGestureCapture();
    SendMessageA(child, WM_CLOSE, 0, 0);
    const bool gone = !IsWindow(child);
    // The popup may have ended meanwhile (its dialog destroyed with the host).
    if (activeTabListPopup != &popup) return gone;
    const bool closeWanted = popup.stage == PopupStage::AskingThenClose;
    popup.stage = PopupStage::Open;
    KeepGestureCapture();
    // A question the host showed took the activation: the popup gets it back
    // so that Esc and a later deactivation reach it again.
    if (IsWindow(popup.hwndDialog) && GetActiveWindow() != popup.hwndDialog) SetActiveWindow(popup.hwndDialog);
    if (closeWanted) RequestTabListClose();
    return gone;
}

}  // namespace

void CloseSelectedTab() {
    TabListPopup* popup = activeTabListPopup;
    // One close at a time: a click on the host's question is no second close.
    if (!popup || popup->stage != PopupStage::Open) return;
    const int sel = SelectedRow(popup->hwndDialog);
    if (!CanCloseTabListRow(*popup, sel)) return;
    const HWND child = popup->entries[sel].hwndChild;
    if (!AskToClose(*popup, child) || activeTabListPopup != popup) return;

    // Wheel steps taken while the window asked moved the selection: keep it.
    const int closed = RowOfWindow(*popup, child);
    if (closed < 0) return;
    HWND list = TabList(popup->hwndDialog);
    const int selected = SelectedRow(popup->hwndDialog);
    SendMessageA(list, LB_DELETESTRING, closed, 0);
    std::memmove(&popup->entries[closed], &popup->entries[closed + 1],
                 (popup->count - closed - 1) * sizeof(TabListEntry));
    popup->count -= 1;

    // Only the height follows the rows: the width was measured once.
    popup->listHeight = TabListHeight(popup->count, popup->rowHeight);
    PlaceTabListPopup(popup->hwndDialog, *popup);
    SendMessageA(list, LB_SETCURSEL, SelectionAfterClosing(closed, selected, popup->count), 0);
}

void RequestTabListClose() {
    TabListPopup* popup = activeTabListPopup;
    if (!popup) return;
    switch (popup->stage) {
        case PopupStage::Open:
            // Should the post fail, a later request (the poll, a release) tries again.
            if (PostMessageA(popup->hwndDialog, WM_COMMAND, IDCANCEL, 0)) popup->stage = PopupStage::Closing;
            break;
        case PopupStage::Asking:
            // Not in the middle of a tab's close: the popup closes once it is over.
            popup->stage = PopupStage::AskingThenClose;
            break;
        default:
            // Not shown yet, or a close is already under way.
            break;
    }
}

INT_PTR CALLBACK TabListDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    // Whatever reaches a popup that has already closed is left to the default.
    TabListPopup* popup = activeTabListPopup;
    if (!popup) return FALSE;
    switch (message) {
        case WM_INITDIALOG:
            DebugTrace("WM_INITDIALOG. cap=[0x%x]", GetCapture());
            popup->hwndDialog = dialog;
            popup->stage = PopupStage::Open;
            MoveBesideCursor(dialog, *popup);
            FillTabList(dialog, *popup);
            SetTimer(dialog, TIMER_RBUTTON_POLL, kRButtonPollElapse, nullptr);
            return TRUE;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) {
                PlaceTabListPopup(dialog, *popup);
                return TRUE;
            }
            // A question a tab's window shows while it closes is no leaving.
            if (!IsAskingToClose(popup->stage)) RequestTabListClose();
            return FALSE;
        case WM_COMMAND: {
            DebugTrace("WM_COMMAND. notifyCode=[%d], wID[0x%x], hwndCtl=[0x%x]", HIWORD(wParam), LOWORD(wParam),
                       lParam);
            // Posted by a close request, or sent by the dialog manager for Esc.
            if (LOWORD(wParam) != IDCANCEL) return FALSE;
            const int tab = TabIndexOfRow(*popup, SelectedRow(dialog));
            KillTimer(dialog, TIMER_RBUTTON_POLL);
            popup->stage = PopupStage::Closed;
            activeTabListPopup = nullptr;
            // The mouse goes back (or to the press still held) before the
            // dialog ends: under wine EndDialog may wait 2 s for the window
            // to be withdrawn.
            EndGestureCapture();
            EndDialog(dialog, tab);
            return FALSE;
        }
        case WM_TIMER:
            // The hook may never see the button's release (it can happen
            // outside the host), so its state is polled as well.
            if (!GestureButtonHeld()) RequestTabListClose();
            return TRUE;
        case WM_CTLCOLORLISTBOX:
            // Each repaint takes the capture back for the gesture window,
            // whose messages the hook reads; while the host asks, the mouse
            // is its.
            if (!IsAskingToClose(popup->stage)) KeepGestureCapture();
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        default:
            return FALSE;
    }
}

int OpenTabListPopup(int x, int y) {
    if (activeTabListPopup) return -1;
    TabSnapshot snapshot;
    TakeTabSnapshot(snapshot);
    DescribeMdiChildren(snapshot);

    TabListPopup popup;
    popup.records = snapshot.records;
    popup.count = snapshot.count;
    popup.currentTab = static_cast<int>(SendMessageA(g_plugin.hwndTab, TCM_GETCURSEL, 0, 0));
    if (popup.count > 0) {
        popup.entries.reset(static_cast<TabListEntry*>(std::calloc(popup.count, sizeof(TabListEntry))));
        // Without room for the rows the popup shows none.
        if (!popup.entries) popup.count = 0;
    }

    popup.originX = x;
    popup.originY = y;
    // The dialog manager disables the owner's top-level window while the
    // popup runs and enables it again only at the popup's own end.
    HWND owner = GetAncestor(GestureWindow(), GA_ROOT);
    const bool ownerEnabled = IsWindowEnabled(owner);
    activeTabListPopup = &popup;
    INT_PTR result = DialogBoxParamA(g_plugin.hModule, kTabListTemplate, GestureWindow(), TabListDialogProc, 0);
    if (activeTabListPopup == &popup) {
        // The popup never closed itself (no dialog could be made, or someone
        // else destroyed it): the capture the hook gave must not outlive
        // it, nor may the host stay disabled.
        activeTabListPopup = nullptr;
        EndGestureCapture();
        if (ownerEnabled) EnableWindow(owner, TRUE);
    }
    // Only a popup that ended itself chose a row, whatever DialogBoxParam
    // says: it returns 0, a valid row, for an owner that is no window and for
    // a dialog destroyed by others.
    return popup.stage == PopupStage::Closed ? static_cast<int>(result) : -1;
}

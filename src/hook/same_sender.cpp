#include "hook/same_sender.h"

#include <commctrl.h>

#include <cstring>

#include "frame/plugin_state.h"

namespace {

// The header name the sender is read from; case-sensitive.
constexpr char kFromHeader[] = "From:";
// Its length without the NUL.
constexpr int kFromHeaderLength = sizeof kFromHeader - 1;
// The host's ANSI code page: the texts it hands out are in it.
constexpr UINT kHostCodePage = 932;
// stateMask of every LVM_SETITEMSTATE: focused, selected, cut, drop-highlighted.
constexpr UINT kItemStateMask = LVIS_FOCUSED | LVIS_SELECTED | LVIS_CUT | LVIS_DROPHILITED;
// state that makes an item the current one.
constexpr UINT kItemCurrent = LVIS_FOCUSED | LVIS_SELECTED;

// Compares the bytes of prefix with those at s; stops at s's NUL.
bool StartsWith(const char* s, const char* prefix) {
    for (; *prefix; ++s, ++prefix)
        if (*s != *prefix) return false;
    return true;
}

// A new NUL-terminated copy of [begin, begin + length); empty when out of memory.
SenderKey CopyRange(const char* begin, size_t length) {
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (!copy) return SenderKey();
    std::memcpy(copy, begin, length);
    copy[length] = '\0';
    return SenderKey(copy);
}

// '<', '>', CR, LF, space and tab are below 0x40, so none of them is ever
// the trail byte of a code page 932 character: a byte scan is safe for them.
const char* FindByte(const char* s, char c) {
    for (; *s; ++s)
        if (*s == c) return s;
    return nullptr;
}

void SetItemState(int item, UINT state) {
    LVITEMA lvi = {};
    lvi.state = state;
    lvi.stateMask = kItemStateMask;
    SendMessageA(g_plugin.hwndList, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lvi));
}

// Reads the message selected in the host's list and extracts its sender.
// False when the host yields no text; only a text it gave is released.
bool ReadSelectedSender(SenderKey& sender) {
    char path[kMessagePathSize] = {};
    g_plugin.api.QMA_GetNextMessagePath(-1, path, 1);
    // A host that fills the whole buffer still hands on a terminated path.
    path[kMessagePathSize - 1] = '\0';
    const char* text = g_plugin.api.QMA_GetMessage(path);
    if (!text) return false;
    sender = ExtractSender(text);
    g_plugin.api.QMA_ReleaseQuilmBuffer();
    return true;
}

void ShowStatus(const char* text) { g_plugin.api.QMA_DispMessageOnStatusBar(text, -1); }

void SetRedraw(HWND hwnd, BOOL on) {
    if (hwnd) SendMessageA(hwnd, WM_SETREDRAW, on, 0);
}

// InvalidateRect with a null window would repaint every window on the desktop.
void Invalidate(HWND hwnd, BOOL erase) {
    if (hwnd) InvalidateRect(hwnd, nullptr, erase);
}

// The view's later siblings: GetWindow(null) ends the walk when there is no view.
HWND NextSibling(HWND hwnd) { return hwnd ? GetWindow(hwnd, GW_HWNDNEXT) : nullptr; }

}  // namespace

const char* FindFromHeader(const char* text) {
    for (const char* p = text; *p;) {
        if (StartsWith(p, kFromHeader)) return p;
        // Step over a double-byte character whole, but never over the NUL.
        if (IsDBCSLeadByteEx(kHostCodePage, static_cast<BYTE>(*p)) && p[1]) p += 2;
        else p += 1;
    }
    return nullptr;
}

const char* FindHeaderEnd(const char* s) {
    for (const char* p = s; (p = FindByte(p, '\r')); ++p) {
        if (p[1] == '\n' && p[2] != ' ' && p[2] != '\t') return p;
    }
    return nullptr;
}

SenderKey ExtractSender(const char* text) {
    const char* from = FindFromHeader(text);
    if (!from) return SenderKey();
    const char* v = from + kFromHeaderLength;
    while (*v == ' ' || *v == '\t') ++v;
    const char* e = FindHeaderEnd(v);
    if (!e) return SenderKey();

    const size_t length = static_cast<size_t>(e - v);
    SenderKey value = CopyRange(v, length);
    if (!value) return SenderKey();
    const char* open = FindByte(value.Get(), '<');
    if (!open) return value;
    const char* close = FindByte(open, '>');
    if (!close) return SenderKey();
    // "<>" holds no address: the whole value, brackets and all, is the key.
    if (close == open + 1) return value;
    return CopyRange(open + 1, static_cast<size_t>(close - open - 1));
}

void FreezePanes(bool freeze) {
    if (freeze) {
        SetRedraw(g_plugin.hwndList, FALSE);
        SetRedraw(g_plugin.hwndStatus, FALSE);
        SetRedraw(g_plugin.hwndView, FALSE);
        for (HWND w = NextSibling(g_plugin.hwndView); w; w = NextSibling(w)) SetRedraw(w, FALSE);
        return;
    }
    SetRedraw(g_plugin.hwndStatus, TRUE);
    SetRedraw(g_plugin.hwndList, TRUE);
    SetRedraw(g_plugin.hwndView, TRUE);
    Invalidate(g_plugin.hwndList, FALSE);
    Invalidate(g_plugin.hwndView, TRUE);
    Invalidate(g_plugin.hwndStatus, FALSE);
    for (HWND w = NextSibling(g_plugin.hwndView); w; w = NextSibling(w)) {
        SetRedraw(w, TRUE);
        Invalidate(w, TRUE);
    }
}

bool FindSameSender(int start, const char* sender, bool up) {
    FreezePanes(true);
    const int last = static_cast<int>(SendMessageA(g_plugin.hwndList, LVM_GETITEMCOUNT, 0, 0)) - 1;
    const int step = up ? -1 : 1;
    int i = start;
    // Bounds rather than "until the end item" so that a start outside the
    // list can never walk off it.
    while (up ? i > 0 : i < last) {
        SetItemState(i, 0);
        i += step;
        // The host follows the selection at once: the next read is item i's.
        SetItemState(i, kItemCurrent);
        SenderKey candidate;
        if (!ReadSelectedSender(candidate)) continue;
        if (candidate && lstrcmpA(sender, candidate.Get()) == 0) {
            SendMessageA(g_plugin.hwndList, LVM_ENSUREVISIBLE, static_cast<WPARAM>(i), TRUE);
            FreezePanes(false);
            return true;
        }
    }
    FreezePanes(false);
    SetItemState(i, 0);
    SetItemState(start, kItemCurrent);
    return false;
}

void NavigateSameSender(int delta) {
    SenderKey sender;
    if (!ReadSelectedSender(sender)) return;
    if (!sender) {
        ShowStatus(kStatusNoSender);
        return;
    }
    int start = static_cast<int>(
        SendMessageA(g_plugin.hwndList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED | LVNI_SELECTED));
    // No item both focused and selected: the first selected one, if any.
    if (start < 0)
        start = static_cast<int>(
            SendMessageA(g_plugin.hwndList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (start < 0) {
        ShowStatus(kStatusNotFound);
        return;
    }
    ShowStatus(FindSameSender(start, sender.Get(), delta > 0) ? kStatusFound : kStatusNotFound);
}

#include "tablist/tab_snapshot.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <cstdlib>
#include <cstring>

#include "frame/plugin_state.h"
#include "tablist/text_compare.h"

namespace {

// The labels before a composition window's recipient and subject fields.
constexpr char kRecipientLabel[] = "宛先(&T):";
constexpr char kSubjectLabel[] = "件名(&S):";
// TCIF_TEXT | TCIF_IMAGE | TCIF_PARAM: the parameter is asked for, never used.
constexpr UINT kTabItemMask = TCIF_TEXT | TCIF_IMAGE | TCIF_PARAM;

// The part of a tab text after its marker ("12 " or "123 "), or the whole
// text when it has none.
const char* TabTextRemainder(const char* text, bool* hasMarker) {
    int length = lstrlenA(text);
    *hasMarker = true;
    if (length > 2 && text[2] == ' ') return text + 3;
    if (length > 3 && text[3] == ' ') return text + 4;
    *hasMarker = false;
    return text;
}

HWND FindLabel(HWND window, const char* label) {
    LabelSearch search = {nullptr, label};
    EnumChildWindows(window, FindChildByText, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Describes one MDI child whose labels have been looked for; the subject
// label is only wanted in a composition window.
void DescribeWindow(HWND window, HWND recipientLabel, HWND subjectLabel, TabSnapshot& snapshot) {
    char title[kTabTextSize] = "";
    GetWindowTextA(window, title, kTabTextSize);
    char description[kTabTextSize] = "";

    if (recipientLabel && IsWindowVisible(GetParent(recipientLabel))) {
        HWND recipientField = GetWindow(recipientLabel, GW_HWNDNEXT);
        HWND subjectField = subjectLabel ? GetWindow(subjectLabel, GW_HWNDNEXT) : nullptr;
        char recipient[kRecipientSize] = "";
        char subject[kSubjectSize] = "";
        if (recipientField) GetWindowTextA(recipientField, recipient, kRecipientSize);
        if (subjectField) GetWindowTextA(subjectField, subject, kSubjectSize);
        // The host's composition titles carry more after a blank than the tab shows.
        if (char* blank = StrChrA(title, ' ')) *blank = '\0';
        wnsprintfA(description, kTabTextSize, "%s To: %s, Sub: %s", title, recipient, subject);
    } else {
        wnsprintfA(description, kTabTextSize, "%s", title);
    }
    description[kTabTextSize - 1] = '\0';

    int i = MatchTabTitle(title, snapshot);
    if (i >= 0) {
        lstrcpynA(snapshot.records[i].description, description, kTabTextSize);
        snapshot.records[i].hwndChild = window;
    }
}

// One walk over the MDI client's descendants that also does every child's
// label searches. EnumChildWindows lists a window's whole subtree right after
// the window, in the order a walk from that window would, so the first
// descendant bearing a label is the one a search of its own would find. Each
// window it visits costs the window manager a request for its child list;
// searching each child again would visit every control twice.
struct DescribePass {
    TabSnapshot* snapshot;
    HWND pending;  // the child whose subtree is being read, described once it ends
    HWND recipientLabel;
    HWND subjectLabel;
};

void FinishPending(DescribePass& pass) {
    if (pass.pending) DescribeWindow(pass.pending, pass.recipientLabel, pass.subjectLabel, *pass.snapshot);
    pass.pending = nullptr;
}

BOOL CALLBACK VisitMdiDescendant(HWND window, LPARAM param) {
    DescribePass& pass = *reinterpret_cast<DescribePass*>(param);
    const bool owned = GetParent(window) == g_plugin.hwndMdiClient;
    if (GetAncestor(window, GA_PARENT) == g_plugin.hwndMdiClient) {
        // A new subtree: the previous child has been read whole.
        FinishPending(pass);
        if (owned) pass = {pass.snapshot, window, nullptr, nullptr};
        return TRUE;
    }
    if (owned) {
        // A window deeper down that names the MDI client its owner is described
        // in its turn, after the child it lies in, each with searches of its own.
        HWND child = pass.pending;
        pass.pending = nullptr;
        if (child) DescribeMdiChild(child, reinterpret_cast<LPARAM>(pass.snapshot));
        DescribeMdiChild(window, reinterpret_cast<LPARAM>(pass.snapshot));
        return TRUE;
    }
    if (!pass.pending || (pass.recipientLabel && pass.subjectLabel)) return TRUE;
    char text[kTabTextSize] = "";
    GetWindowTextA(window, text, kTabTextSize);
    if (!pass.recipientLabel && lstrcmpA(kRecipientLabel, text) == 0) pass.recipientLabel = window;
    if (!pass.subjectLabel && lstrcmpA(kSubjectLabel, text) == 0) pass.subjectLabel = window;
    return TRUE;
}

}  // namespace

TabSnapshot::~TabSnapshot() { ReleaseTabSnapshot(*this); }

void TakeTabSnapshot(TabSnapshot& snapshot) {
    int n = static_cast<int>(SendMessageA(g_plugin.hwndTab, TCM_GETITEMCOUNT, 0, 0));
    if (n <= 0) return;
    if (!AllocateTabRecords(snapshot, n)) return;

    char text[kTabTextSize] = "";
    TCITEMA item = {};
    item.mask = kTabItemMask;
    item.pszText = text;
    item.cchTextMax = kTabTextSize;
    for (int i = 0; i < n; ++i) {
        // A text cut to the buffer may come back unterminated: never let the
        // previous tab's bytes show through behind it.
        std::memset(text, 0, sizeof text);
        item.pszText = text;
        if (!SendMessageA(g_plugin.hwndTab, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item))) {
            // A tab that cannot be read ends the snapshot before it.
            snapshot.count = i;
            break;
        }
        // The control may point pszText at its own copy: read what it left.
        lstrcpynA(snapshot.records[i].text, item.pszText ? item.pszText : "", kTabTextSize);
        snapshot.records[i].hasImage = item.iImage != -1 ? 1 : 0;
    }
}

void DescribeMdiChildren(TabSnapshot& snapshot) {
    if (!g_plugin.hwndMdiClient) return;
    DescribePass pass = {&snapshot, nullptr, nullptr, nullptr};
    EnumChildWindows(g_plugin.hwndMdiClient, VisitMdiDescendant, reinterpret_cast<LPARAM>(&pass));
    FinishPending(pass);
}

BOOL CALLBACK DescribeMdiChild(HWND window, LPARAM param) {
    TabSnapshot& snapshot = *reinterpret_cast<TabSnapshot*>(param);
    if (GetParent(window) != g_plugin.hwndMdiClient) return TRUE;
    HWND recipientLabel = FindLabel(window, kRecipientLabel);
    HWND subjectLabel = recipientLabel ? FindLabel(window, kSubjectLabel) : nullptr;
    DescribeWindow(window, recipientLabel, subjectLabel, snapshot);
    return TRUE;
}

int MatchTabTitle(const char* title, const TabSnapshot& snapshot) {
    int titleLength = lstrlenA(title);
    bool titleHasDash = StrStrA(title, " - ") != nullptr;
    for (int i = 0; i < snapshot.count; ++i) {
        const TabRecord& record = snapshot.records[i];
        if (record.hwndChild) continue;
        if (SameText(record.text, title)) return i;
        bool hasMarker = false;
        const char* remainder = TabTextRemainder(record.text, &hasMarker);
        // A marked tab shows the title, or the start of it. The comparison
        // reads as many bytes as it is given, NULs or not: never more than
        // the field holds from the remainder on (its NUL included, so a title
        // longer than the remainder still differs).
        const int room = kTabTextSize - static_cast<int>(remainder - record.text);
        if (hasMarker && SamePrefix(remainder, title, titleLength < room ? titleLength : room)) return i;
        // "Name - detail" titles show only their name on the tab.
        if (titleHasDash && SamePrefix(remainder, title, lstrlenA(remainder))) return i;
    }
    return -1;
}

BOOL CALLBACK FindChildByText(HWND window, LPARAM param) {
    LabelSearch& search = *reinterpret_cast<LabelSearch*>(param);
    char text[kTabTextSize] = "";
    GetWindowTextA(window, text, kTabTextSize);
    if (lstrcmpA(search.label, text) != 0) return TRUE;
    search.found = window;
    return FALSE;
}

bool AllocateTabRecords(TabSnapshot& snapshot, int n) {
    // Zero bytes are empty records.
    snapshot.records = static_cast<TabRecord*>(std::calloc(n, sizeof(TabRecord)));
    snapshot.count = snapshot.records ? n : 0;
    return snapshot.records != nullptr;
}

void ReleaseTabSnapshot(TabSnapshot& snapshot) {
    std::free(snapshot.records);
    snapshot.records = nullptr;
    snapshot.count = 0;
}

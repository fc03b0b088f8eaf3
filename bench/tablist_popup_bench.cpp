// Time from the notch to the TabList popup shown and painted, with 3, 50 and
// 200 tabs and MDI children of 40 controls each, beside a plain dialog from
// the same template filled with the same rows and no snapshot. The two are
// opened alternately and the medians reported. The snapshot's pieces are
// timed on their own as well, to show where the popup's extra time goes.
// Each tab count is printed as soon as it is measured; on a slow machine it
// gets fewer runs, so the program stays within its time.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "frame/plugin_state.h"
#include "res/resource.h"
#include "stand_in_host.h"
#include "tablist/tab_list_popup.h"

namespace {

// Tab counts measured, each with as many MDI children, and the share of the
// program's time by the end of which each is done.
struct TabCount {
    int tabs;
    double doneBy;
};
constexpr TabCount kTabCounts[] = {{3, 0.1}, {50, 0.35}, {200, 0.9}};
// Controls in each MDI child (its own ones plus added labels).
constexpr int kControlsPerChild = 40;
// Openings of each dialog per tab count; the median is reported. Past the tab
// count's time no further run starts once it has kMinRuns.
constexpr int kRuns = 11;
constexpr int kMinRuns = 5;
// Repeats of each snapshot piece; the median is reported.
constexpr int kPieceRuns = 7;
// A dialog that has not painted by then is closed and its run dropped.
constexpr UINT kRunTimeoutMs = 5000;

double g_startMs;
double g_elapsedMs = -1;

// Stops the clock once, when a dialog has shown and painted everything, and
// asks it to close.
void StopClock(HWND dialog) {
    if (g_elapsedMs >= 0 || !dialog) return;
    g_elapsedMs = bench::NowMs() - g_startMs;
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

// The dialog loop finds its queue empty (paints included) and says so to the
// dialog's owner, the host's main window, with WM_ENTERIDLE. A subclass sees
// only that window's messages: a hook on sent messages would put every
// WM_GETTEXT of the snapshot through wine's hook chain and slow the popup alone.
LRESULT CALLBACK OwnerSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (message == WM_ENTERIDLE && wParam == MSGF_DIALOGBOX) StopClock(reinterpret_cast<HWND>(lParam));
    return DefSubclassProc(window, message, wParam, lParam);
}

// The popup's poll timer may come before the loop ever idles; a timer is only
// retrieved once nothing is left to paint.
LRESULT CALLBACK DialogSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (message == WM_TIMER) StopClock(window);
    return DefSubclassProc(window, message, wParam, lParam);
}

// Called when windows are made, not for every message: gives each dialog the
// subclass above before its first message.
LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char className[16] = "";
        GetClassNameA(window, className, sizeof className);
        if (lstrcmpA(className, "#32770") == 0) SetWindowSubclass(window, DialogSubclass, 1, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK CloseStuckDialog(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = FindWindowA("#32770", nullptr);
    if (dialog) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

void PumpIdle(DWORD ms) {
    DWORD start = GetTickCount();
    MSG msg;
    while (GetTickCount() - start < ms) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

std::vector<std::string> g_rows;

INT_PTR CALLBACK PlainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        HWND list = GetDlgItem(dialog, IDC_TABLIST_LIST);
        for (const std::string& row : g_rows) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
        MoveWindow(dialog, 110, 110, 200, 310, TRUE);
        MoveWindow(list, 4, 5, 190, 300, TRUE);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
    return FALSE;
}

// One opening, timed until painted; -1 when it had to be closed by force.
double TimeOpening(const std::function<void()>& open) {
    g_elapsedMs = -1;
    UINT_PTR guard = SetTimer(nullptr, 0, kRunTimeoutMs, CloseStuckDialog);
    g_startMs = bench::NowMs();
    open();
    KillTimer(nullptr, guard);
    double ms = g_elapsedMs;
    PumpIdle(60);
    return ms;
}

double PieceMs(const std::function<void()>& piece) { return bench::PieceMs(kPieceRuns, piece); }

BOOL CALLBACK CountOne(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int CountDescendants(HWND window) {
    int n = 0;
    EnumChildWindows(window, CountOne, reinterpret_cast<LPARAM>(&n));
    return n;
}

// Reads every descendant's text, as a label search that finds nothing does.
BOOL CALLBACK ReadOneText(HWND window, LPARAM) {
    char text[kTabTextSize];
    GetWindowTextA(window, text, kTabTextSize);
    return TRUE;
}

struct Figures {
    int tabs, runs;
    double popupMs, plainMs, snapshotMs, walkMs;
    double takeMs, describeMs, labelSearchMs, textReadMs, matchMs;
};

Figures Measure(int tabs, double deadlineMs) {
    host::HostOptions options;
    g_rows.clear();
    for (int i = 0; i < tabs; ++i) {
        host::ChildSetup child;
        child.title = "Folder " + std::to_string(i) + " - messages";
        child.tabText = std::to_string(100 + i) + " Folder " + std::to_string(i);
        options.children.push_back(child);
        g_rows.push_back(child.title);
    }
    host::StandInHost h(options);
    std::vector<std::string> titles;
    for (int i = 0; i < h.ChildCount(); ++i) {
        HWND child = h.Child(i);
        for (int n = CountDescendants(child); n < kControlsPerChild; ++n)
            CreateWindowExA(0, "STATIC", "label", WS_CHILD | WS_VISIBLE, 0, 20 * n, 80, 16, child, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
        char title[kTabTextSize] = "";
        GetWindowTextA(child, title, kTabTextSize);
        titles.push_back(title);
    }
    PumpIdle(200);

    g_plugin.hModule = GetModuleHandleA(nullptr);
    g_plugin.hwndMain = h.Main();
    g_plugin.hwndTab = h.Tab();
    g_plugin.hwndMdiClient = h.MdiClient();

    Figures f = {};
    f.tabs = h.TabCount();
    // Alternate the two dialogs so that drift on a shared machine hits both.
    std::vector<double> popup, plain, snapshot, walk;
    SetWindowSubclass(h.Main(), OwnerSubclass, 1, 0);
    HHOOK cbtHook = SetWindowsHookExA(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
    for (int i = 0; i < kRuns && (i < kMinRuns || bench::NowMs() < deadlineMs); ++i) {
        f.runs = i + 1;
        double ms = TimeOpening([] { OpenTabListPopup(100, 100); });
        if (ms >= 0) popup.push_back(ms);
        ms = TimeOpening(
            [&] { DialogBoxParamA(GetModuleHandleA(nullptr), kTabListTemplate, h.MdiClient(), PlainDialogProc, 0); });
        if (ms >= 0) plain.push_back(ms);
        // What the popup does before its dialog, timed in the same turn.
        const double start = bench::NowMs();
        TabSnapshot s;
        TakeTabSnapshot(s);
        DescribeMdiChildren(s);
        snapshot.push_back(bench::NowMs() - start);
        // The floor under an exact snapshot: the window manager's own walk
        // over every window below the MDI client, with nothing done per window.
        const double walkStart = bench::NowMs();
        CountDescendants(h.MdiClient());
        walk.push_back(bench::NowMs() - walkStart);
    }
    UnhookWindowsHookEx(cbtHook);
    RemoveWindowSubclass(h.Main(), OwnerSubclass, 1);
    f.popupMs = bench::Median(popup);
    f.plainMs = bench::Median(plain);
    f.snapshotMs = bench::Median(snapshot);
    f.walkMs = bench::Median(walk);

    f.takeMs = PieceMs([] {
        TabSnapshot s;
        TakeTabSnapshot(s);
    });
    f.describeMs = PieceMs([] {
        TabSnapshot s;
        TakeTabSnapshot(s);
        DescribeMdiChildren(s);
    }) - f.takeMs;
    f.labelSearchMs = PieceMs([&] {
        for (int i = 0; i < h.ChildCount(); ++i) {
            LabelSearch search = {nullptr, "宛先(&T):"};
            EnumChildWindows(h.Child(i), FindChildByText, reinterpret_cast<LPARAM>(&search));
        }
    });
    f.textReadMs = PieceMs([&] {
        for (int i = 0; i < h.ChildCount(); ++i) EnumChildWindows(h.Child(i), ReadOneText, 0);
    });
    // Every title matched against a snapshot in which the earlier ones are
    // attached, as DescribeMdiChildren does.
    f.matchMs = PieceMs([&] {
        TabSnapshot s;
        TakeTabSnapshot(s);
        for (size_t i = 0; i < titles.size(); ++i) {
            int r = MatchTabTitle(titles[i].c_str(), s);
            if (r >= 0) s.records[r].hwndChild = h.Child(static_cast<int>(i));
        }
    });
    return f;
}

}  // namespace

int main() {
    bench::PrintAsMeasured();
    const double startMs = bench::NowMs(), budgetMs = bench::BudgetMs();
    std::printf("TabList popup: notch to painted, MDI children of %d controls, up to %d alternate runs within\n",
                kControlsPerChild, kRuns);
    std::printf("%.0f s, medians; under each tab count its snapshot's pieces (ms, medians of %d)\n", budgetMs / 1000,
                kPieceRuns);
    // Snapshot: the tab texts and the description of the MDI children, timed
    // in the same turns; the rest of the popup is its dialog, to set beside
    // the plain one.
    // Bare walk: EnumChildWindows over the MDI client doing nothing, which
    // any exact snapshot must at least do.
    std::printf("%6s %10s %10s %7s %12s %10s %15s %5s\n", "tabs", "popup ms", "plain ms", "ratio", "snapshot ms",
                "bare walk", "popup-snapshot", "runs");
    for (const TabCount& count : kTabCounts) {
        const Figures f = Measure(count.tabs, startMs + count.doneBy * budgetMs);
        std::printf("%6d %10.2f %10.2f %7.2f %12.2f %10.2f %15.2f %5d\n", f.tabs, f.popupMs, f.plainMs,
                    f.popupMs > 0 && f.plainMs > 0 ? f.popupMs / f.plainMs : -1.0, f.snapshotMs, f.walkMs,
                    f.popupMs - f.snapshotMs, f.runs);
        std::printf("%6s tab texts %.2f, describe %.2f, label search %.2f, text reads %.2f, title match %.2f\n", "",
                    f.takeMs, f.describeMs, f.labelSearchMs, f.textReadMs, f.matchMs);
    }
    return 0;
}

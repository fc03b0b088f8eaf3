// Time until the TabList popup has shown and painted its rows, with 200 tabs and 200
// MDI children of 40 controls each, against a plain dialog from the same
// template filled with the same 200 rows and no snapshot.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "frame/plugin_state.h"
#include "res/resource.h"
#include "stand_in_host.h"
#include "tablist/tab_list_popup.h"

namespace {

// Tabs and MDI children of the host.
constexpr int kTabs = 200;
// Controls in each MDI child (its own ones plus added labels).
constexpr int kControlsPerChild = 40;
// Openings measured per dialog; the median is reported.
constexpr int kRuns = 15;
// A dialog that has not painted by then is closed and its run dropped.
constexpr UINT kRunTimeoutMs = 5000;

LARGE_INTEGER g_start;
double g_elapsedMs = -1;

double MsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Stops the clock once, when a dialog has shown and painted everything, and
// asks it to close.
void StopClock(HWND dialog) {
    if (g_elapsedMs >= 0 || !dialog) return;
    g_elapsedMs = MsSince(g_start);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

// The dialog loop finds its queue empty (paints included) and says so to the
// owner with WM_ENTERIDLE.
LRESULT CALLBACK AfterSend(int code, WPARAM wParam, LPARAM lParam) {
    const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code >= 0 && call->message == WM_ENTERIDLE && call->wParam == MSGF_DIALOGBOX)
        StopClock(reinterpret_cast<HWND>(call->lParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The popup's poll timer may come before the loop ever idles; a timer is only
// retrieved once nothing is left to paint.
LRESULT CALLBACK OnRetrieve(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code >= 0 && msg->message == WM_TIMER && msg->hwnd && GetDlgItem(msg->hwnd, IDC_TABLIST_LIST))
        StopClock(msg->hwnd);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK CloseStuckDialog(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = FindWindowA("#32770", nullptr);
    if (dialog) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

void PumpIdle() {
    DWORD start = GetTickCount();
    MSG msg;
    while (GetTickCount() - start < 200) {
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

template <typename Open>
double MedianMs(Open open) {
    std::vector<double> runs;
    for (int i = 0; i < kRuns; ++i) {
        g_elapsedMs = -1;
        UINT_PTR guard = SetTimer(nullptr, 0, kRunTimeoutMs, CloseStuckDialog);
        QueryPerformanceCounter(&g_start);
        open();
        KillTimer(nullptr, guard);
        if (g_elapsedMs >= 0) runs.push_back(g_elapsedMs);
        PumpIdle();
    }
    if (runs.empty()) return -1;
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

BOOL CALLBACK CountOne(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int CountDescendants(HWND window) {
    int n = 0;
    EnumChildWindows(window, CountOne, reinterpret_cast<LPARAM>(&n));
    return n;
}

}  // namespace

int main() {
    host::HostOptions options;
    for (int i = 0; i < kTabs; ++i) {
        host::ChildSpec child;
        child.title = "Folder " + std::to_string(i) + " - messages";
        child.tabText = std::to_string(100 + i) + " Folder " + std::to_string(i);
        options.children.push_back(child);
        g_rows.push_back(child.title);
    }
    host::StandInHost h(options);
    for (int i = 0; i < h.ChildCount(); ++i) {
        HWND child = h.Child(i);
        for (int n = CountDescendants(child); n < kControlsPerChild; ++n)
            CreateWindowExA(0, "STATIC", "label", WS_CHILD | WS_VISIBLE, 0, 20 * n, 80, 16, child, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
    }
    PumpIdle();

    g_plugin.hModule = GetModuleHandleA(nullptr);
    g_plugin.hwndMain = h.Main();
    g_plugin.hwndTab = h.Tab();
    g_plugin.hwndMdiClient = h.MdiClient();
    HHOOK sendHook = SetWindowsHookExA(WH_CALLWNDPROCRET, AfterSend, nullptr, GetCurrentThreadId());
    HHOOK retrieveHook = SetWindowsHookExA(WH_GETMESSAGE, OnRetrieve, nullptr, GetCurrentThreadId());

    double popupMs = MedianMs([] { OpenTabListPopup(-120, 100, 100); });
    double plainMs = MedianMs([&] {
        DialogBoxParamA(GetModuleHandleA(nullptr), kTabListTemplate, h.MdiClient(), PlainDialogProc, 0);
    });
    UnhookWindowsHookEx(retrieveHook);
    UnhookWindowsHookEx(sendHook);

    std::printf("tabs %d, MDI children %d with %d controls each, %d runs\n", h.TabCount(), h.ChildCount(),
                kControlsPerChild, kRuns);
    std::printf("TabList popup until painted: %.2f ms (median)\n", popupMs);
    std::printf("plain dialog, same rows:     %.2f ms (median)\n", plainMs);
    if (popupMs > 0 && plainMs > 0) std::printf("ratio popup / plain: %.2f\n", popupMs / plainMs);
    return 0;
}

#include "support/settings_driver.h"

#include <string>
#include <utility>

namespace settings_driver {

namespace {

// Settings command number the host passes back to the plug-in.
constexpr int kSettingsCommand = 35000;
// Tick of the timer that runs the steps inside the modal loop.
constexpr UINT kStepMs = 10;

struct Driver {
    std::vector<Step> steps;
    DialogRun run;
    HHOOK cbt = nullptr;
    UINT_PTR stepTimer = 0;
    UINT_PTR watchdog = 0;
};
Driver* g_driver = nullptr;

void CALLBACK StepTick(HWND, UINT, UINT_PTR, DWORD) {
    Driver* d = g_driver;
    // The dialog is activated hidden and shown once its loop first goes
    // idle; on a busy machine the timer can come first.
    if (!d || !IsWindow(d->run.dialog) || !IsWindowVisible(d->run.dialog)) return;
    while (d->run.stepsDone < d->steps.size()) {
        // A step may close the dialog; take the index first.
        size_t index = d->run.stepsDone;
        if (!d->steps[index](d->run.dialog)) return;
        d->run.stepsDone = index + 1;
        if (!IsWindow(d->run.dialog)) break;
    }
    KillTimer(nullptr, d->stepTimer);
    d->stepTimer = 0;
}

bool IsSettingsDialog(HWND hwnd) {
    char cls[16] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    wchar_t title[32] = {};
    GetWindowTextW(hwnd, title, 32);
    return std::string(cls) == "#32770" && std::wstring(title) == L"Rollvix\u8a2d\u5b9a";
}

BOOL CALLBACK FindSettingsDialog(HWND hwnd, LPARAM found) {
    if (!IsSettingsDialog(hwnd)) return TRUE;
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
}

// Ends a dialog that is still open after the timeout, also one that never
// became active.
void CALLBACK Watchdog(HWND, UINT, UINT_PTR, DWORD) {
    Driver* d = g_driver;
    if (!d) return;
    KillTimer(nullptr, d->watchdog);
    d->watchdog = 0;
    HWND dialog = d->run.dialog;
    if (!dialog) EnumThreadWindows(GetCurrentThreadId(), FindSettingsDialog, reinterpret_cast<LPARAM>(&dialog));
    if (dialog && IsWindow(dialog)) {
        d->run.timedOut = true;
        EndDialog(dialog, IDCANCEL);
    }
}

LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam) {
    Driver* d = g_driver;
    HWND hwnd = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && d && !d->run.dialog && IsSettingsDialog(hwnd)) {
        d->run.dialog = hwnd;
        d->run.owner = GetWindow(hwnd, GW_OWNER);
        d->run.ownerDisabled = d->run.owner && !IsWindowEnabled(d->run.owner);
        // Thread timers: the dialog's modal loop dispatches them to these procedures.
        d->stepTimer = SetTimer(nullptr, 0, kStepMs, StepTick);
    }
    return CallNextHookEx(d ? d->cbt : nullptr, code, wParam, lParam);
}

}  // namespace

DialogRun OpenSettings(HMODULE plugin, std::vector<Step> steps) {
    Driver d;
    d.steps = std::move(steps);
    d.run.stepCount = d.steps.size();
    auto onCmd = test::ExportOf<test::OnCmdProcFn>(plugin, "QMH_OnCmdProc");
    if (!onCmd) {
        ADD_FAILURE() << "QMH_OnCmdProc is not exported";
        return d.run;
    }
    g_driver = &d;
    d.cbt = SetWindowsHookExA(WH_CBT, CbtHook, nullptr, GetCurrentThreadId());
    d.watchdog = SetTimer(nullptr, 0, test::kDefaultTimeoutMs, Watchdog);
    onCmd(0, kSettingsCommand);
    UnhookWindowsHookEx(d.cbt);
    if (d.stepTimer) KillTimer(nullptr, d.stepTimer);
    if (d.watchdog) KillTimer(nullptr, d.watchdog);
    g_driver = nullptr;
    EXPECT_NE(d.run.dialog, nullptr) << "the settings dialog did not open";
    EXPECT_FALSE(d.run.timedOut) << "the dialog was still open after " << test::kDefaultTimeoutMs << " ms";
    EXPECT_EQ(d.run.stepsDone, d.run.stepCount) << "not every step ran";
    return d.run;
}

Step Do(std::function<void(HWND)> action) {
    return [action](HWND dialog) {
        action(dialog);
        return true;
    };
}
Step Click(int id) {
    return Do([id](HWND dialog) { SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0); });
}
Step ChooseKey(int combo, int index) {
    return Do([combo, index](HWND dialog) {
        SendDlgItemMessageA(dialog, combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(combo, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, combo)));
    });
}
Step Ok() { return Click(IDOK); }
Step Cancel() { return Click(IDCANCEL); }


}  // namespace settings_driver

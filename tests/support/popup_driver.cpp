#include "support/popup_driver.h"

#include <cstring>

#include "res/resource.h"
#include "tablist/gdi_guards.h"

namespace popup {

namespace {

BOOL CALLBACK FindPopupWindow(HWND window, LPARAM found) {
    char cls[16] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(window) || !GetDlgItem(window, IDC_TABLIST_LIST))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

BOOL CALLBACK FindOtherDialogWindow(HWND window, LPARAM found) {
    char cls[16] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(window) || GetDlgItem(window, IDC_TABLIST_LIST)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

Script* g_script = nullptr;
// After its timeout, how long a script asks a popup to cancel before it
// destroys it.
constexpr DWORD kForceEndMs = 2000;
SelectTabRecorder* g_selectRows = nullptr;

}  // namespace

HWND FindPopup() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindPopupWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND FindOtherDialog() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindOtherDialogWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

PopupView ViewPopup(HWND popup) {
    PopupView v;
    HWND list = GetDlgItem(popup, IDC_TABLIST_LIST);
    v.rows = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    v.sel = static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0));
    v.topIndex = static_cast<int>(SendMessageA(list, LB_GETTOPINDEX, 0, 0));
    v.itemHeight = static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
    GetWindowRect(popup, &v.dialog);
    GetWindowRect(list, &v.list);
    ScopedGetDC dc(list);
    ScopedSelectObject font(dc.Get(), reinterpret_cast<HGDIOBJ>(SendMessageA(list, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc.Get(), &metrics);
    v.fontHeight = metrics.tmHeight;
    v.dpi = GetDeviceCaps(dc.Get(), LOGPIXELSY);
    for (int i = 0; i < v.rows; ++i) {
        // Rows are never longer than 255 bytes; ask first all the same.
        int length = static_cast<int>(SendMessageA(list, LB_GETTEXTLEN, i, 0));
        std::string text(length > 0 ? static_cast<size_t>(length) + 1 : 1, '\0');
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        text.resize(std::strlen(text.c_str()));
        SIZE extent = {};
        GetTextExtentPoint32A(dc.Get(), text.c_str(), lstrlenA(text.c_str()), &extent);
        if (extent.cx > v.widestText) v.widestText = extent.cx;
        v.texts.push_back(text);
    }
    return v;
}

Script::Script(std::vector<Step> steps, UINT tickMs, DWORD timeoutMs)
    : steps_(std::move(steps)), tickMs_(tickMs), timeoutMs_(timeoutMs) {}

Script::~Script() { Stop(); }

void Script::Start() {
    g_script = this;
    start_ = GetTickCount();
    timer_ = SetTimer(nullptr, 0, tickMs_, Tick);
}

void Script::Stop() {
    if (timer_) KillTimer(nullptr, timer_);
    timer_ = 0;
    if (g_script == this) g_script = nullptr;
}

void CALLBACK Script::Tick(HWND, UINT, UINT_PTR, DWORD) {
    Script* s = g_script;
    if (!s || s->busy_) return;
    s->busy_ = true;
    const DWORD elapsed = GetTickCount() - s->start_;
    if (elapsed > s->timeoutMs_) {
        // Never leave a modal popup behind a failed test: the test's own
        // pump cannot end the loops nested in it, so every tick tries again.
        if (!s->timedOut_) test::ReleaseAllInput();
        s->timedOut_ = true;
        // A menu (a context menu a slip let open) or a question left up
        // would hold every loop.
        EndMenu();
        while (HWND question = FindOtherDialog()) {
            EndDialog(question, IDNO);
            ShowWindow(question, SW_HIDE);
        }
        if (HWND popup = FindPopup()) {
            // A popup deaf to its cancel is destroyed: that ends its loop too.
            if (elapsed > s->timeoutMs_ + kForceEndMs) DestroyWindow(popup);
            else PostMessageA(popup, WM_COMMAND, IDCANCEL, 0);
        }
    } else {
        // Run every step that is ready now: a quick script needs few ticks.
        while (s->next_ < s->steps_.size() && s->steps_[s->next_](FindPopup())) ++s->next_;
    }
    s->busy_ = false;
}

Script::Step Do(std::function<void()> action) {
    return [action](HWND) {
        action();
        return true;
    };
}

Script::Step See(PopupView& view) {
    return [&view](HWND popup) {
        if (!popup) return false;
        view = ViewPopup(popup);
        return true;
    };
}

Script::Step SeeWhen(PopupView& view, std::function<bool(const PopupView&)> until) {
    return [&view, until](HWND popup) {
        if (!popup) return false;
        PopupView now = ViewPopup(popup);
        if (!until(now)) return false;
        view = now;
        return true;
    };
}

Script::Step ClickAnswer(int button, std::vector<HWND>* captures) {
    return [button, captures](HWND) {
        HWND question = FindOtherDialog();
        HWND target = question ? GetDlgItem(question, button) : nullptr;
        if (!target) return false;
        if (captures) captures->push_back(GetCapture());
        RECT r;
        GetWindowRect(target, &r);
        test::MoveCursorTo((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        test::LeftDown();
        test::LeftUp();
        return true;
    };
}

void RunGesture(host::StandInHost& h, POINT cursor, Script& script, int openingDelta, void (*press)()) {
    test::MoveCursorTo(cursor.x, cursor.y);
    test::PumpIdle(&h, 30);
    script.Start();
    press();
    test::Wheel(openingDelta);
    bool ended = test::PumpUntil(
        &h, [&] { return script.Done() && !FindPopup(); }, script.TimeoutMs() + 2 * kForceEndMs);
    test::ReleaseAllInput();
    // The script ticks on until the host has taken the release: a context
    // menu a slipped release opens is ended at its timeout, and the test
    // fails in seconds.
    test::PumpUntil(&h, [] { return HIWORD(GetQueueStatus(QS_INPUT)) == 0; });
    script.Stop();
    test::PumpIdle(&h, 30);
    EXPECT_TRUE(ended);
    EXPECT_FALSE(script.TimedOut()) << "stuck at step " << script.StepIndex();
}

SelectTabRecorder::SelectTabRecorder() {
    g_selectRows = this;
    hook_ = SetWindowsHookExA(WH_GETMESSAGE, Proc, nullptr, GetCurrentThreadId());
}

SelectTabRecorder::~SelectTabRecorder() {
    UnhookWindowsHookEx(hook_);
    g_selectRows = nullptr;
}

LRESULT CALLBACK SelectTabRecorder::Proc(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code >= 0 && wParam == PM_REMOVE && msg->message == test::kWmuSelectTab && msg->wParam == 1 && g_selectRows)
    {
        g_selectRows->rows.push_back(msg->lParam);
        g_selectRows->captures.push_back(GetCapture());
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

POINT CursorOverStatusBar(host::StandInHost& h) {
    RECT bar;
    GetWindowRect(h.Status(), &bar);
    return {(bar.left + bar.right) / 2, (bar.top + bar.bottom) / 2};
}

host::HostOptions WithChildren(std::vector<host::ChildSetup> children, int active) {
    host::HostOptions o;
    o.children = std::move(children);
    o.activeChild = active;
    return o;
}

host::MailMessage Mail(const std::string& from) {
    return host::MailMessage{"From: " + from + "\r\nSubject: s\r\n\r\nb\r\n", false, ""};
}

}  // namespace popup

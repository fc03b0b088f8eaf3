// The unattended run of the sample application: what a person would check by
// hand, printed so that a terminal shows it.
#include "sample/sample_script.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sample/sample_picture.h"

namespace sample {

namespace {

constexpr size_t kInfoNameOffset = 4;
constexpr size_t kInfoVersionOffset = 104;
constexpr DWORD kNotchTimeoutMs = 3000;
// dwExtraInfo of the input the run injects ("RVXS").
constexpr ULONG_PTR kInjectedTag = 0x52565853;
// Upper bound for one modal session (settings dialog, TabList popup).
constexpr DWORD kModalTimeoutMs = 10000;
constexpr UINT kStepTickMs = 25;
// How long a freshly shown window is left to paint before it is captured.
constexpr DWORD kPaintSettleMs = 400;
// What is shown around the TabList popup and the host behind it.
constexpr int kPictureMargin = 8;
constexpr int kNotch = WHEEL_DELTA;

std::string g_outputDir;
std::vector<std::string> g_pictures;

// A picture of the screen area that a stage shows, as <stage>.png in the
// output folder. Pictures at another resolution than 96 DPI say which
// ("-144dpi"); those of a host the system scales (it sees 96 DPI on a screen
// of more) say so too ("-144dpi-scaled") and show the screen's own pixels,
// as the user sees them.
bool ScriptStageReached(const char* stage, const RECT& area) {
    Picture picture;
    std::string path = g_outputDir;
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    path += stage;
    HDC screen = GetDC(nullptr);
    const int seen = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const int real = host::RealSystemDpi();
    if (real != 96) path.append("-").append(std::to_string(real)).append("dpi");
    if (seen != real) path.append("-scaled");
    path += ".png";
    RECT shot = area;
    if (seen != real) {
        // One monitor at the origin: the scaling is the ratio of the two DPIs.
        shot = {MulDiv(area.left, real, seen), MulDiv(area.top, real, seen), MulDiv(area.right, real, seen),
                MulDiv(area.bottom, real, seen)};
    }
    host::ScopedThreadDpiAwareness aware(seen != real ? host::DpiAwareness::PerMonitor : host::DpiAwareness::AsProcess);
    const bool ok = CaptureScreen(shot, picture) && WritePng(path, picture);
    if (ok) g_pictures.push_back(path);
    Say("  picture %s: %s (%d x %d)\n", ok ? "saved" : "FAILED", path.c_str(), picture.width, picture.height);
    return ok;
}

RECT Grown(RECT r, int by) {
    InflateRect(&r, by, by);
    return r;
}

std::string Title(HWND hwnd) {
    char text[256] = {};
    if (hwnd) GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

// Pumps the host's loop until cond holds or the time is up.
template <typename Cond>
bool PumpUntil(host::StandInHost& host, DWORD timeoutMs, Cond cond) {
    DWORD start = GetTickCount();
    for (;;) {
        while (host.PumpOne()) {
        }
        if (cond()) return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed < 10 ? timeoutMs - elapsed : 10,
                                  QS_ALLINPUT);
    }
}

void Mouse(DWORD flags, int wheelDelta = 0) {
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    in.mi.mouseData = static_cast<DWORD>(wheelDelta);
    in.mi.dwExtraInfo = kInjectedTag;
    SendInput(1, &in, sizeof in);
}

void Wheel(int delta) { Mouse(MOUSEEVENTF_WHEEL, delta); }

BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM found) {
    char cls[16] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The dialog this thread shows, if any: the run opens one at a time.
HWND ShownDialog() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindVisibleDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Steps played one after another by a thread timer, so that they also run
// inside a modal loop that the host's pump enters (the settings dialog, the
// TabList popup). A step returns true when it is done and false to be tried
// again at the next tick. Past the time limit, onTimeout ends the session.
class TimedSteps {
public:
    using Step = std::function<bool()>;
    TimedSteps(std::vector<Step> steps, std::function<void()> onTimeout)
        : steps_(std::move(steps)), onTimeout_(std::move(onTimeout)) {}
    ~TimedSteps() { Stop(); }
    void Start() {
        current_ = this;
        start_ = GetTickCount();
        timer_ = SetTimer(nullptr, 0, kStepTickMs, Tick);
    }
    void Stop() {
        if (timer_) KillTimer(nullptr, timer_);
        timer_ = 0;
        if (current_ == this) current_ = nullptr;
    }
    bool Done() const { return timedOut_ || next_ >= steps_.size(); }
    bool TimedOut() const { return timedOut_; }
    size_t StepIndex() const { return next_; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        TimedSteps* s = current_;
        if (!s || s->busy_ || s->Done()) return;
        // A step may pump (SendMessage to a window of this thread): no nesting.
        s->busy_ = true;
        if (GetTickCount() - s->start_ > kModalTimeoutMs) {
            s->timedOut_ = true;
            s->onTimeout_();
        } else if (s->steps_[s->next_]()) {
            ++s->next_;
        }
        s->busy_ = false;
    }

    static inline TimedSteps* current_ = nullptr;
    std::vector<Step> steps_;
    std::function<void()> onTimeout_;
    size_t next_ = 0;
    DWORD start_ = 0;
    UINT_PTR timer_ = 0;
    bool busy_ = false;
    bool timedOut_ = false;
};

// A step that is done once ms have passed since it was first tried.
TimedSteps::Step Wait(DWORD ms) {
    auto since = std::make_shared<DWORD>(0);
    return [since, ms] {
        if (*since == 0) *since = GetTickCount() | 1;
        return GetTickCount() - *since >= ms;
    };
}

bool ReportPlugins(host::StandInHost& host) {
    const std::vector<HMODULE>& plugins = host.Plugins();
    Say("plug-ins loaded: %d\n", static_cast<int>(plugins.size()));
    for (HMODULE module : plugins) {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(module, path, sizeof path);
        std::vector<BYTE> record;
        int handled = host.RequestPluginInfo(module, record);
        const char* name = reinterpret_cast<const char*>(record.data() + kInfoNameOffset);
        const char* version = reinterpret_cast<const char*>(record.data() + kInfoVersionOffset);
        Say("  %s\n    info (event 1000 -> %d): name \"%.99s\", version \"%.99s\"\n", path, handled, name, version);
    }
    return !plugins.empty();
}

// Returns the identifier of the first item the plug-ins added, 0 for none.
UINT ReportToolsMenu(host::StandInHost& host) {
    HMENU tools = host.ToolsMenu();
    int before = GetMenuItemCount(tools);
    // What opening the menu does: the host lets its plug-ins extend it.
    SendMessageA(host.Main(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(tools), 1);
    int after = GetMenuItemCount(tools);
    Say("tools menu after kind 3 (%d host items, %d added):\n", before, after - before);
    for (int i = 0; i < after; ++i) {
        char text[128] = {};
        GetMenuStringA(tools, i, text, sizeof text, MF_BYPOSITION);
        Say("  %2d  id %5u  %s\n", i, GetMenuItemID(tools, i), text);
    }
    return after > before ? GetMenuItemID(tools, before) : 0;
}

bool ReportWheelOverTabs(host::StandInHost& host) {
    HWND tab = host.Tab();
    RECT r;
    GetWindowRect(tab, &r);
    int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    SetForegroundWindow(host.Main());
    SetCursorPos(x, y);
    PumpUntil(host, 200, [] { return false; });
    Say("wheel over the tab bar at (%d, %d)\n", x, y);
    Say("  active before: %d \"%s\"\n", host.IndexOfChild(host.ActiveChild()), Title(host.ActiveChild()).c_str());
    bool allMoved = true;
    for (int delta : {-WHEEL_DELTA, -WHEEL_DELTA, WHEEL_DELTA}) {
        HWND before = host.ActiveChild();
        Wheel(delta);
        bool moved = PumpUntil(host, kNotchTimeoutMs, [&] { return host.ActiveChild() != before; });
        HWND now = host.ActiveChild();
        Say("  notch %+d: active %d \"%s\", tab %d%s\n", delta, host.IndexOfChild(now), Title(now).c_str(),
            host.CurrentTab(), moved ? "" : "  (no change)");
        allMoved = allMoved && moved;
    }
    return allMoved;
}

// Chooses the plug-in's tools menu item, which opens its settings dialog
// modally inside this call; a timer step takes the picture and presses Cancel.
bool ReportSettingsDialog(host::StandInHost& host, UINT command) {
    if (command == 0) {
        Say("settings dialog: no menu item to open it\n");
        return false;
    }
    HWND dialog = nullptr;
    bool captured = false;
    TimedSteps steps(
        {
            [&] { return (dialog = ShownDialog()) != nullptr; },
            Wait(kPaintSettleMs),
            [&] {
                RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
                return true;
            },
            Wait(kStepTickMs * 4),
            [&] {
                RECT r;
                GetWindowRect(dialog, &r);
                Say("settings dialog: \"%s\" opened by menu command %u\n", Title(dialog).c_str(), command);
                captured = ScriptStageReached("settings-dialog", r);
                return true;
            },
            [&] {
                PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
                return true;
            },
        },
        [&] {
            if (HWND shown = ShownDialog()) PostMessageA(shown, WM_COMMAND, IDCANCEL, 0);
        });
    steps.Start();
    host.ChooseCommand(command);
    bool closed = PumpUntil(host, kModalTimeoutMs, [&] { return steps.Done() && !ShownDialog(); });
    steps.Stop();
    Say("  closed with Cancel: %s\n", closed && !steps.TimedOut() ? "yes" : "no (timed out)");
    return dialog && captured && closed && !steps.TimedOut();
}

std::string ListRow(HWND list, int row) {
    char text[256] = "";
    if (row >= 0 && SendMessageA(list, LB_GETTEXTLEN, row, 0) < static_cast<LRESULT>(sizeof text))
        SendMessageA(list, LB_GETTEXT, row, reinterpret_cast<LPARAM>(text));
    return text;
}

// The TabList gesture with real input: right button held over the status
// bar, one wheel notch down opens the popup, a second one moves its
// selection, releasing the button activates the chosen tab. The popup runs
// its modal loop inside the host's pump, so timer steps play the middle part.
bool ReportTabListGesture(host::StandInHost& host) {
    RECT bar;
    GetWindowRect(host.Status(), &bar);
    // A release over the status bar opens no context menu, should it arrive
    // after the popup has closed.
    POINT at = {(bar.left + bar.right) / 2, (bar.top + bar.bottom) / 2};
    SetForegroundWindow(host.Main());
    SetCursorPos(at.x, at.y);
    PumpUntil(host, 200, [] { return false; });
    HWND activeBefore = host.ActiveChild();
    Say("TabList: right button held at (%d, %d), wheel down\n", at.x, at.y);
    Say("  active before: %d \"%s\"\n", host.IndexOfChild(activeBefore), Title(activeBefore).c_str());

    HWND popup = nullptr, list = nullptr;
    int firstRow = -1, chosenRow = -1;
    bool captured = false;
    TimedSteps steps(
        {
            [&] {
                popup = ShownDialog();
                list = popup ? FindWindowExA(popup, nullptr, "ListBox", nullptr) : nullptr;
                if (!list) return false;
                firstRow = static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0));
                return true;
            },
            Wait(kPaintSettleMs),
            [&] {
                Wheel(-kNotch);
                return true;
            },
            [&] {
                chosenRow = static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0));
                return chosenRow != firstRow;
            },
            Wait(kPaintSettleMs),
            [&] {
                int rows = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
                Say("  popup open: %d rows, row %d \"%s\" selected at first, after one more notch row %d \"%s\"\n",
                    rows, firstRow, ListRow(list, firstRow).c_str(), chosenRow, ListRow(list, chosenRow).c_str());
                RECT hostRect, popupRect, both;
                GetWindowRect(host.Main(), &hostRect);
                GetWindowRect(popup, &popupRect);
                UnionRect(&both, &hostRect, &popupRect);
                captured = ScriptStageReached("tablist-popup", Grown(both, kPictureMargin));
                return true;
            },
            [&] {
                Mouse(MOUSEEVENTF_RIGHTUP);
                return true;
            },
        },
        [&] {
            if (GetAsyncKeyState(VK_RBUTTON) & 0x8000) Mouse(MOUSEEVENTF_RIGHTUP);
            if (HWND shown = ShownDialog()) PostMessageA(shown, WM_COMMAND, IDCANCEL, 0);
        });
    steps.Start();
    Mouse(MOUSEEVENTF_RIGHTDOWN);
    Wheel(-kNotch);
    bool ended = PumpUntil(host, kModalTimeoutMs + 2000, [&] { return steps.Done() && !ShownDialog(); });
    steps.Stop();
    if (GetAsyncKeyState(VK_RBUTTON) & 0x8000) Mouse(MOUSEEVENTF_RIGHTUP);
    if (!ended || steps.TimedOut()) {
        Say("  the popup did not run its course (stopped at step %d)\n", static_cast<int>(steps.StepIndex()));
        return false;
    }
    // The chosen tab is activated through a message the popup left queued.
    HWND expected = host.Child(chosenRow);
    bool activated = PumpUntil(host, kNotchTimeoutMs, [&] { return host.ActiveChild() == expected; });
    HWND now = host.ActiveChild();
    Say("  released: active %d \"%s\", tab %d%s\n", host.IndexOfChild(now), Title(now).c_str(), host.CurrentTab(),
        activated ? "" : "  (not the chosen row)");
    return captured && activated;
}

// The option the TabList gesture needs, TL1=1 in the INI beside rollvix.dll,
// set before the plug-in reads it and put back as it was when the run ends.
class TabListOnWheelDown {
public:
    explicit TabListOnWheelDown(const std::string& pluginFolder) : ini_(pluginFolder + "\\rollvix.ini") {
        existed_ = GetFileAttributesA(ini_.c_str()) != INVALID_FILE_ATTRIBUTES;
        char old[64] = "";
        GetPrivateProfileStringA(kSection, kKey, kAbsent, old, sizeof old, ini_.c_str());
        old_ = old;
        WritePrivateProfileStringA(kSection, kKey, "1", ini_.c_str());
    }
    ~TabListOnWheelDown() {
        if (!existed_) {
            WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini_.c_str());  // flush the cached file
            DeleteFileA(ini_.c_str());
        } else {
            WritePrivateProfileStringA(kSection, kKey, old_ == kAbsent ? nullptr : old_.c_str(), ini_.c_str());
        }
    }
    TabListOnWheelDown(const TabListOnWheelDown&) = delete;
    TabListOnWheelDown& operator=(const TabListOnWheelDown&) = delete;

private:
    static constexpr const char* kSection = "Rollvix";
    static constexpr const char* kKey = "TL1";
    static constexpr const char* kAbsent = "\x01";
    std::string ini_;
    std::string old_;
    bool existed_ = false;
};

}  // namespace

void Say(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    wchar_t wide[1024];
    int n = MultiByteToWideChar(932, 0, text, -1, wide, 1024);
    char utf8[3072];
    int m = n > 0 ? WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr) : 0;
    std::fputs(m > 0 ? utf8 : text, stdout);
    std::fflush(stdout);
}

int RunScript(host::StandInHost& host, const std::string& pluginFolder, const std::string& outputDir) {
    g_outputDir = outputDir;
    CreateDirectoryA(outputDir.c_str(), nullptr);
    TabListOnWheelDown option(pluginFolder);
    host.LoadPluginsFrom(pluginFolder);
    PumpUntil(host, 300, [] { return false; });
    bool ok = ReportPlugins(host);
    UINT settingsCommand = ReportToolsMenu(host);
    bool wheel = ReportWheelOverTabs(host);
    bool dialog = ReportSettingsDialog(host, settingsCommand);
    bool tablist = ReportTabListGesture(host);
    Say("result: plug-ins %s, menu %s, wheel %s, settings dialog %s, TabList %s\n", ok ? "ok" : "none",
        settingsCommand ? "ok" : "unchanged", wheel ? "ok" : "failed", dialog ? "ok" : "failed",
        tablist ? "ok" : "failed");
    for (const std::string& picture : g_pictures) Say("picture: %s\n", picture.c_str());
    return ok && settingsCommand && wheel && dialog && tablist ? 0 : 1;
}

}  // namespace sample

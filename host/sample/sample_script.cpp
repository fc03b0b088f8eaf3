// The unattended run of the sample application: what a person would check by
// hand, printed so that a terminal shows it.
#include "sample/sample_script.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace sample {

namespace {

constexpr size_t kInfoNameOffset = 4;
constexpr size_t kInfoVersionOffset = 104;
constexpr DWORD kNotchTimeoutMs = 3000;

// Screenshots of each stage of the run are to be taken here; nothing is
// captured yet.
void ScriptStageReached(host::StandInHost& host, const char* stage) {
    (void)host;
    (void)stage;
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

void Wheel(int delta) {
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = MOUSEEVENTF_WHEEL;
    in.mi.mouseData = static_cast<DWORD>(delta);
    SendInput(1, &in, sizeof in);
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

bool ReportToolsMenu(host::StandInHost& host) {
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
    return after > before;
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

int RunScript(host::StandInHost& host) {
    PumpUntil(host, 300, [] { return false; });
    ScriptStageReached(host, "started");
    bool ok = ReportPlugins(host);
    bool menu = ReportToolsMenu(host);
    ScriptStageReached(host, "tools-menu");
    bool wheel = ReportWheelOverTabs(host);
    ScriptStageReached(host, "wheel");
    Say("result: plug-ins %s, menu %s, wheel %s\n", ok ? "ok" : "none", menu ? "ok" : "unchanged",
        wheel ? "ok" : "failed");
    return ok && menu && wheel ? 0 : 1;
}

}  // namespace sample

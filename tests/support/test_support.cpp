#include "support/test_support.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace test {

namespace {

void SendMouse(DWORD flags, int data = 0) {
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    in.mi.mouseData = static_cast<DWORD>(data);
    in.mi.dwExtraInfo = kInjectedTag;
    SendInput(1, &in, sizeof in);
}

}  // namespace

std::string WindowsPath(const std::string& unixPath) {
    std::string p = "Z:" + unixPath;
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

void MoveCursorTo(int x, int y) {
    // Absolute coordinates are normalised to 0..65535 over the primary screen.
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dx = static_cast<LONG>((x * 65536LL + w / 2) / w);
    in.mi.dy = static_cast<LONG>((y * 65536LL + h / 2) / h);
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in.mi.dwExtraInfo = kInjectedTag;
    SendInput(1, &in, sizeof in);
    // Make sure the position is exact whatever the rounding did.
    SetCursorPos(x, y);
}

void MoveCursorToWindow(HWND hwnd, int clientX, int clientY) {
    POINT p = {clientX, clientY};
    ClientToScreen(hwnd, &p);
    MoveCursorTo(p.x, p.y);
}

void Wheel(int delta) { SendMouse(MOUSEEVENTF_WHEEL, delta); }
void RightDown() { SendMouse(MOUSEEVENTF_RIGHTDOWN); }
void RightUp() { SendMouse(MOUSEEVENTF_RIGHTUP); }
void LeftDown() { SendMouse(MOUSEEVENTF_LEFTDOWN); }
void LeftUp() { SendMouse(MOUSEEVENTF_LEFTUP); }

void KeyDown(BYTE vk, bool extended) {
    keybd_event(vk, 0, extended ? KEYEVENTF_EXTENDEDKEY : 0, kInjectedTag);
}
void KeyUp(BYTE vk, bool extended) {
    keybd_event(vk, 0, (extended ? KEYEVENTF_EXTENDEDKEY : 0) | KEYEVENTF_KEYUP, kInjectedTag);
}
void CtrlDown() { KeyDown(VK_CONTROL); }
void CtrlUp() { KeyUp(VK_CONTROL); }

void ReleaseAllInput() {
    if (GetAsyncKeyState(VK_RBUTTON) & 0x8000) RightUp();
    if (GetAsyncKeyState(VK_LBUTTON) & 0x8000) LeftUp();
    for (BYTE vk : {VK_CONTROL, VK_SHIFT, VK_MENU})
        if (GetAsyncKeyState(vk) & 0x8000) KeyUp(vk);
}

static bool PumpOnce(host::StandInHost* host) {
    if (host) return host->PumpOne();
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

bool PumpUntil(host::StandInHost* host, const std::function<bool()>& cond, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        while (PumpOnce(host)) {
            if (cond()) return true;
        }
        if (cond()) return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed < 10 ? timeoutMs - elapsed : 10,
                                  QS_ALLINPUT);
    }
}

void PumpIdle(host::StandInHost* host, DWORD quietMs, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    DWORD lastBusy = start;
    for (;;) {
        while (PumpOnce(host)) lastBusy = GetTickCount();
        DWORD now = GetTickCount();
        if (now - lastBusy >= quietMs || now - start >= timeoutMs) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

PluginCopy::PluginCopy(const std::string& fileName) {
    static int serial = 0;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    char name[MAX_PATH];
    std::snprintf(name, sizeof name, "%srvtest-%lu-%lu-%d", temp, GetCurrentProcessId(), GetTickCount(), ++serial);
    folder_ = name;
    CreateDirectoryA(folder_.c_str(), nullptr);
    dllPath_ = folder_ + "\\" + fileName;
    if (!CopyFileA(WindowsPath(ROLLVIX_DLL_UNIX_PATH).c_str(), dllPath_.c_str(), FALSE))
        ADD_FAILURE() << "cannot copy the plug-in to " << dllPath_;
}

PluginCopy::~PluginCopy() {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder_ + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string n = fd.cFileName;
            if (n == "." || n == "..") continue;
            std::string p = folder_ + "\\" + n;
            SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveDirectoryA(p.c_str());
            else DeleteFileA(p.c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(folder_.c_str());
}

std::string PluginCopy::IniPath() const {
    size_t dot = dllPath_.rfind('.');
    return dllPath_.substr(0, dot) + ".ini";
}

std::string PluginCopy::ReadIni() const {
    std::ifstream in(IniPath(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void PluginCopy::WriteIni(const std::string& text) const {
    std::ofstream out(IniPath(), std::ios::binary | std::ios::trunc);
    out << text;
}

WriteLock::WriteLock(const std::string& path) : path_(path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    handle_ = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

WriteLock::~WriteLock() {
    if (Held()) CloseHandle(handle_);
    SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
}

LoadedHost::LoadedHost(const host::HostOptions& options, const std::string& iniText) : host_(options) {
    if (!iniText.empty()) plugin_.WriteIni(iniText);
    module_ = host_.LoadPlugin(plugin_.DllPath());
    if (!module_) ADD_FAILURE() << "the plug-in did not load into the stand-in host";
    PumpIdle(&host_, 20, 1000);
}

LoadedHost::~LoadedHost() {
    ReleaseAllInput();
    Unload();
}

void LoadedHost::Unload() {
    if (module_) host_.UnloadPlugin(module_);
    module_ = nullptr;
}

std::string MessageName(UINT message) {
    switch (message) {
        case WM_NULL: return "WM_NULL";
        case WM_LBUTTONDOWN: return "WM_LBUTTONDOWN";
        case WM_LBUTTONUP: return "WM_LBUTTONUP";
        case WM_RBUTTONDOWN: return "WM_RBUTTONDOWN";
        case WM_RBUTTONUP: return "WM_RBUTTONUP";
        case WM_MOUSEWHEEL: return "WM_MOUSEWHEEL";
        case WM_KEYDOWN: return "WM_KEYDOWN";
        case WM_KEYUP: return "WM_KEYUP";
        case WM_SYSKEYDOWN: return "WM_SYSKEYDOWN";
        case WM_SYSKEYUP: return "WM_SYSKEYUP";
        case WM_CHAR: return "WM_CHAR";
        case WM_CONTEXTMENU: return "WM_CONTEXTMENU";
        case WM_LBUTTONDBLCLK: return "WM_LBUTTONDBLCLK";
        case WM_RBUTTONDBLCLK: return "WM_RBUTTONDBLCLK";
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04x", message);
    return buf;
}

static std::string Describe(UINT m, WPARAM w, LPARAM l) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "{%s, 0x%lx, (%d, %d)}", MessageName(m).c_str(), static_cast<unsigned long>(w),
                  static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l)));
    return buf;
}

::testing::AssertionResult ReceivedEquals(host::StandInHost& host, std::initializer_list<Expected> expected) {
    std::vector<host::Received> got = host.TakeReceived();
    bool same = got.size() == expected.size();
    if (same) {
        size_t i = 0;
        for (const Expected& e : expected) {
            const host::Received& r = got[i++];
            if (r.message != e.message || r.wParam != e.wParam || r.lParam != e.lParam) same = false;
        }
    }
    if (same) return ::testing::AssertionSuccess();
    std::string want, have;
    for (const Expected& e : expected) want += "  " + Describe(e.message, e.wParam, e.lParam) + "\n";
    for (const host::Received& r : got) have += "  " + Describe(r.message, r.wParam, r.lParam) + "\n";
    return ::testing::AssertionFailure() << "expected:\n" << want << "received:\n" << have;
}

}  // namespace test

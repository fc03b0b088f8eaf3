#include "support/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace test {

namespace {

// A path of the Linux file system as wine's Z: drive sees it.
std::string WindowsPath(const std::string& unixPath) {
    std::string p = "Z:" + unixPath;
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

// The DLL the tests load: the one beside the program, or the one
// ROLLVIX_TEST_DLL names (a Linux path), such as the one
// scripts/clang-build.sh makes with clang.
std::string PluginSource() {
    char path[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA("ROLLVIX_TEST_DLL", path, sizeof path);
    return n > 0 && n < sizeof path ? WindowsPath(path) : BesideProgram("rollvix.dll");
}

void SendMouse(DWORD flags, int data = 0) {
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    in.mi.mouseData = static_cast<DWORD>(data);
    in.mi.dwExtraInfo = kInjectedTag;
    SendInput(1, &in, sizeof in);
}

// A test program takes the DPI awareness ROLLVIX_HOST_DPI_AWARENESS names
// (unaware, system, permonitor) at start, before any window, as a host that
// declares it; ctest runs some programs so at 144 DPI. A system that keeps
// another awareness (wine 8 makes every program per-monitor aware) cannot
// run them: the program says so and ends with the status ctest counts as
// skipped.
const bool g_awarenessTaken = [] {
    char name[32] = {};
    const DWORD n = GetEnvironmentVariableA("ROLLVIX_HOST_DPI_AWARENESS", name, sizeof name);
    if (n == 0 || n >= sizeof name) return true;
    host::DpiAwareness awareness;
    if (!host::ParseDpiAwareness(name, &awareness)) {
        std::fprintf(stderr, "ROLLVIX_HOST_DPI_AWARENESS=%s: not unaware, system or permonitor\n", name);
        std::exit(2);
    }
    if (!host::DeclareProcessDpiAwareness(awareness)) {
        std::printf("SKIPPED: ROLLVIX_HOST_DPI_AWARENESS=%s cannot be declared here: the system keeps the program "
                    "%s (wine 8 makes every program per-monitor aware)\n",
                    name, host::DpiAwarenessName(host::ThreadDpiAwareness()));
        std::fflush(stdout);
        std::exit(kSkippedStatus);
    }
    return true;
}();

}  // namespace

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

bool CanRunHostDeclaring(host::DpiAwareness awareness) {
    if (awareness != host::DpiAwareness::Unaware || host::RealSystemDpi() == 96) return true;
    using VersionFn = const char*(__cdecl*)();
    const auto version = reinterpret_cast<VersionFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")));
    if (!version || std::atoi(version()) >= 10) return true;
    std::printf("  row %s left out: wine %s does not scale a DPI-unaware window\n", host::DpiAwarenessName(awareness),
                version());
    return false;
}

std::string BesideProgram(const std::string& name) {
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string p(path, n < sizeof path ? n : 0);
    return p.substr(0, p.find_last_of("\\/") + 1) + name;
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
void HWheel(int delta) { SendMouse(MOUSEEVENTF_HWHEEL, delta); }
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

LoopThread::LoopThread(std::function<void()> start, std::function<void()> stop)
    : start_(std::move(start)), stop_(std::move(stop)) {
    ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Run, this, 0, &id_);
    EXPECT_EQ(WaitForSingleObject(ready_, kDefaultTimeoutMs), WAIT_OBJECT_0);
}

LoopThread::~LoopThread() {
    PostThreadMessageA(id_, WM_QUIT, 0, 0);
    WaitForSingleObject(thread_, kDefaultTimeoutMs);
    CloseHandle(thread_);
    CloseHandle(ready_);
}

DWORD WINAPI LoopThread::Run(void* param) {
    auto* self = static_cast<LoopThread*>(param);
    self->start_();
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before "ready"
    SetEvent(self->ready_);
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    self->stop_();
    return 0;
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
    const std::string source = PluginSource();
    if (!CopyFileA(source.c_str(), dllPath_.c_str(), FALSE))
        ADD_FAILURE() << "cannot copy the plug-in " << source << " to " << dllPath_;
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
        case WM_MOUSEHWHEEL: return "WM_MOUSEHWHEEL";
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

static std::string Describe(const Expected& e) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "  {%s, 0x%lx, (%d, %d)}\n", MessageName(e.message).c_str(),
                  static_cast<unsigned long>(e.wParam), static_cast<short>(LOWORD(e.lParam)),
                  static_cast<short>(HIWORD(e.lParam)));
    return buf;
}

// Buttons, the wheel and context menus; moves come and go with the pointer.
static bool IsMouseMessage(UINT m) {
    return (m > WM_MOUSEMOVE && m <= WM_MOUSELAST) || (m > WM_NCMOUSEMOVE && m <= WM_NCMBUTTONDBLCLK) ||
           m == WM_CONTEXTMENU;
}

::testing::AssertionResult SequenceEquals(const std::string& label, const std::vector<Expected>& got,
                                          const std::vector<Expected>& expected, Only only) {
    std::vector<Expected> kept;
    for (const Expected& e : got)
        if (only == Only::Any || IsMouseMessage(e.message)) kept.push_back(e);
    bool same = kept.size() == expected.size();
    for (size_t i = 0; same && i < kept.size(); ++i)
        same = kept[i].message == expected[i].message && kept[i].wParam == expected[i].wParam &&
               kept[i].lParam == expected[i].lParam;
    if (same) return ::testing::AssertionSuccess();
    std::string want, have;
    for (const Expected& e : expected) want += Describe(e);
    for (const Expected& e : kept) have += Describe(e);
    return ::testing::AssertionFailure() << (label.empty() ? "" : label + ": ") << "expected:\n"
                                         << want << "received:\n" << have;
}

::testing::AssertionResult ReceivedEquals(host::StandInHost& host, const std::vector<Expected>& expected,
                                          const std::string& label, Only only) {
    std::vector<Expected> got;
    for (const host::Received& r : host.TakeReceived()) got.push_back({r.message, r.wParam, r.lParam});
    return SequenceEquals(label, got, expected, only);
}

int AddressBookChoices(const host::StandInHost& host) {
    int n = 0;
    for (const auto& e : host.WindowEvents()) n += e.message == WM_COMMAND && LOWORD(e.wParam) == host::kCmdAddressBook;
    return n;
}

static DeliveryLog* g_log = nullptr;

DeliveryLog::DeliveryLog() {
    g_log = this;
    below_ = SetWindowsHookExA(WH_GETMESSAGE, Below, nullptr, GetCurrentThreadId());
    sent_ = SetWindowsHookExA(WH_CALLWNDPROC, Sent, nullptr, GetCurrentThreadId());
}

DeliveryLog::~DeliveryLog() {
    for (HHOOK h : {below_, above_, sent_})
        if (h) UnhookWindowsHookEx(h);
    g_log = nullptr;
}

void DeliveryLog::WatchAbove() {
    if (!above_) above_ = SetWindowsHookExA(WH_GETMESSAGE, Above, nullptr, GetCurrentThreadId());
}

void DeliveryLog::Clear() {
    // Marks rather than erases: a hook call still open keeps its place.
    aboveStart_ = aboveSeen_.size();
    belowStart_ = belowSeen_.size();
    menusStart_ = menus_.size();
}

LRESULT CALLBACK DeliveryLog::Below(int code, WPARAM wParam, LPARAM lParam) {
    const MSG& m = *reinterpret_cast<const MSG*>(lParam);
    if (code >= 0 && wParam == PM_REMOVE && g_log) {
        const Entry e = {m.hwnd, m.message, m.wParam, m.lParam};
        g_log->belowSeen_.push_back(e);
        // The hook above is still in its call for the same message: the
        // plug-in's popup loop nests whole messages inside one.
        if (!g_log->open_.empty()) g_log->reached_[g_log->open_.back()] = e;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK DeliveryLog::Above(int code, WPARAM wParam, LPARAM lParam) {
    const MSG& m = *reinterpret_cast<const MSG*>(lParam);
    if (code < 0 || wParam != PM_REMOVE || !g_log) return CallNextHookEx(nullptr, code, wParam, lParam);
    DeliveryLog* log = g_log;
    log->open_.push_back(log->aboveSeen_.size());
    log->aboveSeen_.push_back({m.hwnd, m.message, m.wParam, m.lParam});
    log->reached_.push_back({nullptr, kNotReached, 0, 0});
    const LRESULT result = CallNextHookEx(nullptr, code, wParam, lParam);
    if (g_log == log) log->open_.pop_back();
    return result;
}

LRESULT CALLBACK DeliveryLog::Sent(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT& m = *reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code >= 0 && m.message == WM_CONTEXTMENU && g_log) g_log->menus_.push_back({m.hwnd, m.message, m.wParam, m.lParam});
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::vector<Expected> DeliveryLog::DeliveredTo(HWND top, Only only) const {
    std::vector<Expected> out;
    auto inTree = [top](HWND w) { return w && (w == top || IsChild(top, w)); };
    for (size_t i = belowStart_; i < belowSeen_.size(); ++i) {
        const Entry& e = belowSeen_[i];
        if (e.message != WM_NULL && inTree(e.hwnd) && (only == Only::Any || IsMouseMessage(e.message)))
            out.push_back({e.message, e.wParam, e.lParam});
    }
    // A context menu is a failure wherever it is sent in the tree.
    for (size_t i = menusStart_; i < menus_.size(); ++i)
        if (inTree(menus_[i].hwnd)) out.push_back({menus_[i].message, menus_[i].wParam, menus_[i].lParam});
    return out;
}

::testing::AssertionResult DeliveryLog::ChainIntact(const std::string& label, int* swallowed) const {
    int nulls = 0;
    for (size_t i = aboveStart_; i < aboveSeen_.size(); ++i) {
        const Entry& a = aboveSeen_[i];
        const Entry& b = reached_[i];
        if (b.message == kNotReached)
            return ::testing::AssertionFailure() << label << ": " << MessageName(a.message)
                                                 << " never reached the hook installed before the plug-in";
        if (b.hwnd != a.hwnd || (b.message != a.message && b.message != WM_NULL))
            return ::testing::AssertionFailure() << label << ": " << MessageName(a.message)
                                                 << " reached the earlier hook as " << MessageName(b.message);
        if (b.message == WM_NULL && a.message != WM_NULL) ++nulls;
    }
    if (aboveSeen_.size() == aboveStart_) return ::testing::AssertionFailure() << label << ": no message was seen";
    if (swallowed) *swallowed = nulls;
    return ::testing::AssertionSuccess();
}

}  // namespace test

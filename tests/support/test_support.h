// Real input, bounded message pumps and per-test copies of the plug-in.
#pragma once
#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stand_in_host.h"

namespace test {

// dwExtraInfo of every event the tests inject, to tell them from stray input.
constexpr ULONG_PTR kInjectedTag = 0x52565854;  // "RVXT"
// The private message the plug-in posts after the TabList popup (wParam 1,
// lParam the tab) and consumes itself.
constexpr UINT kWmuSelectTab = 0x8212;
// One wheel notch.
constexpr int kNotch = WHEEL_DELTA;
// Upper bound of every wait in the tests.
constexpr DWORD kDefaultTimeoutMs = 5000;
// Exit status of a program that cannot run here, which ctest counts as
// skipped (SKIP_RETURN_CODE).
constexpr int kSkippedStatus = 77;

// Real input through SendInput / keybd_event.
void MoveCursorTo(int screenX, int screenY);
void MoveCursorToWindow(HWND hwnd, int clientX, int clientY);
void Wheel(int delta);
void HWheel(int delta);  // sideways, positive: right
void RightDown();
void RightUp();
void LeftDown();
void LeftUp();
void KeyDown(BYTE vk, bool extended = false);
void KeyUp(BYTE vk, bool extended = false);
void CtrlDown();
void CtrlUp();
// Releases every button and modifier a failed test may have left down.
void ReleaseAllInput();

// Runs the host's message loop (or a plain one without a host) until cond
// holds or the timeout passes. Returns whether cond held.
bool PumpUntil(host::StandInHost* host, const std::function<bool()>& cond,
               DWORD timeoutMs = kDefaultTimeoutMs);
// Pumps until the queue has stayed empty for quietMs (bounded by timeoutMs).
void PumpIdle(host::StandInHost* host, DWORD quietMs = 50, DWORD timeoutMs = kDefaultTimeoutMs);

// A thread of its own with a message loop, standing for another program or
// watching input from outside: `start` runs on it before the loop, `stop`
// after it; the thread ends with the object.
class LoopThread {
public:
    LoopThread(std::function<void()> start, std::function<void()> stop);
    ~LoopThread();
    LoopThread(const LoopThread&) = delete;
    LoopThread& operator=(const LoopThread&) = delete;

private:
    static DWORD WINAPI Run(void* param);
    std::function<void()> start_, stop_;
    HANDLE ready_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD id_ = 0;
};

// The rollvix.dll beside the program (or the one the environment variable
// ROLLVIX_TEST_DLL names by its Linux path) copied into a fresh temporary
// folder of its own, so that the INI beside it belongs to this test. The
// folder goes with it.
class PluginCopy {
public:
    explicit PluginCopy(const std::string& fileName = "rollvix.dll");
    ~PluginCopy();
    PluginCopy(const PluginCopy&) = delete;
    PluginCopy& operator=(const PluginCopy&) = delete;

    const std::string& Folder() const { return folder_; }
    const std::string& DllPath() const { return dllPath_; }
    std::string IniPath() const;
    std::string ReadIni() const;              // whole file, "" when missing
    void WriteIni(const std::string& text) const;

private:
    std::string folder_;
    std::string dllPath_;
};

// The plug-in's two exports.
using OnHandleEventFn = int(__cdecl*)(LPARAM unread, int event, int kind, LPARAM data);
using OnCmdProcFn = void(__cdecl*)(LPARAM unread, int command);

// A module's export by name, as a typed function pointer (null when missing).
template <class Fn>
Fn ExportOf(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Makes a file unwritable while it lives: the read-only attribute, and a
// handle that shares reading only (wine running as root ignores the attribute
// alone). Readable through Handle().
class WriteLock {
public:
    explicit WriteLock(const std::string& path);
    ~WriteLock();
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const { return handle_; }

private:
    std::string path_;
    HANDLE handle_;
};

// A stand-in host with the plug-in loaded into it; unloads on destruction.
class LoadedHost {
public:
    explicit LoadedHost(const host::HostOptions& options = host::HostOptions(),
                        const std::string& iniText = std::string());
    ~LoadedHost();
    host::StandInHost& Host() { return host_; }
    HMODULE Module() const { return module_; }
    PluginCopy& Plugin() { return plugin_; }
    OnHandleEventFn OnHandleEvent() const { return ExportOf<OnHandleEventFn>(module_, "QMH_OnHandleEvent"); }
    OnCmdProcFn OnCmdProc() const { return ExportOf<OnCmdProcFn>(module_, "QMH_OnCmdProc"); }
    void Unload();

private:
    PluginCopy plugin_;
    host::StandInHost host_;
    HMODULE module_ = nullptr;
};

// lParam of a mouse message at a client point.
inline LPARAM Point(int x, int y) { return MAKELPARAM(x, y); }

struct Expected {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
// Which messages a sequence is compared on.
enum class Only {
    Any,
    Mouse,  // buttons (on a caption too) and the wheel: not the keys a test holds down
};
// Compares a recorded sequence with the expected one under a label; prints
// both sides on a mismatch.
::testing::AssertionResult SequenceEquals(const std::string& label, const std::vector<Expected>& got,
                                          const std::vector<Expected>& expected, Only only = Only::Any);
// What the host took from its own loop since the last call (hwnd ignored),
// against the expected sequence. Clears the record.
::testing::AssertionResult ReceivedEquals(host::StandInHost& host, const std::vector<Expected>& expected,
                                          const std::string& label = "", Only only = Only::Any);
#define ExpectReceived(host, ...) EXPECT_TRUE(::test::ReceivedEquals((host), __VA_ARGS__))
// The same for the buttons and the wheel alone, under a label.
#define ExpectMouseReceived(host, label, ...) \
    EXPECT_TRUE(::test::ReceivedEquals((host), __VA_ARGS__, (label), ::test::Only::Mouse))

// Messages as they leave the thread's hook chain, whichever loop takes them
// (the host's, the TabList popup's, a dialog's), and the context menus
// DefWindowProc sends. Made before the plug-in loads, its hook runs after
// the plug-in's (the hook installed last runs first), so a message the
// plug-in swallowed shows as WM_NULL. WatchAbove(), after the load, adds a
// hook that runs before the plug-in's: both must see every message.
class DeliveryLog {
public:
    struct Entry {
        HWND hwnd;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    DeliveryLog();
    ~DeliveryLog();
    DeliveryLog(const DeliveryLog&) = delete;
    DeliveryLog& operator=(const DeliveryLog&) = delete;
    void WatchAbove();
    void Clear();
    // What windows of this window's tree got (WM_NULL and messages outside
    // it left out), and the context menus sent to them.
    std::vector<Expected> DeliveredTo(HWND top, Only only = Only::Mouse) const;
    // Every message the hook above the plug-in saw reached the hook below it,
    // in order, unchanged or as WM_NULL; the count of those swallowed.
    ::testing::AssertionResult ChainIntact(const std::string& label, int* swallowed = nullptr) const;

private:
    static LRESULT CALLBACK Below(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK Above(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK Sent(int code, WPARAM wParam, LPARAM lParam);
    static constexpr UINT kNotReached = 0xFFFFFFFF;
    HHOOK below_ = nullptr, above_ = nullptr, sent_ = nullptr;
    std::vector<Entry> belowSeen_, aboveSeen_, reached_, menus_;
    std::vector<size_t> open_;  // calls of the hook above still running
    size_t aboveStart_ = 0, belowStart_ = 0, menusStart_ = 0;  // since Clear()
};

// How often the host's accelerator (or its menu item) chose the address book.
int AddressBookChoices(const host::StandInHost& host);

std::string MessageName(UINT message);
// Whether the program runs under wine rather than Windows: for the few
// checks that hold only under wine, skipped on Windows with their reason.
bool UnderWine();
// Whether a row of a table may run a host declaring this awareness here: an
// unaware one needs a system that scales it at a DPI above 96 (Windows 8.1
// and later, wine from 10 on; wine 8 only shrinks its coordinates, and its
// windows then miss their input). Prints why a row is left out.
bool CanRunHostDeclaring(host::DpiAwareness awareness);
// A file beside the running program: the plug-in and the helper hosts lie
// beside the test programs, in the build tree (tests/bin) as in the kit.
std::string BesideProgram(const std::string& name);

// Note: narrow literals in the tests are compiled as code page 932, as the
// host's texts are.

}  // namespace test

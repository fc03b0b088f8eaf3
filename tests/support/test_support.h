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
// Upper bound of every wait in the tests.
constexpr DWORD kDefaultTimeoutMs = 5000;

// Real input through SendInput / keybd_event.
void MoveCursorTo(int screenX, int screenY);
void MoveCursorToWindow(HWND hwnd, int clientX, int clientY);
void Wheel(int delta);
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

// The built rollvix.dll copied into a fresh temporary folder of its own, so
// that the INI beside it belongs to this test. The folder goes with it.
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
// Compares what the host took from its loop (hwnd ignored) with the expected
// sequence; prints both sides on a mismatch. Clears the record.
::testing::AssertionResult ReceivedEquals(host::StandInHost& host, std::initializer_list<Expected> expected);
#define ExpectReceived(host, ...) EXPECT_TRUE(::test::ReceivedEquals((host), __VA_ARGS__))

std::string MessageName(UINT message);
// A path of the Linux file system as wine's Z: drive sees it.
std::string WindowsPath(const std::string& unixPath);

// Note: narrow literals in the tests are compiled as code page 932, as the
// host's texts are.

}  // namespace test

// How the stand-in host declares its DPI awareness. Windows (8.1 and later)
// and wine 10 scale the windows of a program that declares none, which then
// sees 96 DPI and a screen shrunk to match; one that declares system or
// per-monitor awareness sees the real DPI and draws at it.
#pragma once
#include <windows.h>

namespace host {

enum class DpiAwareness {
    AsProcess,   // whatever the process runs with (HostOptions: leave the thread alone)
    Unaware,     // drawn at 96 DPI and scaled by the system
    System,      // the system's DPI, as SetProcessDPIAware gives
    PerMonitor,  // each monitor's DPI (version 2 where the system has it)
};

// "unaware", "system", "permonitor"; false for anything else.
bool ParseDpiAwareness(const char* name, DpiAwareness* awareness);
const char* DpiAwarenessName(DpiAwareness awareness);

// Declares the process's awareness at start, as a manifest would, through
// the newest call the system has. False when the system keeps another one:
// Windows takes one declaration per process, and wine 8 makes every program
// per-monitor aware from its start.
bool DeclareProcessDpiAwareness(DpiAwareness awareness);

// The awareness the calling thread runs with now; AsProcess where the system
// cannot tell (before Windows 10).
DpiAwareness ThreadDpiAwareness();

// The screen's DPI as a per-monitor aware program sees it, whatever the
// calling thread's awareness: an unaware one is told 96.
int RealSystemDpi();

// For its lifetime, the thread runs with this awareness (nothing for
// AsProcess, or where the system has no per-thread awareness). Windows the
// thread creates meanwhile keep it, as a program declaring it would have
// them.
class ScopedThreadDpiAwareness {
public:
    explicit ScopedThreadDpiAwareness(DpiAwareness awareness);
    ~ScopedThreadDpiAwareness();
    ScopedThreadDpiAwareness(const ScopedThreadDpiAwareness&) = delete;
    ScopedThreadDpiAwareness& operator=(const ScopedThreadDpiAwareness&) = delete;
    bool Applied() const { return previous_ != nullptr; }

private:
    HANDLE previous_ = nullptr;  // the thread's DPI_AWARENESS_CONTEXT before
};

}  // namespace host

#include "host_dpi.h"

#include <cstring>

namespace host {

namespace {

// DPI_AWARENESS_CONTEXT values and the calls that take them: Windows 10 and
// later, looked up at run time since the headers for Windows 7 lack them.
const HANDLE kContextUnaware = reinterpret_cast<HANDLE>(-1);
const HANDLE kContextSystem = reinterpret_cast<HANDLE>(-2);
const HANDLE kContextPerMonitor = reinterpret_cast<HANDLE>(-3);
const HANDLE kContextPerMonitorV2 = reinterpret_cast<HANDLE>(-4);

template <typename Fn>
Fn Export(const char* module, const char* name) {
    HMODULE m = GetModuleHandleA(module);
    if (!m) m = LoadLibraryA(module);
    return m ? reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(m, name))) : nullptr;
}

using SetProcessContextFn = BOOL(WINAPI*)(HANDLE);
using SetThreadContextFn = HANDLE(WINAPI*)(HANDLE);
using GetThreadContextFn = HANDLE(WINAPI*)();
using AwarenessOfContextFn = int(WINAPI*)(HANDLE);
using SetProcessAwarenessFn = HRESULT(WINAPI*)(int);  // shcore, Windows 8.1
using SetProcessDpiAwareFn = BOOL(WINAPI*)();         // Vista

SetThreadContextFn SetThreadContext() {
    return Export<SetThreadContextFn>("user32.dll", "SetThreadDpiAwarenessContext");
}

// The contexts to try for an awareness, newest first; null ends the list.
void ContextsFor(DpiAwareness awareness, HANDLE (&contexts)[3]) {
    contexts[0] = contexts[1] = contexts[2] = nullptr;
    switch (awareness) {
        case DpiAwareness::Unaware: contexts[0] = kContextUnaware; break;
        case DpiAwareness::System: contexts[0] = kContextSystem; break;
        case DpiAwareness::PerMonitor:
            // Version 2 also scales dialogs and non-client areas on a change
            // of monitor; before Windows 10 1703 only version 1 exists.
            contexts[0] = kContextPerMonitorV2;
            contexts[1] = kContextPerMonitor;
            break;
        case DpiAwareness::AsProcess: break;
    }
}

}  // namespace

bool ParseDpiAwareness(const char* name, DpiAwareness* awareness) {
    const struct {
        const char* name;
        DpiAwareness awareness;
    } kNames[] = {{"unaware", DpiAwareness::Unaware},
                  {"system", DpiAwareness::System},
                  {"permonitor", DpiAwareness::PerMonitor}};
    for (const auto& n : kNames) {
        if (name && std::strcmp(name, n.name) == 0) {
            *awareness = n.awareness;
            return true;
        }
    }
    return false;
}

const char* DpiAwarenessName(DpiAwareness awareness) {
    switch (awareness) {
        case DpiAwareness::Unaware: return "unaware";
        case DpiAwareness::System: return "system";
        case DpiAwareness::PerMonitor: return "permonitor";
        case DpiAwareness::AsProcess: break;
    }
    return "as the process";
}

bool DeclareProcessDpiAwareness(DpiAwareness awareness) {
    if (awareness == DpiAwareness::AsProcess) return true;
    bool declared = false;
    if (auto set = Export<SetProcessContextFn>("user32.dll", "SetProcessDpiAwarenessContext")) {
        HANDLE contexts[3];
        ContextsFor(awareness, contexts);
        for (int i = 0; contexts[i] && !declared; ++i) declared = set(contexts[i]) != FALSE;
    } else if (auto set81 = Export<SetProcessAwarenessFn>("shcore.dll", "SetProcessDpiAwareness")) {
        declared = SUCCEEDED(set81(awareness == DpiAwareness::Unaware ? 0 : awareness == DpiAwareness::System ? 1 : 2));
    } else if (awareness == DpiAwareness::System) {
        const auto setVista = Export<SetProcessDpiAwareFn>("user32.dll", "SetProcessDPIAware");
        declared = setVista && setVista() != FALSE;
    }
    // A refused declaration may still find the process as asked (wine 10
    // starts every program unaware).
    const DpiAwareness now = ThreadDpiAwareness();
    return declared || now == awareness;
}

DpiAwareness ThreadDpiAwareness() {
    const auto get = Export<GetThreadContextFn>("user32.dll", "GetThreadDpiAwarenessContext");
    const auto of = Export<AwarenessOfContextFn>("user32.dll", "GetAwarenessFromDpiAwarenessContext");
    if (!get || !of) return DpiAwareness::AsProcess;
    switch (of(get())) {
        case 0: return DpiAwareness::Unaware;
        case 1: return DpiAwareness::System;
        case 2: return DpiAwareness::PerMonitor;
        default: return DpiAwareness::AsProcess;
    }
}

int RealSystemDpi() {
    ScopedThreadDpiAwareness aware(DpiAwareness::PerMonitor);
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

ScopedThreadDpiAwareness::ScopedThreadDpiAwareness(DpiAwareness awareness) {
    const auto set = SetThreadContext();
    if (!set) return;
    HANDLE contexts[3];
    ContextsFor(awareness, contexts);
    for (int i = 0; contexts[i] && !previous_; ++i) previous_ = set(contexts[i]);
}

ScopedThreadDpiAwareness::~ScopedThreadDpiAwareness() {
    if (previous_) SetThreadContext()(previous_);
}

}  // namespace host

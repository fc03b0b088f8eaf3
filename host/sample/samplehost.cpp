// The sample application: the stand-in host with the sample mailbox, loading
// every plug-in from the "plugins" folder beside the executable.
//   samplehost.exe            interactive
//   samplehost.exe --script [--output-dir DIR]
//                             unattended run, see sample_script.cpp; its
//                             pictures go to DIR (default: the exe's folder)
//   --dpi-awareness unaware|system|permonitor
//                             declared at start, as a manifest would (without
//                             it the host declares none, as older programs);
//                             exit status 3 when unaware is asked for and the
//                             system does not scale such a program (wine 8)
#include <windows.h>

#include <cstring>
#include <string>

#include "sample/sample_mailbox.h"
#include "sample/sample_script.h"
#include "stand_in_host.h"

namespace {

// With a trailing backslash.
std::string ExeFolder() {
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string folder = exe;
    size_t slash = folder.find_last_of("\\/");
    folder.erase(slash == std::string::npos ? 0 : slash + 1);
    return folder;
}

// Exit status when the awareness asked for cannot be had here.
constexpr int kAwarenessRefused = 3;

// Declares the awareness and says what the host sees; false when an unaware
// host would not be scaled, which is all that run would show.
bool TakeDpiAwareness(host::DpiAwareness awareness) {
    const bool declared = host::DeclareProcessDpiAwareness(awareness);
    HDC screen = GetDC(nullptr);
    const int seen = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const int real = host::RealSystemDpi();
    sample::Say("DPI awareness: %s%s%s; the host sees %d DPI, the screen has %d%s\n", host::DpiAwarenessName(awareness),
                declared ? "" : " refused, the host runs ",
                declared ? "" : host::DpiAwarenessName(host::ThreadDpiAwareness()), seen, real,
                seen != real ? " (scaled by the system)" : "");
    if (!declared && awareness == host::DpiAwareness::Unaware && seen == real && real != 96) {
        sample::Say("this system does not scale a DPI-unaware program: it gives every program the screen's DPI\n");
        return false;
    }
    return true;
}

// The frame, kept inside the work area: a host the system scales sees a
// smaller screen.
RECT FrameInsideWorkArea(RECT frame) {
    RECT work = {};
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) return frame;
    constexpr int kMargin = 10;
    if (frame.right > work.right - kMargin) frame.right = work.right - kMargin;
    if (frame.bottom > work.bottom - kMargin) frame.bottom = work.bottom - kMargin;
    return frame;
}

}  // namespace

int main(int argc, char** argv) {
    bool script = false;
    std::string outputDir = ExeFolder();
    for (int i = 1; i < argc; ++i) {
        host::DpiAwareness awareness;
        if (std::strcmp(argv[i], "--script") == 0) {
            script = true;
        } else if (std::strcmp(argv[i], "--output-dir") == 0 && i + 1 < argc) {
            outputDir = argv[++i];
        } else if (std::strcmp(argv[i], "--dpi-awareness") == 0 && i + 1 < argc &&
                   host::ParseDpiAwareness(argv[i + 1], &awareness)) {
            ++i;
            if (!TakeDpiAwareness(awareness)) return kAwarenessRefused;
        } else {
            sample::Say("unknown option: %s\n", argv[i]);
            return 2;
        }
    }

    host::HostOptions options;
    options.frame = FrameInsideWorkArea({40, 30, 1040, 750});
    options.children = sample::Windows();
    options.messages = sample::Inbox();
    options.listContextMenu = true;
    options.quitOnClose = true;
    host::StandInHost host(options);
    SetWindowTextA(host.Main(), "StandInHost - 受信箱");
    host.SelectItem(0);

    std::string folder = ExeFolder() + "plugins";
    if (script) return sample::RunScript(host, folder, outputDir);
    int loaded = host.LoadPluginsFrom(folder);
    if (loaded == 0) sample::Say("no plug-in loaded from %s\n", folder.c_str());
    return host.RunMessageLoop();
}

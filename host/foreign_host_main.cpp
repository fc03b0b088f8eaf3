// The stand-in host in a process of its own, as another program on the
// desktop: tests hand its main window to a plug-in that must not touch it.
// Runs until its window is closed, at most a minute.
#include <windows.h>

#include "stand_in_host.h"

namespace {

void CALLBACK GiveUp(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(1); }

}  // namespace

int main() {
    host::HostOptions options;
    options.quitOnClose = true;
    options.frame = {600, 400, 1000, 700};
    host::StandInHost host(options);
    SetWindowTextA(host.Main(), "ForeignHost");
    SetTimer(nullptr, 0, 60000, GiveUp);
    return host.RunMessageLoop();
}

// The sample application: the stand-in host with the sample mailbox, loading
// every plug-in from the "plugins" folder beside the executable.
//   samplehost.exe            interactive
//   samplehost.exe --script   unattended run, see sample_script.cpp
#include <windows.h>

#include <cstring>
#include <string>

#include "sample/sample_mailbox.h"
#include "sample/sample_script.h"
#include "stand_in_host.h"

namespace {

std::string PluginFolder() {
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string folder = exe;
    size_t slash = folder.find_last_of("\\/");
    folder.erase(slash == std::string::npos ? 0 : slash + 1);
    return folder + "plugins";
}

}  // namespace

int main(int argc, char** argv) {
    bool script = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--script") == 0) {
            script = true;
        } else {
            sample::Say("unknown option: %s\n", argv[i]);
            return 2;
        }
    }

    host::HostOptions options;
    options.frame = {40, 30, 1040, 750};
    options.children = sample::Windows();
    options.messages = sample::Inbox();
    options.listContextMenu = true;
    options.quitOnClose = true;
    host::StandInHost host(options);
    SetWindowTextA(host.Main(), "StandInHost - 受信箱");
    host.SelectItem(0);

    std::string folder = PluginFolder();
    int loaded = host.LoadPluginsFrom(folder);
    if (script) return sample::RunScript(host);
    if (loaded == 0) sample::Say("no plug-in loaded from %s\n", folder.c_str());
    return host.RunMessageLoop();
}

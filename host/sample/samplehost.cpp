// The sample application: the stand-in host with the sample mailbox, loading
// every plug-in from the "plugins" folder beside the executable.
//   samplehost.exe            interactive
//   samplehost.exe --script [--output-dir DIR]
//                             unattended run, see sample_script.cpp; its
//                             pictures go to DIR (default: the exe's folder)
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

}  // namespace

int main(int argc, char** argv) {
    bool script = false;
    std::string outputDir = ExeFolder();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--script") == 0) {
            script = true;
        } else if (std::strcmp(argv[i], "--output-dir") == 0 && i + 1 < argc) {
            outputDir = argv[++i];
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

    std::string folder = ExeFolder() + "plugins";
    if (script) return sample::RunScript(host, folder, outputDir);
    int loaded = host.LoadPluginsFrom(folder);
    if (loaded == 0) sample::Say("no plug-in loaded from %s\n", folder.c_str());
    return host.RunMessageLoop();
}

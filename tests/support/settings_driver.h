// Driving the settings dialog in tests: it is opened through the plug-in's
// command export, as the host's menu does, and steps run from a timer inside
// its own modal loop; a watchdog ends a dialog left open.
#pragma once
#include <windows.h>

#include <functional>
#include <vector>

#include "support/test_support.h"

namespace settings_driver {

using Step = std::function<bool(HWND dialog)>;  // false: run again next tick

// What one opening of the dialog went through.
struct DialogRun {
    HWND dialog = nullptr;
    HWND owner = nullptr;
    bool ownerDisabled = false;
    size_t stepsDone = 0;
    size_t stepCount = 0;
    bool timedOut = false;
};

// Opens the dialog and runs the steps on it; returns when it has closed (the
// last step should close it).
DialogRun OpenSettings(HMODULE plugin, std::vector<Step> steps);
inline DialogRun OpenSettings(test::LoadedHost& lh, std::vector<Step> steps) {
    return OpenSettings(lh.Module(), std::move(steps));
}

Step Do(std::function<void(HWND)> action);
Step Click(int id);
// Chooses a KeyList entry as the user would, with the notification it sends.
Step ChooseKey(int combo, int index);
Step Ok();
Step Cancel();

}  // namespace settings_driver

#include "hook/wheel_run.h"

int WheelSteps(WheelRun& run, int delta, WheelGesture gesture, HWND window, DWORD time) {
    if (delta % WHEEL_DELTA == 0) {
        run = WheelRun{};
        return 1;
    }
    const bool sameRun = run.rotation != 0 && (run.rotation > 0) == (delta > 0) && run.gesture == gesture &&
                         run.window == window && time - run.time <= kWheelPauseMs;
    run = {(sameRun ? run.rotation : 0) + delta, gesture, window, time};
    const int steps = run.rotation / WHEEL_DELTA;
    run.rotation -= steps * WHEEL_DELTA;
    return steps < 0 ? -steps : steps;
}

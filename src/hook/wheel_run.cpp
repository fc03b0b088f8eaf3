#include "hook/wheel_run.h"

int WheelSteps(WheelRun& run, short delta, WheelGesture gesture, HWND window, DWORD time) {
    // A delta of 0 has no direction of its own: it keeps the run's.
    const bool sameDirection = delta == 0 || (run.rotation > 0) == (delta > 0);
    const bool sameRun = run.rotation != 0 && sameDirection && run.gesture == gesture && run.window == window &&
                         time - run.time <= kWheelPauseMs;
    run = {(sameRun ? run.rotation : 0) + delta, gesture, window, time};
    const int steps = run.rotation / WHEEL_DELTA;
    run.rotation -= steps * WHEEL_DELTA;
    const int count = steps < 0 ? -steps : steps;
    if (count <= kMaxWheelStepsPerMessage) return count;
    // The rest of an oversized message is dropped, not saved for later.
    run.rotation = 0;
    return kMaxWheelStepsPerMessage;
}

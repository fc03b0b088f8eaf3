// Partial wheel rotation. Precision touchpads and high-resolution wheels send
// deltas below WHEEL_DELTA; the rotation is gathered and a step is taken each
// time it reaches a whole notch in one direction, as a notched wheel would.
#pragma once
#include <windows.h>

// A gathered rotation older than this is a stray left over from an earlier
// swipe, not part of the one going on.
constexpr DWORD kWheelPauseMs = 1000;

// What a wheel message would drive where it is turned; a run of partial
// rotation belongs to one of them and one window.
enum class WheelGesture { None, Focus, Cycle, SameSender, Chord, TabList };

struct WheelRun {
    int rotation;  // gathered, less than one notch; its sign is the direction
    WheelGesture gesture;
    HWND window;  // under the cursor
    DWORD time;   // of the last message of the run
};

// Steps one wheel message takes. A whole multiple of WHEEL_DELTA (0 included)
// is one step, as it always was, and ends any run. Otherwise the delta joins
// the run, which starts afresh on a change of direction, gesture or window
// or after a pause; each whole notch gathered is a step, the rest is kept.
int WheelSteps(WheelRun& run, int delta, WheelGesture gesture, HWND window, DWORD time);

// Wheel rotation to steps. Precision touchpads and high-resolution wheels send
// deltas below WHEEL_DELTA, notched wheels whole multiples of it; every delta
// is gathered and a step is taken for each whole notch, as a notched wheel
// would.
#pragma once
#include <windows.h>

// A gathered rotation older than this is a stray left over from an earlier
// swipe, not part of the one going on.
constexpr DWORD kWheelPauseMs = 1000;
// Steps one message may take, whatever its delta (WHEEL_DELTA a step): a
// synthetic -32767 would otherwise be 273 walks or chords in one hook call.
constexpr int kMaxWheelStepsPerMessage = 10;

// What a wheel message would drive where it is turned; a run of rotation
// belongs to one of them and one window.
enum class WheelGesture { None, Focus, Cycle, CycleSideways, SameSender, Chord, TabList };

struct WheelRun {
    int rotation;  // gathered, less than one notch; its sign is the direction
    WheelGesture gesture;
    HWND window;  // under the cursor
    DWORD time;   // of the last message of the run
};

// Steps one wheel message takes. The delta joins the run, which starts afresh
// on a change of direction, gesture or window or after a pause; each whole
// notch gathered is a step, at most kMaxWheelStepsPerMessage, and the rest
// below a notch is kept. A delta of 0 turns nothing and takes no step.
// The delta is a wheel message's, 16 bits wide: a gathered rest and any
// delta add up without overflow.
int WheelSteps(WheelRun& run, short delta, WheelGesture gesture, HWND window, DWORD time);

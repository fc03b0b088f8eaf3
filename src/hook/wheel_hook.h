// The WH_GETMESSAGE hook on the host's GUI thread and its gestures.
#pragma once
#include <windows.h>

LRESULT CALLBACK WheelHookProc(int code, WPARAM wParam, LPARAM lParam);

#include "frame/mouse_capture.h"

#include "frame/plugin_state.h"

void TakeGestureCapture() {
    g_plugin.capturePaused = false;
    SetCapture(g_plugin.hwndMdiClient);
}

void KeepGestureCapture() {
    HWND mdi = g_plugin.hwndMdiClient;
    if (mdi && !g_plugin.capturePaused && GetCapture() != mdi) SetCapture(mdi);
}

void PauseGestureCapture() {
    g_plugin.capturePaused = true;
    if (GetCapture() == g_plugin.hwndMdiClient) ReleaseCapture();
}

void ResumeGestureCapture() {
    g_plugin.capturePaused = false;
    KeepGestureCapture();
}

void EndGestureCapture() {
    g_plugin.capturePaused = false;
    ReleaseCapture();
}

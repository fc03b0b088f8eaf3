// The nine options, in memory and in the INI file beside the module, and the
// trace switch that the file alone holds.
#pragma once
#include <windows.h>

// MOD bits of a KeyChord.
constexpr BYTE kModAlt = 0x01;
constexpr BYTE kModCtrl = 0x02;
constexpr BYTE kModShift = 0x04;
constexpr BYTE kModExtended = 0x80;  // KEY is an extended key

// What the wheel does in one direction while the right button is held.
struct KeyChord {
    BYTE MOD;
    BYTE KEY;  // virtual-key code, 0 for none
    BYTE TL;   // nonzero: open the TabList popup instead of typing
};

struct Settings {
    KeyChord chords[2];  // [0] wheel up (delta >= 0), [1] wheel down
    BYTE MOVE_FOCUS;
    BYTE MOVE_NEXTFROM;
    INT32 TAB_CLOSE;
};

// Section of the INI file that holds every key.
constexpr char kIniSection[] = "Rollvix";
// Room for the module path (MAX_PATH + 1) plus a longer extension.
constexpr int kIniPathSize = MAX_PATH + 8;

// The INI path beside the module: same directory and base name, ".ini".
// Returns false, and forms no path, when the module's file name cannot be
// read whole.
bool GetIniPath(char (&path)[kIniPathSize]);
bool IniPathForModuleName(const char* moduleFileName, char (&path)[kIniPathSize]);

// Replaces all nine fields of the process-wide Settings with the file's values,
// and sets the trace switch (g_traceOn, debug_trace.h) from its key "Trace".
void LoadSettings();
// Writes the nine keys from values; the in-memory record is left alone, and
// so is every other key of the file (a "Trace" line among them).
void SaveSettings(const Settings& values);

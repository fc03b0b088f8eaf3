// printf-style trace of the hook and the popup, written to the debugger
// through OutputDebugStringA while the INI file switches it on (Trace=1 in
// section [Rollvix], read by LoadSettings). Off, which is the default, a
// trace call costs one test of a flag: the formatting is out of line.
#pragma once
#include <windows.h>

// Room for one trace line, its line end and NUL included.
constexpr int kTraceLineSize = 256;

// True while the trace is on. False when the module loads; every
// LoadSettings sets it from the INI file.
extern bool g_traceOn;

// Formats one line with wvnsprintfA, cut to kTraceLineSize - 2 characters,
// and writes it with a line end through OutputDebugStringA.
[[gnu::cold]] void WriteTraceLine(const char* format, ...);
// Ends a line of kTraceLineSize bytes that wvnsprintfA wrote into with room
// for kTraceLineSize - 2, formatted being what it returned: a line end and a
// NUL. Returns the line's length with its line end.
int EndTraceLine(char* line, int formatted);

// A template rather than a C variadic function, which the compiler would not
// inline: each call site keeps only the test and, behind it, the call.
template <typename... Args>
inline void DebugTrace(const char* format, Args... args) {
    if (g_traceOn) [[unlikely]]
        WriteTraceLine(format, args...);
}

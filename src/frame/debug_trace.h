// printf-style trace of the hook and the popup. A normal build compiles every
// call to nothing; a build with ROLLVIX_TRACE writes each line to the
// debugger through OutputDebugStringA.
#pragma once
#include <windows.h>

#if defined(ROLLVIX_TRACE) && ROLLVIX_TRACE
#include <shlwapi.h>

#include <cstdarg>
#endif

// Room for one trace line, its line end and NUL included.
constexpr int kTraceLineSize = 256;

inline void DebugTrace([[maybe_unused]] const char* format, ...) {
#if defined(ROLLVIX_TRACE) && ROLLVIX_TRACE
    char line[kTraceLineSize];
    va_list args;
    va_start(args, format);
    // Two bytes stay free for the line end; wvnsprintfA cuts what is longer.
    int length = wvnsprintfA(line, kTraceLineSize - 2, format, args);
    va_end(args);
    if (length < 0) length = lstrlenA(line);
    line[length] = '\n';
    line[length + 1] = '\0';
    OutputDebugStringA(line);
#endif
}

#include "frame/debug_trace.h"

#include <shlwapi.h>

#include <cstdarg>

bool g_traceOn = false;

// A printf-style format needs a va_list for wvnsprintfA: the one C variadic function.
void WriteTraceLine(const char* format, ...) {  // NOLINT(cert-dcl50-cpp)
    char line[kTraceLineSize];
    va_list args;
    va_start(args, format);
    // Two bytes stay free for the line end; wvnsprintfA cuts what is longer.
    const int formatted = wvnsprintfA(line, kTraceLineSize - 2, format, args);
    va_end(args);
    EndTraceLine(line, formatted);
    OutputDebugStringA(line);
}

int EndTraceLine(char* line, int formatted) {
    // wvnsprintfA need not end a text it cut, nor is what it returns a
    // length then: the line is ended here and measured within its room.
    constexpr int kLongest = kTraceLineSize - 3;
    line[kLongest] = '\0';
    const int length = formatted >= 0 && formatted <= kLongest ? formatted : lstrlenA(line);
    line[length] = '\n';
    line[length + 1] = '\0';
    return length + 1;
}

#include "frame/debug_trace.h"

#include <shlwapi.h>

#include <cstdarg>

bool g_traceOn = false;

void WriteTraceLine(const char* format, ...) {
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
}

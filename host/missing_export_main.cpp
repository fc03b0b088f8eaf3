// A host built without one of its services (MISSING_SERVICE). Loads the DLL
// named on the command line; exit code 0 when the load failed in the
// plug-in's start-up, as it must, 1 when it loaded or failed otherwise.
#include <windows.h>

#include <cstdio>

#include "stand_in_host.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: %s PLUGIN.dll\n", argv[0]);
        return 2;
    }
    if (GetFileAttributesA(argv[1]) == INVALID_FILE_ATTRIBUTES) {
        std::printf("no such file: %s\n", argv[1]);
        return 2;
    }
    host::StandInHost host;
    HMODULE module = LoadLibraryA(argv[1]);
    if (module) {
        std::printf("loaded although the host lacks %s\n", MISSING_SERVICE);
        FreeLibrary(module);
        return 1;
    }
    DWORD error = GetLastError();
    // The plug-in refusing in its start-up shows as a failed initialisation;
    // anything else (a missing dependency, say) proves nothing.
    if (error != ERROR_DLL_INIT_FAILED) {
        std::printf("load failed for another reason: error %lu\n", error);
        return 1;
    }
    std::printf("not loaded: the host lacks %s\n", MISSING_SERVICE);
    return 0;
}

// What the test kit's run-tests.cmd checks before the first test program:
// this program runs at all (a 32-bit program), the ANSI code page is 932 as
// the host's texts are, the mouse buttons are not swapped (the tests press
// the buttons by name), and this desktop takes input. Prints one line per
// check, in English (the console may not show Japanese), and exits with 0
// when all hold, 1 when one does not.
#include <windows.h>

#include <cstdio>

namespace {

bool Check(bool ok, const char* what, const char* missing) {
    if (ok) std::printf("kit_check: %s: yes\n", what);
    else std::printf("kit_check: %s: NO - %s\n", what, missing);
    return ok;
}

// The screen is locked, or the program runs where no one sees a desktop
// (a service, an ssh session): injected input would go nowhere.
bool DesktopTakesInput() {
    HDESK input = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
    if (!input) return false;
    char inputName[64] = {}, ownName[64] = {};
    DWORD needed = 0;
    bool same = GetUserObjectInformationA(input, UOI_NAME, inputName, sizeof inputName, &needed) &&
                GetUserObjectInformationA(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, ownName,
                                          sizeof ownName, &needed) &&
                lstrcmpiA(inputName, ownName) == 0;
    CloseDesktop(input);
    return same;
}

}  // namespace

int main() {
    std::printf("kit_check: a 32-bit program runs: yes\n");
    const UINT acp = GetACP();
    char acpText[160];
    std::snprintf(acpText, sizeof acpText,
                  "it is %u; set the system locale to Japanese (Japan), without the beta option "
                  "'Use Unicode UTF-8', and restart Windows",
                  acp);
    bool ok = Check(acp == 932, "the ANSI code page is 932 (Japanese)", acpText);
    ok &= Check(!GetSystemMetrics(SM_SWAPBUTTON), "the left mouse button is the primary one",
                "the buttons are swapped; make the left button the primary one in the mouse settings");
    ok &= Check(DesktopTakesInput(), "this desktop takes mouse and keyboard input",
                "unlock the screen and run the kit in a signed-in desktop session, not over ssh or as a service");
    std::fflush(stdout);
    return ok ? 0 : 1;
}

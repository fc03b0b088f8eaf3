// The test kit's helper for run-tests.cmd, one job per mode:
//   kit_check.exe
//       checks what the tests need of Windows: this program runs at all (a
//       32-bit program), the ANSI code page is 932 as the host's texts are,
//       and this desktop takes input. One line per check, in English (the
//       console may not show Japanese); exits with 0 when all hold, 3 when
//       one does not.
//   kit_check.exe --run SECONDS PROGRAM [ARGUMENTS...]
//       runs PROGRAM, passing its output on as it comes, and stops it (with
//       whatever it started) after SECONDS; exits with its exit code, 258
//       when it ran out of time.
//   kit_check.exe --buttons 0|1
//       swaps the mouse buttons for this session (1) or not (0); exits with
//       the setting it found, 1 for swapped.
//   kit_check.exe --hang
//       a program that does not end, for the kit's own check of the limit.
// Every line goes to the console and, when ROLLVIX_KIT_LOG names a file, to
// the end of that file.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Exit code of the check when a setting is missing; 1 is also what cmd
// reports for a program Windows refused to start.
constexpr int kSettingMissing = 3;
// Exit code of --run when the program ran out of time.
constexpr DWORD kTimedOut = WAIT_TIMEOUT;
// Exit code of --run when the program did not start.
constexpr int kNotStarted = 2;
// Wrong arguments.
constexpr int kUsage = 2;
// How often --run looks at the pipe and the program: output shows this late at most.
constexpr DWORD kPollMs = 50;
// What the pipe holds before the program has to wait for us.
constexpr DWORD kPipeBytes = 64 * 1024;
// How long a stopped program may take to go.
constexpr DWORD kStopWaitMs = 5000;
// --hang ends by itself after an hour, in case nothing stops it.
constexpr DWORD kHangMs = 3600 * 1000;

// The console and the log, written alike. The log is opened for appending
// only while this program runs: run-tests.cmd writes its own lines to it
// between the programs.
class Output {
public:
    Output() {
        wchar_t path[MAX_PATH];
        const DWORD n = GetEnvironmentVariableW(L"ROLLVIX_KIT_LOG", path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return;
        log_ = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~Output() {
        if (log_ != INVALID_HANDLE_VALUE) CloseHandle(log_);
    }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void Write(const char* data, DWORD size) {
        WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), data, size);
        if (log_ != INVALID_HANDLE_VALUE) WriteAll(log_, data, size);
    }

    // One line, printf-style, with Windows' line end.
    void Line(const char* format, ...) {
        char text[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text - 2, format, args);
        va_end(args);
        std::strcat(text, "\r\n");
        Write(text, static_cast<DWORD>(std::strlen(text)));
    }

private:
    static void WriteAll(HANDLE to, const char* data, DWORD size) {
        DWORD written = 0;
        while (size > 0 && WriteFile(to, data, size, &written, nullptr) && written > 0) {
            data += written;
            size -= written;
        }
    }
    HANDLE log_ = INVALID_HANDLE_VALUE;
};

bool Check(Output& out, bool ok, const char* what, const char* missing) {
    if (ok) out.Line("kit_check: %s: yes", what);
    else out.Line("kit_check: %s: NO - %s", what, missing);
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

int CheckSettings(Output& out) {
    out.Line("kit_check: a 32-bit program runs: yes");
    const UINT acp = GetACP();
    char acpText[160];
    std::snprintf(acpText, sizeof acpText,
                  "it is %u; set the system locale to Japanese (Japan), without the beta option "
                  "'Use Unicode UTF-8', and restart Windows",
                  acp);
    bool ok = Check(out, acp == 932, "the ANSI code page is 932 (Japanese)", acpText);
    ok &= Check(out, DesktopTakesInput(), "this desktop takes mouse and keyboard input",
                "unlock the screen and run the kit in a signed-in desktop session, not over ssh or as a service");
    return ok ? 0 : kSettingMissing;
}

// The command line after its first `count` arguments, as typed: the
// program's own, quotes and all, so that nothing is lost in a code page.
wchar_t* ArgumentsAfter(int count) {
    wchar_t* p = GetCommandLineW();
    for (int i = 0; i < count; ++i) {
        while (*p == L' ' || *p == L'\t') ++p;
        bool quoted = false;
        for (; *p && (quoted || (*p != L' ' && *p != L'\t')); ++p)
            if (*p == L'"') quoted = !quoted;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return p;
}

// Whatever the pipe holds now, passed on; never waits for more.
void PassOn(Output& out, HANDLE pipe) {
    char buffer[4096];
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        DWORD got = 0;
        const DWORD want = available < sizeof buffer ? available : sizeof buffer;
        if (!ReadFile(pipe, buffer, want, &got, nullptr) || got == 0) return;
        out.Write(buffer, got);
    }
}

// Passes the program's output on until it ends or the limit passes; whether
// it ended. Whatever it started may keep the pipe open: the program's end
// is what counts.
bool Relay(Output& out, HANDLE pipe, HANDLE process, DWORD limitMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        PassOn(out, pipe);
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= limitMs) return false;
        const DWORD wait = limitMs - elapsed < kPollMs ? limitMs - elapsed : kPollMs;
        if (WaitForSingleObject(process, wait) == WAIT_OBJECT_0) {
            PassOn(out, pipe);
            return true;
        }
    }
}

// A job that takes the program's helpers with it when it is stopped, or
// when this program ends.
HANDLE KillingJob() {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return job;
}

int RunWithLimit(Output& out, DWORD seconds, const char* name, wchar_t* commandLine) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, kPipeBytes)) {
        out.Line("kit_check: cannot make a pipe for %s (error %lu)", name, GetLastError());
        return kNotStarted;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    // The program's output reaches the log through us alone.
    SetEnvironmentVariableW(L"ROLLVIX_KIT_LOG", nullptr);
    PROCESS_INFORMATION pi = {};
    const BOOL started =
        CreateProcessW(nullptr, commandLine, nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr, &si, &pi);
    const DWORD startError = GetLastError();
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        out.Line("kit_check: cannot start %s (error %lu)", name, startError);
        return kNotStarted;
    }
    // Without the job (a Windows before 8 inside a job of its own) the
    // program alone is stopped.
    HANDLE job = KillingJob();
    if (job && !AssignProcessToJobObject(job, pi.hProcess)) {
        CloseHandle(job);
        job = nullptr;
    }
    ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);

    const bool ended = Relay(out, readEnd, pi.hProcess, seconds * 1000);
    DWORD code = kTimedOut;
    if (ended) {
        GetExitCodeProcess(pi.hProcess, &code);
    } else {
        if (job) TerminateJobObject(job, kTimedOut);
        TerminateProcess(pi.hProcess, kTimedOut);
        WaitForSingleObject(pi.hProcess, kStopWaitMs);
        PassOn(out, readEnd);
        out.Line("kit_check: %s timed out after %lu s and was stopped", name, static_cast<unsigned long>(seconds));
    }
    if (job) CloseHandle(job);
    CloseHandle(pi.hProcess);
    CloseHandle(readEnd);
    // A program's own exit code of 258 still counts as a failure.
    return ended && code == kTimedOut ? 1 : static_cast<int>(code);
}

int Hang(Output& out) {
    out.Line("kit_check: a program that does not end, to be stopped by the time limit");
    Sleep(kHangMs);
    return 1;
}

int Usage(Output& out) {
    out.Line("usage: kit_check.exe [--run SECONDS PROGRAM [ARGUMENTS...] | --buttons 0|1 | --hang]");
    return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
    Output out;
    if (argc == 1) return CheckSettings(out);
    if (argc == 2 && std::strcmp(argv[1], "--hang") == 0) return Hang(out);
    if (argc == 3 && std::strcmp(argv[1], "--buttons") == 0) return SwapMouseButton(std::atoi(argv[2]) != 0) ? 1 : 0;
    if (argc >= 4 && std::strcmp(argv[1], "--run") == 0) {
        const int seconds = std::atoi(argv[2]);
        if (seconds <= 0) return Usage(out);
        return RunWithLimit(out, static_cast<DWORD>(seconds), argv[3], ArgumentsAfter(3));
    }
    return Usage(out);
}

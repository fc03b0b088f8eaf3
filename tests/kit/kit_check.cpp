// The test kit's helper for run-tests.cmd, one job per mode:
//   kit_check.exe
//       checks what the tests need of Windows: this program runs at all (a
//       32-bit program), the ANSI code page is 932 as the host's texts are,
//       the font the dialogs ask for is there, this desktop takes input and
//       the log (ROLLVIX_KIT_LOG) can be written. One line per check, in
//       English (the console may not show Japanese); exits with 0 when all
//       hold, 3 when one does not.
//   kit_check.exe --run SECONDS PROGRAM [ARGUMENTS...]
//       runs PROGRAM, passing its output on as it comes, and stops it (with
//       whatever it started) after SECONDS, however much it writes; exits
//       with its exit code, 258 when it ran out of time, 2 when it did not
//       start. A log it cannot write stops it before PROGRAM, as it stops
//       run-tests.cmd.
//   kit_check.exe --buttons 0|1
//       swaps the mouse buttons for this session (1) or not (0); exits with
//       the setting it found, 1 for swapped.
//   kit_check.exe --hang | --flood
//       a program that does not end, silent or writing without pause, for
//       the kit's own check of the limit.
// Every line goes to the console and, when ROLLVIX_KIT_LOG names a file, to
// the end of that file.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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
// At most this much is passed on before the runner looks at the program
// again; a reader as slow as a console still sees the clock between reads.
constexpr DWORD kPassOnBytes = 256 * 1024;
// Once the program is gone, what it left in the pipe is passed on within
// this time and size: a program it started may hold the pipe and go on
// writing. The program's own rest is at most the pipe's size.
constexpr DWORD kRestMs = 2000;
constexpr DWORD kRestBytes = 16 * kPipeBytes;
// How long a stopped program may take to go.
constexpr DWORD kStopWaitMs = 5000;
// --hang ends by itself after an hour, in case nothing stops it; --flood
// after a minute, so that a runner that cannot stop it fails soon.
constexpr DWORD kHangMs = 3600 * 1000;
constexpr DWORD kFloodMs = 60 * 1000;

// A time span from now, on the tick count (wrap-around safe).
class Deadline {
public:
    explicit Deadline(DWORD ms) : start_(GetTickCount()), ms_(ms) {}
    DWORD Elapsed() const { return GetTickCount() - start_; }
    bool Passed() const { return Elapsed() >= ms_; }
    DWORD Left() const {
        const DWORD elapsed = Elapsed();
        return elapsed >= ms_ ? 0 : ms_ - elapsed;
    }

private:
    DWORD start_;
    DWORD ms_;
};

// The console and the log, written alike. The log is opened for appending
// only while this program runs: run-tests.cmd writes its own lines to it
// between the programs.
class Output {
public:
    Output() {
        // However long: one the file system refuses is reported, never skipped.
        const DWORD size = GetEnvironmentVariableW(L"ROLLVIX_KIT_LOG", nullptr, 0);
        if (size == 0) return;
        path_.resize(size);
        const DWORD n = GetEnvironmentVariableW(L"ROLLVIX_KIT_LOG", path_.data(), size);
        path_.resize(n < size ? n : 0);
        if (path_.empty()) return;
        log_ = CreateFileW(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (log_ == INVALID_HANDLE_VALUE) logError_ = GetLastError();
    }
    ~Output() {
        if (log_ != INVALID_HANDLE_VALUE) CloseHandle(log_);
    }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Nonzero (the error) when ROLLVIX_KIT_LOG names a file that cannot be
    // appended to: read-only, or held by another program.
    DWORD LogError() const { return logError_; }
    // The log's path as opened, in the console's code page.
    std::string LogPath() const {
        std::string text(2 * path_.size() + 1, '\0');  // two bytes at most a character
        WideCharToMultiByte(CP_ACP, 0, path_.c_str(), -1, text.data(), static_cast<int>(text.size()), nullptr, nullptr);
        return text.c_str();
    }

    void Write(const char* data, DWORD size) {
        if (size == 0) return;
        WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), data, size);
        if (log_ != INVALID_HANDLE_VALUE) WriteAll(log_, data, size);
        atLineStart_ = data[size - 1] == '\n';
    }

    // One line, printf-style, with Windows' line end; on a line of its own
    // after a program's output that was cut short within a line.
    void Line(const char* format, ...) {
        char text[2048] = "\r\n";
        const size_t start = atLineStart_ ? 0 : 2;
        va_list args;
        va_start(args, format);
        std::vsnprintf(text + start, sizeof text - start - 2, format, args);
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
    DWORD logError_ = 0;
    std::wstring path_;
    bool atLineStart_ = true;
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

// The faces the dialogs' FONT statements name (src/res/*.rc), each with a
// name the console can show. Missing, the dialogs get another font, and the
// tests of their layout fail on widths.
struct Face {
    const wchar_t* name;
    const char* shown;
};
constexpr Face kDialogFaces[] = {{L"ＭＳ Ｐゴシック", "MS PGothic"}};

int CALLBACK NoteFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool FaceEnumerated(HDC dc, const wchar_t* face) {
    LOGFONTW font = {};
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    EnumFontFamiliesExW(dc, &font, NoteFound, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

// Whether the font mapper finds the face: installed under that name (Wine's
// font replacements make it one), or a font substitute naming an installed
// face, as the mapper follows it. The substitutes are read in the system's
// own view: the mapper does not run in this 32-bit program's.
bool FacePresent(HDC dc, const wchar_t* face) {
    if (FaceEnumerated(dc, face)) return true;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return false;
    wchar_t target[LF_FACESIZE + 8] = {};
    DWORD type = 0, size = sizeof target - sizeof target[0];
    const bool mapped = RegQueryValueExW(key, face, nullptr, &type, reinterpret_cast<BYTE*>(target), &size) ==
                            ERROR_SUCCESS &&
                        type == REG_SZ;
    RegCloseKey(key);
    if (!mapped) return false;
    // "Face,charset" names a character set too.
    for (wchar_t* p = target; *p; ++p)
        if (*p == L',') *p = L'\0';
    return target[0] && FaceEnumerated(dc, target);
}

bool CheckFonts(Output& out) {
    HDC dc = GetDC(nullptr);
    bool ok = true;
    for (const Face& face : kDialogFaces) {
        char what[96];
        std::snprintf(what, sizeof what, "the dialogs' font %s is installed", face.shown);
        ok &= Check(out, dc && FacePresent(dc, face.name), what,
                    "Japanese Windows has it; else add the optional feature 'Japanese Supplemental Fonts' "
                    "(Settings > Apps > Optional features); under Wine, map it onto a Japanese font (see the "
                    "read-me)");
    }
    if (dc) ReleaseDC(nullptr, dc);
    return ok;
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
    ok &= CheckFonts(out);
    ok &= Check(out, DesktopTakesInput(), "this desktop takes mouse and keyboard input",
                "unlock the screen and run the kit in a signed-in desktop session, not over ssh or as a service");
    if (out.LogError()) {
        char logText[160];
        std::snprintf(logText, sizeof logText,
                      "error %lu; make rollvix-tests.log writable (not read-only) or delete it, and close "
                      "programs that have it open",
                      out.LogError());
        ok &= Check(out, false, "the log can be written", logText);
    }
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

enum class Pipe { kEmpty, kClosed, kMore };

// Passes on what the pipe holds, without waiting for more, until it is
// empty or closed, `budget` bytes went through or `until` passed. The clock
// is read between reads: a program that writes faster than the console
// reads keeps the pipe full.
Pipe PassOn(Output& out, HANDLE pipe, const Deadline& until, DWORD budget, unsigned long long& passed) {
    char buffer[4096];
    for (DWORD done = 0; done < budget && !until.Passed();) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return Pipe::kClosed;
        if (available == 0) return Pipe::kEmpty;
        DWORD want = available < sizeof buffer ? available : sizeof buffer;
        if (want > budget - done) want = budget - done;
        DWORD got = 0;
        if (!ReadFile(pipe, buffer, want, &got, nullptr) || got == 0) return Pipe::kClosed;
        out.Write(buffer, got);
        done += got;
        passed += got;
    }
    return Pipe::kMore;
}

// Passes the program's output on until it ends or the limit passes; whether
// it ended. Whatever it started may keep the pipe open: the program's end
// is what counts.
bool Relay(Output& out, HANDLE pipe, HANDLE process, const Deadline& limit, unsigned long long& passed) {
    for (;;) {
        const Pipe pipeState = PassOn(out, pipe, limit, kPassOnBytes, passed);
        if (limit.Passed()) return false;
        const DWORD wait = pipeState == Pipe::kMore ? 0 : (limit.Left() < kPollMs ? limit.Left() : kPollMs);
        if (WaitForSingleObject(process, wait) == WAIT_OBJECT_0) return true;
    }
}

// A job that takes the program's helpers with it when it is stopped, or
// when this program ends. Without the kill-on-close limit the job still
// stops them at the limit and at the program's end, but not should this
// program itself be killed.
HANDLE KillingJob(Output& out) {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits))
        out.Line("kit_check: cannot tie the program's helpers to this runner (error %lu); should the run be "
                 "cut short, close any test window left open",
                 GetLastError());
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
    HANDLE job = KillingJob(out);
    if (job && !AssignProcessToJobObject(job, pi.hProcess)) {
        CloseHandle(job);
        job = nullptr;
    }
    const Deadline limit(seconds * 1000);
    ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);

    unsigned long long passed = 0;
    const bool ended = Relay(out, readEnd, pi.hProcess, limit, passed);
    DWORD code = kTimedOut;
    if (ended) GetExitCodeProcess(pi.hProcess, &code);
    // Whatever it started goes with it.
    if (job) TerminateJobObject(job, kTimedOut);
    if (!ended) {
        TerminateProcess(pi.hProcess, kTimedOut);
        WaitForSingleObject(pi.hProcess, kStopWaitMs);
    }
    // The end of its output, if it fits the bounds.
    const Deadline rest(kRestMs);
    const Pipe restState = PassOn(out, readEnd, rest, kRestBytes, passed);
    if (restState == Pipe::kMore)
        out.Line("kit_check: %s left more output than the runner passes on after its end; the rest is dropped",
                 name);
    if (!ended) {
        out.Line("kit_check: %s timed out after %lu s and was stopped", name, static_cast<unsigned long>(seconds));
        const DWORD took = limit.Elapsed();
        out.Line("kit_check: stopped %lu.%02lu s after its start, %llu bytes of its output passed on",
                 static_cast<unsigned long>(took / 1000), static_cast<unsigned long>(took % 1000 / 10), passed);
    }
    if (job) CloseHandle(job);
    CloseHandle(pi.hProcess);
    CloseHandle(readEnd);
    // A program's own exit code of 258 still counts as a failure.
    return ended && code == kTimedOut ? 1 : static_cast<int>(code);
}

// The log is the report: a program whose output would miss it is not run.
int StopOnLog(Output& out) {
    const std::string path = out.LogPath();
    out.Line("Stopped: cannot write \"%s\"; make it writable [not read-only, not open in another program] or "
             "delete it, or unpack the kit into a folder you can write to.",
             path.c_str());
    return kNotStarted;
}

int Hang(Output& out) {
    out.Line("kit_check: a program that does not end, to be stopped by the time limit");
    Sleep(kHangMs);
    return 1;
}

// Blocks of text lines, written as fast as the reader takes them.
int Flood(Output& out) {
    out.Line("kit_check: a program that floods its output, to be stopped by the time limit");
    static char block[64 * 1024];
    static const char line[] = "kit_check: flood ...............................................\r\n";
    for (DWORD i = 0; i < sizeof block; ++i) block[i] = line[i % (sizeof line - 1)];
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    const Deadline end(kFloodMs);
    DWORD written = 0;
    while (!end.Passed() && WriteFile(output, block, sizeof block, &written, nullptr)) {
    }
    return 1;
}

int Usage(Output& out) {
    out.Line("usage: kit_check.exe [--run SECONDS PROGRAM [ARGUMENTS...] | --buttons 0|1 | --hang | --flood]");
    return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
    Output out;
    if (argc == 1) return CheckSettings(out);
    if (argc == 2 && std::strcmp(argv[1], "--hang") == 0) return Hang(out);
    if (argc == 2 && std::strcmp(argv[1], "--flood") == 0) return Flood(out);
    if (argc == 3 && std::strcmp(argv[1], "--buttons") == 0) return SwapMouseButton(std::atoi(argv[2]) != 0) ? 1 : 0;
    if (argc >= 4 && std::strcmp(argv[1], "--run") == 0) {
        const int seconds = std::atoi(argv[2]);
        if (seconds <= 0) return Usage(out);
        if (out.LogError()) return StopOnLog(out);
        return RunWithLimit(out, static_cast<DWORD>(seconds), argv[3], ArgumentsAfter(3));
    }
    return Usage(out);
}

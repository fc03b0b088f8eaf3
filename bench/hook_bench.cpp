// What the plug-in's message hook costs the host's message loop, and what
// loading the plug-in costs, each beside a DLL that only installs one bare
// WH_GETMESSAGE hook (bare_hook.dll) and, for the loop, beside no hook at all.
// The set-ups take turns in rounds, in a rotating order, so that drift on a
// shared machine reaches all of them; medians over the rounds are printed.
// Each row is sized to its share of the program's time, and printed as soon
// as it is measured.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "frame/host_api.h"
#include "frame/plugin_state.h"
#include "settings/settings_store.h"
#include "stand_in_host.h"

namespace {

enum Setup { kNoHook, kBareHook, kRollvix, kSetups };
const char* const kSetupNames[kSetups] = {"no hook", "bare hook", "rollvix"};

// Rounds of a row: every round pumps the same count through each set-up in
// turn, so each set-up sees the same messages.
constexpr int kRounds = 20;
// A row that runs past its time ends after a whole round, but not before it
// has this many.
constexpr int kMinRounds = 5;
// Messages a round at the least, however slow the machine.
constexpr int kMinPerRound = 10;
// Messages posted per batch before the loop drains the queue.
constexpr int kBatch = 1000;
// Loads of each DLL for the start-up figure.
constexpr int kLoads = 31;

// Where the cursor rests while a stream is posted: a message's point is the
// cursor's when it was posted.
enum class Over { Anywhere, StatusBar, TabBar };

struct Stream {
    const char* name;
    UINT message;
    WPARAM wParam;
    int total;  // at most this many messages posted to each set-up over all rounds
    Over over;  // the status bar, which no gesture uses; the tab bar, which cycles
    double share;  // of the program's time
};
// A partial wheel step: less than one notch (120), as precise wheels send.
constexpr short kPartialDelta = 40;
const Stream kStreams[] = {
    {"WM_USER+1 (not handled)", WM_USER + 1, 0, 1000000, Over::Anywhere, 0.18},
    {"WM_MOUSEMOVE", WM_MOUSEMOVE, 0, 100000, Over::Anywhere, 0.14},
    {"WM_MOUSEWHEEL 40, status", WM_MOUSEWHEEL, MAKEWPARAM(0, kPartialDelta), 100000, Over::StatusBar, 0.14},
    {"WM_MOUSEHWHEEL 40, status", WM_MOUSEHWHEEL, MAKEWPARAM(0, kPartialDelta), 100000, Over::StatusBar, 0.14},
    // One step each: the next MDI child becomes active (the others scroll nothing).
    {"WM_MOUSEWHEEL 120, tab bar", WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 4000,
     Over::TabBar, 0.08},
};
// The held-press row's share; what the rows leave is the start-up's.
constexpr double kHeldShare = 0.18;

// One row's figures: nanoseconds a message of each variant, a round each.
struct Row {
    std::vector<double> ns[kSetups];
    int perRound = 0;
    int rounds = 0;
    double seconds = 0;
    bool failed = false;
};

// Measures one row side by side. pump(v, count) puts variant v in place,
// pumps count messages, takes the variant away again and returns nanoseconds
// a message (negative when the variant could not be put in place). A probe
// of each variant first gives what a round costs, so the count a round (at
// most cap) is the one whose rounds fit budgetMs; should the machine slow
// down on the way, the row ends early, after a whole round.
template <typename Pump>
Row MeasureRow(int variants, int cap, double budgetMs, Pump pump) {
    Row row;
    const double start = bench::NowMs();
    double fixedMs = 0, messageMs = 0;
    for (int v = 0; v < variants; ++v) {
        double t = bench::NowMs();
        row.failed = pump(v, 0) < 0;
        const double fixed = bench::NowMs() - t;
        // Counts grow until the messages take longer than the set-up does.
        for (int n = 16; !row.failed; n *= 2) {
            const int count = std::min(n, cap);
            t = bench::NowMs();
            row.failed = pump(v, count) < 0;
            const double ms = std::max(bench::NowMs() - t - fixed, 0.0);
            if (count == cap || ms >= std::max(100.0, fixed)) {
                messageMs += ms / count;
                break;
            }
        }
        if (row.failed) return row;
        fixedMs += fixed;
    }
    const double left = budgetMs - (bench::NowMs() - start);
    const double fits = (left / kRounds - fixedMs) / std::max(messageMs, 1e-6);
    row.perRound = std::min(cap, std::max(std::min(kMinPerRound, cap), static_cast<int>(std::min(fits, 1e9))));
    for (int round = 0; round < kRounds; ++round) {
        for (int k = 0; k < variants; ++k) {
            const int v = (round + k) % variants;
            const double ns = pump(v, row.perRound);
            if (ns < 0) {
                row.failed = true;
                return row;
            }
            row.ns[v].push_back(ns);
        }
        row.rounds = round + 1;
        if (row.rounds >= kMinRounds && bench::NowMs() - start > budgetMs) break;
    }
    row.seconds = (bench::NowMs() - start) / 1000;
    return row;
}

class Bench {
public:
    Bench() : folder_(bench::ProgramFolder()) {}

    host::StandInHost& Host() { return host_; }

    // Puts a set-up in place, its DLL loaded from this subfolder of the
    // program's; false when the DLL cannot be loaded.
    bool Enter(Setup s, const std::string& subfolder = "") {
        if (s == kBareHook) module_ = LoadLibraryA((folder_ + subfolder + "bare_hook.dll").c_str());
        if (s == kRollvix) module_ = host_.LoadPlugin(folder_ + subfolder + "rollvix.dll");
        return s == kNoHook || module_ != nullptr;
    }

    // A copy of the plug-in in this subfolder with the INI file that the
    // settings dialog writes for the default options beside it.
    bool MakeInstalledCopy(const std::string& subfolder) {
        const std::string to = folder_ + subfolder;
        CreateDirectoryA(to.c_str(), nullptr);
        return CopyFileA((folder_ + "rollvix.dll").c_str(), (to + "rollvix.dll").c_str(), FALSE) &&
               WriteDefaultIni() && CopyFileA(OwnIni().c_str(), (to + "rollvix.ini").c_str(), FALSE) &&
               DeleteFileA(OwnIni().c_str());
    }

    // The linked-in code's INI file is this program's: written as the plug-in
    // writes its own.
    bool WriteDefaultIni() {
        SaveSettings(Settings{});
        return GetFileAttributesA(OwnIni().c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    std::string OwnIni() const { return folder_ + "hook_bench.ini"; }

    void Leave(Setup s) {
        if (s == kBareHook && module_) FreeLibrary(module_);
        if (s == kRollvix && module_) host_.UnloadPlugin(module_);
        module_ = nullptr;
        Drain();
    }

    // Puts the cursor on the window, 60 pixels in from its left and halfway
    // down; false when another window is what lies under it there.
    bool CursorOver(HWND window, POINT* at) {
        RECT r;
        GetWindowRect(window, &r);
        *at = {r.left + 60, (r.top + r.bottom) / 2};
        SetCursorPos(at->x, at->y);
        return WindowFromPoint(*at) == window;
    }

    // Nanoseconds per message over count messages posted to the main window
    // in batches; only the host's loop draining them is timed.
    double PumpNs(const Stream& stream, LPARAM lParam, int count) {
        double ms = 0;
        for (int done = 0; done < count; done += kBatch) {
            for (int i = 0; i < kBatch && done + i < count; ++i)
                PostMessageA(host_.Main(), stream.message, stream.wParam, lParam);
            const double start = bench::NowMs();
            while (host_.PumpOne()) {
            }
            ms += bench::NowMs() - start;
        }
        return 1e6 * ms / (count > 0 ? count : 1);
    }

    // Milliseconds that LoadLibrary of one set-up's DLL takes.
    double LoadMs(Setup s, const std::string& subfolder) {
        const double start = bench::NowMs();
        const bool loaded = Enter(s, subfolder);
        const double ms = bench::NowMs() - start;
        Leave(s);
        return loaded ? ms : -1;
    }

    // A real right press over the status bar, held back by the plug-in with
    // its capture; false when the capture never came.
    bool HoldPress() {
        POINT at;
        if (!CursorOver(host_.Status(), &at)) return false;
        Drain();
        Press(MOUSEEVENTF_RIGHTDOWN);
        for (int i = 0; i < 200 && GetCapture() != host_.MdiClient(); ++i) {
            Drain();
            Sleep(5);
        }
        return GetCapture() == host_.MdiClient();
    }
    void ReleasePress() {
        Press(MOUSEEVENTF_RIGHTUP);
        Sleep(20);
        Drain();
    }

    void Drain() {
        while (host_.PumpOne()) {
        }
        host_.ClearReceived();
        host_.ClearCalls();
    }

private:
    static void Press(DWORD flags) {
        INPUT in = {};
        in.type = INPUT_MOUSE;
        in.mi.dwFlags = flags;
        SendInput(1, &in, sizeof in);
    }
    std::string folder_;
    host::StandInHost host_;
    HMODULE module_ = nullptr;
};

}  // namespace

int main() {
    bench::PrintAsMeasured();
    const double budgetMs = bench::BudgetMs();
    Bench b;
    b.Drain();
    for (Setup s : {kBareHook, kRollvix}) {
        if (!b.Enter(s)) {
            std::printf("cannot load the DLL of set-up '%s'\n", kSetupNames[s]);
            return 1;
        }
        b.Leave(s);
    }

    std::printf("Hook cost: messages posted to the host's main window and drained by its loop\n");
    std::printf("(PeekMessage PM_REMOVE, translate, dispatch); %d rounds, rotating order, medians;\n", kRounds);
    std::printf("each row sized to its share of %.0f s (fewer rounds if the machine slowed down on the way):\n",
                budgetMs / 1000);
    std::printf("every set-up got the same messages, in the same rounds\n");
    std::printf("%-26s %10s %10s %10s %16s %9s %6s %6s\n", "stream", "no hook", "bare hook", "rollvix",
                "rollvix / bare", "messages", "rounds", "time");
    for (const Stream& stream : kStreams) {
        // Wheel messages carry the cursor's screen position.
        POINT at = {40, 40};
        const HWND over = stream.over == Over::StatusBar ? b.Host().Status()
                          : stream.over == Over::TabBar  ? b.Host().Tab()
                                                         : nullptr;
        if (over && !b.CursorOver(over, &at)) {
            std::printf("%-26s the cursor is not over the window; skipped\n", stream.name);
            continue;
        }
        const LPARAM lParam = MAKELPARAM(at.x, at.y);
        const Row row = MeasureRow(kSetups, stream.total / kRounds, stream.share * budgetMs, [&](int v, int count) {
            const Setup s = static_cast<Setup>(v);
            b.Enter(s);
            const double ns = b.PumpNs(stream, lParam, count);
            b.Leave(s);
            return ns;
        });
        const double none = bench::Median(row.ns[kNoHook]), bare = bench::Median(row.ns[kBareHook]),
                     rollvix = bench::Median(row.ns[kRollvix]);
        std::printf("%-26s %8.0f ns %8.0f ns %8.0f ns %16.3f %9d %6d %4.0f s\n", stream.name, none, bare, rollvix,
                    rollvix / bare, row.perRound * row.rounds, row.rounds, row.seconds);
    }

    // What a message the plug-in does not act on costs while a press is held
    // back (its capture on, its watch running), beside none held.
    {
        const Stream& stream = kStreams[0];
        const Row row = MeasureRow(2, stream.total / kRounds, kHeldShare * budgetMs, [&](int v, int count) {
            const bool held = v == 1;
            b.Enter(kRollvix);
            const bool inPlace = !held || b.HoldPress();
            const double ns = inPlace ? b.PumpNs(stream, 0, count) : -1;
            if (held) b.ReleasePress();
            b.Leave(kRollvix);
            return ns;
        });
        if (row.failed) {
            std::printf("the held press never took the capture\n");
            return 1;
        }
        const double free = bench::Median(row.ns[0]), held = bench::Median(row.ns[1]);
        std::printf("%-26s %8.0f ns none held %8.0f ns a press held %16.3f %9d %6d %4.0f s\n", stream.name, free, held,
                    held / free, row.perRound * row.rounds, row.rounds, row.seconds);
    }

    // Start-up as the benchmark's folder has it (no INI file, the first start
    // after installing) and as after the first OK in the settings dialog.
    struct Load {
        Setup setup;
        const char* subfolder;
    };
    const Load kLoadKinds[] = {{kBareHook, ""}, {kRollvix, ""}, {kRollvix, "with-ini\\"}};
    constexpr int kKinds = sizeof kLoadKinds / sizeof kLoadKinds[0];
    if (!b.MakeInstalledCopy(kLoadKinds[2].subfolder)) {
        std::printf("cannot copy rollvix.dll beside an INI file\n");
        return 1;
    }
    std::vector<double> loads[kKinds];
    for (int i = 0; i < kLoads; ++i) {
        for (int k = 0; k < kKinds; ++k) {
            const int kind = (i + k) % kKinds;
            loads[kind].push_back(b.LoadMs(kLoadKinds[kind].setup, kLoadKinds[kind].subfolder));
        }
    }
    const double bare = bench::Median(loads[0]), rollvix = bench::Median(loads[1]),
                 installed = bench::Median(loads[2]);
    std::printf("\nStart-up: LoadLibrary into the stand-in host, %d loads each, rotating order, medians\n", kLoads);
    std::printf("bare_hook.dll %.3f ms, rollvix.dll %.3f ms (ratio %.2f), rollvix.dll beside its INI file %.3f ms "
                "(ratio %.2f)\n",
                bare, rollvix, rollvix / bare, installed, installed / bare);

    // The plug-in's own start-up, run from the statically linked copy of its
    // code: what is left of the load is the loader's (mapping, imports).
    const double start = bench::PieceMs(kLoads, [] {
        StartPlugin();
        StopPlugin();
    });
    const double bind = bench::PieceMs(kLoads, [] { BindHostApi(g_plugin.api); });
    const double settings = bench::PieceMs(kLoads, [] { LoadSettings(); });
    const double hook = bench::PieceMs(kLoads, [] {
        InstallHook();
        StopPlugin();
    });
    b.WriteDefaultIni();
    const double settingsFromFile = bench::PieceMs(kLoads, [] { LoadSettings(); });
    DeleteFileA(b.OwnIni().c_str());
    std::printf("pieces of rollvix.dll's load: start-up code %.3f ms (binding the 47 services %.3f ms, reading the\n",
                start, bind);
    std::printf("settings %.3f ms, installing the hook %.3f ms, the window search the rest); the loader %.3f ms\n",
                settings, hook, rollvix - start);
    std::printf("reading the settings from an INI file holding the nine keys %.3f ms\n", settingsFromFile);
    return 0;
}

// What the plug-in's message hook costs the host's message loop, and what
// loading the plug-in costs, each beside a DLL that only installs one bare
// WH_GETMESSAGE hook (bare_hook.dll) and, for the loop, beside no hook at all.
// The set-ups take turns in rounds, in a rotating order, so that drift on a
// shared machine reaches all of them; medians over the rounds are printed.
#include <windows.h>

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

// Rounds of the message streams: every round pumps a twentieth of each
// stream through each set-up in turn, so each set-up sees the whole stream.
constexpr int kRounds = 20;
// Messages posted per batch before the loop drains the queue.
constexpr int kBatch = 1000;
// Loads of each DLL for the start-up figure.
constexpr int kLoads = 31;

struct Stream {
    const char* name;
    UINT message;
    int total;  // messages posted to each set-up over all rounds
};
const Stream kStreams[] = {
    {"WM_USER+1 (not handled)", WM_USER + 1, 1000000},
    {"WM_MOUSEMOVE", WM_MOUSEMOVE, 100000},
};

class Bench {
public:
    Bench() : folder_(bench::ProgramFolder()) {}

    host::StandInHost& Host() { return host_; }

    // Puts a set-up in place; false when its DLL cannot be loaded.
    bool Enter(Setup s) {
        if (s == kBareHook) module_ = LoadLibraryA((folder_ + "bare_hook.dll").c_str());
        if (s == kRollvix) module_ = host_.LoadPlugin(folder_ + "rollvix.dll");
        return s == kNoHook || module_ != nullptr;
    }

    void Leave(Setup s) {
        if (s == kBareHook && module_) FreeLibrary(module_);
        if (s == kRollvix && module_) host_.UnloadPlugin(module_);
        module_ = nullptr;
        Drain();
    }

    // Nanoseconds per message over count messages posted to the main window
    // in batches; only the host's loop draining them is timed.
    double PumpNs(UINT message, int count) {
        double ms = 0;
        for (int done = 0; done < count; done += kBatch) {
            for (int i = 0; i < kBatch && done + i < count; ++i) PostMessageA(host_.Main(), message, 0, MAKELPARAM(40, 40));
            const double start = bench::NowMs();
            while (host_.PumpOne()) {
            }
            ms += bench::NowMs() - start;
        }
        return 1e6 * ms / (count > 0 ? count : 1);
    }

    // Milliseconds that LoadLibrary of one set-up's DLL takes.
    double LoadMs(Setup s) {
        const double start = bench::NowMs();
        const bool loaded = Enter(s);
        const double ms = bench::NowMs() - start;
        Leave(s);
        return loaded ? ms : -1;
    }

    void Drain() {
        while (host_.PumpOne()) {
        }
        host_.ClearReceived();
        host_.ClearCalls();
    }

private:
    std::string folder_;
    host::StandInHost host_;
    HMODULE module_ = nullptr;
};

}  // namespace

int main() {
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
    std::printf("(PeekMessage PM_REMOVE, translate, dispatch); %d rounds, rotating order, medians\n", kRounds);
    std::printf("each set-up gets the whole stream, a twentieth per round\n");
    std::printf("%-26s %10s %10s %10s %16s\n", "stream", "no hook", "bare hook", "rollvix", "rollvix / bare");
    for (const Stream& stream : kStreams) {
        std::vector<double> ns[kSetups];
        for (int round = 0; round < kRounds; ++round) {
            for (int k = 0; k < kSetups; ++k) {
                const Setup s = static_cast<Setup>((round + k) % kSetups);
                b.Enter(s);
                ns[s].push_back(b.PumpNs(stream.message, stream.total / kRounds));
                b.Leave(s);
            }
        }
        const double none = bench::Median(ns[kNoHook]), bare = bench::Median(ns[kBareHook]),
                     rollvix = bench::Median(ns[kRollvix]);
        std::printf("%-26s %8.0f ns %8.0f ns %8.0f ns %16.3f\n", stream.name, none, bare, rollvix, rollvix / bare);
    }

    std::vector<double> loads[kSetups];
    for (int i = 0; i < kLoads; ++i) {
        const Setup first = i % 2 ? kRollvix : kBareHook;
        const Setup second = i % 2 ? kBareHook : kRollvix;
        loads[first].push_back(b.LoadMs(first));
        loads[second].push_back(b.LoadMs(second));
    }
    const double bare = bench::Median(loads[kBareHook]), rollvix = bench::Median(loads[kRollvix]);
    std::printf("\nStart-up: LoadLibrary into the stand-in host, %d loads each, alternating, medians\n", kLoads);
    std::printf("bare_hook.dll %.3f ms, rollvix.dll %.3f ms, ratio %.2f\n", bare, rollvix, rollvix / bare);

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
    std::printf("pieces of rollvix.dll's load: start-up code %.3f ms (binding the 47 services %.3f ms, reading the\n",
                start, bind);
    std::printf("settings %.3f ms, installing the hook %.3f ms, the window search the rest); the loader %.3f ms\n",
                settings, hook, rollvix - start);
    return 0;
}

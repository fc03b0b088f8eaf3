// Shared by the benchmarks: a QueryPerformanceCounter clock, medians and the
// time a program may take.
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

inline double NowMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double Median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Median milliseconds over `runs` runs of piece.
template <typename Piece>
double PieceMs(int runs, Piece piece) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const double start = NowMs();
        piece();
        ms.push_back(NowMs() - start);
    }
    return Median(ms);
}

// Milliseconds a program should measure for: a third of the limit
// scripts/bench.sh gives it (ROLLVIX_BENCH_TIMEOUT seconds, 300 unless set),
// so that a machine several times slower than expected still finishes.
inline double BudgetMs() {
    char text[16] = "";
    const DWORD n = GetEnvironmentVariableA("ROLLVIX_BENCH_TIMEOUT", text, sizeof text);
    const int seconds = n > 0 && n < sizeof text ? std::atoi(text) : 0;
    return 1000.0 * (seconds > 0 ? seconds : 300) / 3;
}

// Output goes to a pipe, where the C runtime would hold it until exit: a run
// ended by the time limit would then show nothing it measured.
inline void PrintAsMeasured() { std::setvbuf(stdout, nullptr, _IONBF, 0); }

// The folder this program was started from, with a trailing backslash.
inline std::string ProgramFolder() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    return s.substr(0, s.find_last_of('\\') + 1);
}

}  // namespace bench

// Shared by the benchmarks: a QueryPerformanceCounter clock and medians.
#pragma once
#include <windows.h>

#include <algorithm>
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

// The folder this program was started from, with a trailing backslash.
inline std::string ProgramFolder() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    return s.substr(0, s.find_last_of('\\') + 1);
}

}  // namespace bench

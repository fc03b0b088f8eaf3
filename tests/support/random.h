// A tiny fixed random sequence for randomised tests: the same on every run,
// so a failure names its seed and case and can be replayed.
#pragma once
#include <cstdint>

namespace test {

// xorshift32.
struct Random {
    uint32_t state;
    uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
};

}  // namespace test

#include "tablist/text_compare.h"

#include <shlwapi.h>

#include <cstring>

namespace {

// Printable ASCII: each has a weight of its own, none is ignored and none
// combines with a neighbour, so two strings made only of these are equal to
// the locale exactly when their bytes are.
bool IsPlain(unsigned char c) { return c >= 0x20 && c <= 0x7E; }

// Length of s when it is plain throughout, else -1.
int PlainLength(const char* s) {
    int n = 0;
    for (; s[n]; ++n)
        if (!IsPlain(static_cast<unsigned char>(s[n]))) return -1;
    return n;
}

// Length of the plain text that opens window [s, s + n) when only NULs
// follow it there, else -1. The locale comparison ignores NULs and reads
// past them up to n, so whatever lies there decides too.
int PlainWindowLength(const char* s, int n) {
    int k = 0;
    while (k < n && s[k] && IsPlain(static_cast<unsigned char>(s[k]))) ++k;
    for (int i = k; i < n; ++i)
        if (s[i]) return -1;
    return k;
}

}  // namespace

bool SameText(const char* a, const char* b) {
    const int la = PlainLength(a);
    const int lb = la < 0 ? -1 : PlainLength(b);
    if (lb < 0) return lstrcmpA(a, b) == 0;
    return la == lb && std::memcmp(a, b, static_cast<size_t>(la)) == 0;
}

bool SamePrefix(const char* s, const char* t, int n) {
    if (n <= 0) return StrCmpNA(s, t, n) == 0;
    const int ls = PlainWindowLength(s, n);
    const int lt = ls < 0 ? -1 : PlainWindowLength(t, n);
    if (lt < 0) return StrCmpNA(s, t, n) == 0;
    return ls == lt && std::memcmp(s, t, static_cast<size_t>(ls)) == 0;
}

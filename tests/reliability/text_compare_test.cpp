// The snapshot's byte-wise comparisons against the locale's own, on random
// strings built to sit near the edges: plain ASCII with hyphens, apostrophes
// and letter case, control bytes, NULs inside the compared window, garbage
// after a NUL, double-byte characters and lone high bytes.
#include <windows.h>
#include <shlwapi.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "support/random.h"

#include "tablist/text_compare.h"

namespace {

constexpr uint32_t kSeed = 20261208;
constexpr int kCases = 200000;
// The snapshot's buffers: every compared string lives in one this large.
constexpr int kBufferSize = 256;

using test::Random;

std::string Piece(Random& r) {
    static const char* const kPieces[] = {
        "a", "A", "b", "B", "z", "0", "9", " ", "-", " - ", "'", "_", "~", "\\", "(", ")", "&", ":", "Folder",
        "folder", "\x01", "\x1F", "\x7F", "\t", "\x88\xB6", "\x90\xE6", "\x82\xA0", "\x83\x41", "\xB1", "\xDE",
        "\x81\x40", "\x81", "\xFC", "\x80", "\xA0", "\x88\xB6\x90\xE6(&T):", "\x8C\x8F\x96\xBC(&S):",
    };
    return kPieces[r.Below(static_cast<int>(sizeof kPieces / sizeof kPieces[0]))];
}

std::string RandomText(Random& r) {
    std::string t;
    for (int i = r.Below(8); i > 0; --i) t += Piece(r);
    return t.substr(0, kBufferSize - 1);
}

// Mostly small edits of a, so that equal and nearly equal pairs are common.
std::string Partner(Random& r, const std::string& a) {
    std::string b = a;
    switch (r.Below(7)) {
        case 0: return RandomText(r);
        case 1: break;
        case 2:
            if (!b.empty()) b[r.Below(static_cast<int>(b.size()))] ^= 0x20;
            break;
        case 3: b.insert(static_cast<size_t>(r.Below(static_cast<int>(b.size()) + 1)), Piece(r)); break;
        case 4:
            if (!b.empty()) b.erase(static_cast<size_t>(r.Below(static_cast<int>(b.size()))), 1);
            break;
        case 5: b = b.substr(0, static_cast<size_t>(r.Below(static_cast<int>(b.size()) + 1))); break;
        default: b += Piece(r); break;
    }
    return b.substr(0, kBufferSize - 1);
}

// A 256-byte buffer holding s; past its NUL either zeros or, sometimes,
// leftovers, as a title cut at its first blank has.
void Fill(Random& r, char (&buffer)[kBufferSize], const std::string& s) {
    std::memset(buffer, 0, sizeof buffer);
    std::memcpy(buffer, s.c_str(), s.size());
    if (r.Below(4) == 0) {
        std::string rest = RandomText(r);
        size_t at = s.size() + 1;
        for (size_t i = 0; i < rest.size() && at + i < kBufferSize; ++i) buffer[at + i] = rest[i];
    }
    // Now and then a NUL inside the text itself.
    if (!s.empty() && r.Below(10) == 0) buffer[r.Below(static_cast<int>(s.size()))] = '\0';
}

std::string Shown(const char* s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        char hex[8];
        if (c >= 0x20 && c < 0x7F && c != '\\') out += static_cast<char>(c);
        else {
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

TEST(TextCompare, AgreesWithTheLocaleComparisons) {
    ASSERT_EQ(GetACP(), 932u);
    Random r{kSeed};
    char a[kBufferSize], b[kBufferSize];
    int equalText = 0, equalPrefix = 0;
    for (int n = 0; n < kCases; ++n) {
        std::string sa = RandomText(r);
        Fill(r, a, sa);
        Fill(r, b, Partner(r, sa));
        const bool wantText = lstrcmpA(a, b) == 0;
        ASSERT_EQ(SameText(a, b), wantText) << "case " << n << ": '" << Shown(a, lstrlenA(a)) << "' '"
                                            << Shown(b, lstrlenA(b)) << "'";
        equalText += wantText;

        // As the snapshot asks: as many bytes as one side's text, or a few more.
        int len = r.Below(2) ? lstrlenA(a) : lstrlenA(b);
        len += r.Below(3) == 0 ? r.Below(5) : 0;
        len = len < kBufferSize - 4 ? len : kBufferSize - 4;
        const bool wantPrefix = StrCmpNA(a, b, len) == 0;
        ASSERT_EQ(SamePrefix(a, b, len), wantPrefix)
            << "case " << n << ", " << len << " bytes: '" << Shown(a, len) << "' '" << Shown(b, len) << "'";
        equalPrefix += wantPrefix;
    }
    // The pairs must have hit both answers often, or the check proves little.
    EXPECT_GT(equalText, kCases / 20);
    EXPECT_GT(equalPrefix, kCases / 10);
}

}  // namespace

// Randomised sender extraction and title matching against small models of
// the rules written here, on texts that end right before an unreadable page.
#include <windows.h>
#include <shlwapi.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "support/random.h"

#include "hook/same_sender.h"
#include "tablist/tab_snapshot.h"

namespace {

constexpr uint32_t kSeed = 20261207;
constexpr int kSenderCases = 100000;
constexpr int kTitleCases = 100000;

using test::Random;

bool IsLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Pieces that make the rules' corners likely: folds, brackets, double-byte
// characters whose trail byte is 'F' (0x46) or another ASCII-range byte.
std::string Piece(Random& r) {
    static const char* const kPieces[] = {
        "From:", "From: ", "from:", "FROM:", "Resent-From:", "\r\n", "\r", "\n", "\r\n ", "\r\n\t", " ", "\t",
        "<", ">", "<>", "<a@b>", "a@example.jp", "\x83\x46", "\x83" "From:", "\x88\xB6", "\x81\x40", "\xE0\x7E",
        "\x81", "\xFC\x40", "name", "\x82\xA0\x82\xA2", "Subject: x", "\r\n\r\n", "\x81<", "\x81>",
    };
    int k = r.Below(static_cast<int>(sizeof kPieces / sizeof kPieces[0]) + 4);
    if (k < static_cast<int>(sizeof kPieces / sizeof kPieces[0])) return kPieces[k];
    if (k == static_cast<int>(sizeof kPieces / sizeof kPieces[0])) return std::string(300 + r.Below(3000), 'x');
    std::string bytes;
    for (int i = r.Below(6); i >= 0; --i) bytes += static_cast<char>(1 + r.Below(255));
    return bytes;
}

std::string RandomText(Random& r) {
    std::string t;
    for (int i = r.Below(12); i >= 0; --i) t += Piece(r);
    return t;
}

// The model: the sender key of a text, or nothing.
std::optional<std::string> ModelSender(const std::string& t) {
    size_t from = std::string::npos;
    for (size_t i = 0; i < t.size();) {
        if (t.compare(i, 5, "From:") == 0) {
            from = i;
            break;
        }
        i += (IsLead(static_cast<unsigned char>(t[i])) && i + 1 < t.size()) ? 2 : 1;
    }
    if (from == std::string::npos) return std::nullopt;
    size_t v = from + 5;
    while (v < t.size() && (t[v] == ' ' || t[v] == '\t')) ++v;
    size_t e = std::string::npos;
    for (size_t i = v; i + 1 < t.size(); ++i) {
        if (t[i] == '\r' && t[i + 1] == '\n' && !(i + 2 < t.size() && (t[i + 2] == ' ' || t[i + 2] == '\t'))) {
            e = i;
            break;
        }
    }
    if (e == std::string::npos) return std::nullopt;
    std::string value = t.substr(v, e - v);
    size_t lt = value.find('<');
    if (lt == std::string::npos) return value;
    size_t gt = value.find('>', lt);
    if (gt == std::string::npos) return std::nullopt;
    if (gt == lt + 1) return value;
    return value.substr(lt + 1, gt - lt - 1);
}

// Copies text so that its NUL is the last readable byte before a page that
// cannot be read: any read past the text faults.
class GuardedText {
public:
    explicit GuardedText(size_t capacity) {
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        page_ = si.dwPageSize;
        dataPages_ = (capacity + page_) / page_;
        base_ = static_cast<char*>(VirtualAlloc(nullptr, (dataPages_ + 1) * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base_ + dataPages_ * page_, page_, PAGE_NOACCESS, &old);
    }
    ~GuardedText() { VirtualFree(base_, 0, MEM_RELEASE); }
    const char* Place(const std::string& s) { return PlaceIn(s, s.size() + 1); }
    // In a buffer of bufferSize bytes that ends at the unreadable page.
    const char* PlaceIn(const std::string& s, size_t bufferSize) {
        char* at = base_ + dataPages_ * page_ - bufferSize;
        std::memset(at, 0, bufferSize);
        std::memcpy(at, s.c_str(), s.size() + 1);
        return at;
    }

private:
    size_t page_ = 0;
    size_t dataPages_ = 0;
    char* base_ = nullptr;
};

std::string Printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        char buf[8];
        if (c >= 0x20 && c < 0x7F && c != '\\') out += static_cast<char>(c);
        else {
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

TEST(Fuzz, SenderExtractionFollowsTheModel) {
    ASSERT_EQ(GetACP(), 932u);
    Random r{kSeed};
    GuardedText guard(64 * 1024);
    for (int n = 0; n < kSenderCases; ++n) {
        std::string text = RandomText(r);
        if (text.size() > 60000) continue;
        std::optional<std::string> want = ModelSender(text);
        SenderKey got = ExtractSender(guard.Place(text));
        ASSERT_EQ(static_cast<bool>(got), want.has_value())
            << "seed " << kSeed << " case " << n << ": " << Printable(text);
        if (want) {
            ASSERT_EQ(std::string(got.Get()), *want) << "seed " << kSeed << " case " << n << ": " << Printable(text);
        }
    }
}

// The model: index of the first unattached record that fits the title.
// The comparisons are the locale's, so the model uses them too, on copies in
// buffers as large as the plug-in's.
bool StartsWith(const std::string& s, const std::string& prefix) {
    char a[kTabTextSize * 2] = {}, b[kTabTextSize * 2] = {};
    std::memcpy(a, s.c_str(), s.size());
    std::memcpy(b, prefix.c_str(), prefix.size());
    return StrCmpNA(a, b, static_cast<int>(prefix.size())) == 0;
}

int ModelMatch(const std::string& title, const TabSnapshot& s) {
    for (int i = 0; i < s.count; ++i) {
        const TabRecord& rec = s.records[i];
        if (rec.hwndChild) continue;
        std::string text = rec.text;
        if (lstrcmpA(text.c_str(), title.c_str()) == 0) return i;
        size_t marker = 0;
        if (text.size() > 2 && text[2] == ' ') marker = 3;
        else if (text.size() > 3 && text[3] == ' ') marker = 4;
        std::string rest = text.substr(marker);
        if (marker && StartsWith(rest, title)) return i;
        if (title.find(" - ") != std::string::npos && StartsWith(title, rest)) return i;
    }
    return -1;
}

std::string RandomWord(Random& r) {
    static const char* const kWords[] = {"Inbox", "In", "Outbox", " - ", "12 ", "123 ", "1 ", " ", "-", "note",
                                         "\x88\xB6\x90\xE6", "a", "", "Sent", "x - y"};
    std::string w;
    for (int i = r.Below(4); i >= 0; --i) w += kWords[r.Below(static_cast<int>(sizeof kWords / sizeof kWords[0]))];
    if (r.Below(50) == 0) w += std::string(300, 'z');
    return w.substr(0, kTabTextSize - 1);
}

TEST(Fuzz, TitleMatchingFollowsTheModel) {
    Random r{kSeed + 1};
    GuardedText guard(1024);
    TabSnapshot s;
    ASSERT_TRUE(AllocateTabRecords(s, 8));
    for (int n = 0; n < kTitleCases; ++n) {
        s.count = 1 + r.Below(8);
        for (int i = 0; i < s.count; ++i) {
            TabRecord& rec = s.records[i];
            std::memset(&rec, 0, sizeof rec);
            std::string t = RandomWord(r);
            std::memcpy(rec.text, t.c_str(), t.size() + 1);
            rec.hwndChild = r.Below(5) == 0 ? reinterpret_cast<HWND>(0x1234) : nullptr;
        }
        std::string title = RandomWord(r);
        int want = ModelMatch(title, s);
        // Titles live in fixed 256-byte buffers; nothing may read beyond one.
        int got = MatchTabTitle(guard.PlaceIn(title, kTabTextSize), s);
        ASSERT_EQ(got, want) << "seed " << kSeed + 1 << " case " << n << ": title '" << Printable(title) << "'";
    }
}

}  // namespace

// Sender keys and header ends, straight from message texts.
#include <windows.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hook/same_sender.h"

namespace {

// The key as a string, or "<none>" when the text gives no key.
std::string KeyOf(const std::string& text) {
    SenderKey key = ExtractSender(text.c_str());
    return key ? std::string(key.Get()) : std::string("<none>");
}

TEST(ExtractSender, AddressInBracketsOrWholeValue) {
    EXPECT_EQ(KeyOf("From: Taro Yamada <taro@example.jp>\r\nTo: b@example.jp\r\n\r\nbody"), "taro@example.jp");
    EXPECT_EQ(KeyOf("From: taro@example.jp\r\nTo: b@example.jp\r\n"), "taro@example.jp");
    // Tabs and spaces after the colon are skipped; other letter case is kept.
    EXPECT_EQ(KeyOf("From:\t \tTaro@Example.JP\r\n"), "Taro@Example.JP");
    // A trailing blank stays in the key.
    EXPECT_EQ(KeyOf("From: taro@example.jp \r\n"), "taro@example.jp ");
    // Only the first '>' after the first '<' counts.
    EXPECT_EQ(KeyOf("From: a <b@c> <d@e>\r\n"), "b@c");
    EXPECT_EQ(KeyOf("From: x > y <a@b>\r\n"), "a@b");
}

TEST(ExtractSender, DoubleByteDisplayName) {
    // "山田 太郎" in CP932 before the address.
    EXPECT_EQ(KeyOf("From: \x8E\x52\x93\x63 \x91\xBE\x98\x59 <yamada@example.jp>\r\n"), "yamada@example.jp");
}

TEST(ExtractSender, BracketEdgeCases) {
    EXPECT_EQ(KeyOf("From: Nobody <>\r\n"), "Nobody <>");
    EXPECT_EQ(KeyOf("From: Broken <taro@example.jp\r\n"), "<none>");
    EXPECT_EQ(KeyOf("From: <a@b>\r\n"), "a@b");
}

TEST(ExtractSender, WhichHeaderIsTaken) {
    // The search is case-sensitive and not bound to line starts.
    EXPECT_EQ(KeyOf("FROM: a@b\r\nfrom: c@d\r\n"), "<none>");
    EXPECT_EQ(KeyOf("Resent-From: r@x\r\nFrom: f@x\r\n"), "r@x");
    EXPECT_EQ(KeyOf("Subject: hi\r\n\r\nbody"), "<none>");
    EXPECT_EQ(KeyOf(""), "<none>");
}

TEST(ExtractSender, HeaderEnds) {
    // An empty value is a key too.
    EXPECT_EQ(KeyOf("From:\r\nTo: a@b\r\n"), "");
    EXPECT_EQ(KeyOf("From: \r\n"), "");
    // A folded value keeps its line break; the address is on the continuation.
    EXPECT_EQ(KeyOf("From: Taro Yamada\r\n <taro@example.jp>\r\nTo: b@c\r\n"), "taro@example.jp");
    EXPECT_EQ(KeyOf("From: a@b\r\n\tc\r\nTo: x\r\n"), "a@b\r\n\tc");
    EXPECT_EQ(KeyOf("From:\r\n <a@b>\r\n"), "a@b");
    // No CRLF after the value: no key, also with a lone CR or LF.
    EXPECT_EQ(KeyOf("From: a@b"), "<none>");
    EXPECT_EQ(KeyOf("From: a@b\n"), "<none>");
    EXPECT_EQ(KeyOf("From: a@b\r"), "<none>");
    EXPECT_EQ(KeyOf("From: a@b\r\n "), "<none>");
    // CRLF right before the end of the text does end the value.
    EXPECT_EQ(KeyOf("From: a@b\r\n"), "a@b");
}

TEST(FindHeaderEnd, SkipsFoldedBreaks) {
    const char* s = "a\r\n b\r\n\tc\r\nd";
    EXPECT_EQ(FindHeaderEnd(s), s + 9);
    EXPECT_EQ(FindHeaderEnd("abc"), nullptr);
    EXPECT_EQ(FindHeaderEnd("abc\r\n\t"), nullptr);
    const char* crcr = "a\r\r\n";
    EXPECT_EQ(FindHeaderEnd(crcr), crcr + 2);
}

TEST(FindFromHeader, StepsOverDoubleByteCharacters) {
    // 0x83 0x46 is one character ("ツ" block): its trail byte is 'F'.
    const std::string trail = "X: \x83" "From: a@b\r\n";
    EXPECT_EQ(FindFromHeader(trail.c_str()), nullptr);
    EXPECT_EQ(KeyOf(trail), "<none>");
    // After that character a real header is still found.
    EXPECT_EQ(KeyOf(trail + "From: c@d\r\n"), "c@d");
    // The same bytes after a single-byte katakana (0xB1) are a match.
    EXPECT_EQ(KeyOf("X: \xB1" "From: a@b\r\n"), "a@b");
    // A lead byte right before the NUL ends the search, it does not skip it.
    const char lone[] = "abc\x83";
    EXPECT_EQ(FindFromHeader(lone), nullptr);
}

TEST(ExtractSender, NeverReadsPastTheText) {
    // Each text sits at the very end of a committed page with a guard page
    // after it: a read past its NUL faults.
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const DWORD page = si.dwPageSize;
    BYTE* base = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(base, nullptr);
    DWORD old;
    ASSERT_TRUE(VirtualProtect(base + page, page, PAGE_NOACCESS, &old));
    const std::vector<std::string> texts = {
        "From:", "From: \x83", "From: a@b\r", "From: a@b\r\n", "From: <a@b\r\n", "\x83",
        "Fro", "From: a\r\n \x83", "From:\t", "From: \x81\r\n",
    };
    for (const std::string& t : texts) {
        char* text = reinterpret_cast<char*>(base + page - (t.size() + 1));
        std::memcpy(text, t.c_str(), t.size() + 1);
        SenderKey key = ExtractSender(text);
        FindHeaderEnd(text);
        FindFromHeader(text);
    }
    VirtualFree(base, 0, MEM_RELEASE);
}

TEST(ExtractSender, RandomTextsAgreeWithByteModel) {
    // Texts over a small alphabet of header bytes; the key is checked against
    // a plain model of the rules (no double-byte characters in this alphabet).
    const char alphabet[] = {'F', 'r', 'o', 'm', ':', ' ', '\t', '\r', '\n', '<', '>', 'a', '@'};
    std::mt19937 rng(20240517);
    std::uniform_int_distribution<int> pick(0, sizeof alphabet - 1), length(0, 40);
    for (int round = 0; round < 3000; ++round) {
        std::string body;
        for (int n = length(rng); n > 0; --n) body += alphabet[pick(rng)];
        const std::string text = (round % 2 ? "From:" : "") + body;

        std::string want = "<none>";
        size_t from = text.find("From:");
        if (from != std::string::npos) {
            size_t v = from + 5;
            while (v < text.size() && (text[v] == ' ' || text[v] == '\t')) ++v;
            size_t e = text.find("\r\n", v);
            while (e != std::string::npos && e + 2 < text.size() && (text[e + 2] == ' ' || text[e + 2] == '\t'))
                e = text.find("\r\n", e + 1);
            if (e != std::string::npos) {
                std::string value = text.substr(v, e - v);
                size_t open = value.find('<');
                size_t close = open == std::string::npos ? open : value.find('>', open);
                if (open == std::string::npos || close == open + 1) want = value;
                else if (close != std::string::npos) want = value.substr(open + 1, close - open - 1);
            }
        }
        ASSERT_EQ(KeyOf(text), want) << "text: " << text;
    }
}

}  // namespace

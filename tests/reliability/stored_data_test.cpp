// Bad stored data: INI files with garbage, negative, huge and hexadecimal
// values, without the section, read-only, or a directory in the file's place.
// The plug-in loads, the settings dialog opens and its OK touches nothing in
// the file but the nine values.
#include <windows.h>

#include <string>
#include <vector>

#include "support/popup_driver.h"
#include "support/settings_driver.h"

namespace {


constexpr const char* kKeys[] = {"MOD0", "TL0", "KEY0", "MOD1", "TL1", "KEY1", "MOVE_FOCUS", "MOVE_NEXTFROM",
                                 "TAB_CLOSE"};

// Opens the dialog through the command export, as the host's menu does, and
// presses OK in its modal loop. False when it never opened or had to be ended.
bool OpenSettingsAndPressOk(test::LoadedHost& lh) {
    settings_driver::DialogRun run = settings_driver::OpenSettings(lh, {settings_driver::Ok()});
    return run.dialog != nullptr && !run.timedOut;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

bool IsOneOfTheNineKeys(const std::string& line) {
    for (const char* key : kKeys)
        if (line.rfind(std::string(key) + "=", 0) == 0) return true;
    return false;
}

// The file's lines other than the nine keys of [Rollvix], in order. Blank
// lines are left out: wine's profile writer drops them when it rewrites a
// file, whoever asked for the write.
std::vector<std::string> OtherLines(const std::string& text) {
    std::vector<std::string> out;
    bool inRollvix = false;
    for (const std::string& line : Lines(text)) {
        if (line.empty()) continue;
        if (!line.empty() && line[0] == '[') inRollvix = line == "[Rollvix]";
        if (inRollvix && IsOneOfTheNineKeys(line)) continue;
        out.push_back(line);
    }
    return out;
}

std::string ValueOf(const std::string& text, const std::string& key) {
    bool inRollvix = false;
    for (const std::string& line : Lines(text)) {
        if (!line.empty() && line[0] == '[') inRollvix = line == "[Rollvix]";
        if (inRollvix && line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    }
    return "(missing)";
}

// The dialog only writes what it can show: modifiers and flags of their own
// bits, keys of its list or the code the file held.
void ExpectNormalisedValues(const std::string& text) {
    for (const char* key : kKeys) {
        const std::string v = ValueOf(text, key);
        SCOPED_TRACE(key);
        ASSERT_NE(v, "(missing)");
        char* end = nullptr;
        long n = std::strtol(v.c_str(), &end, 10);
        EXPECT_EQ(*end, '\0') << v;
        const std::string k = key;
        if (k.rfind("MOD", 0) == 0) EXPECT_EQ(n & ~0x87L, 0L) << v;
        else if (k.rfind("KEY", 0) == 0) EXPECT_TRUE(n >= 0 && n <= 255) << v;
        else EXPECT_TRUE(n == 0 || n == 1) << v;
    }
}

const char kOtherBefore[] =
    "; kept as it is\r\n"
    "[Other]\r\n"
    "MOD0=keep me\r\n"
    "Path=C:\\Mail\\\x8E\xF3\x90\x4D\r\n";  // a CP932 value
const char kOtherAfter[] =
    "[Last]\r\n"
    "TAB_CLOSE=-1\r\n"
    "x=y\r\n";

TEST(StoredData, GarbageNegativeHugeAndHexValuesLoadAndOkTouchesNothingElse) {
    const std::string ini = std::string(kOtherBefore) +
                            "\r\n[Rollvix]\r\n"
                            "MOD0=-1\r\n"
                            "TL0=garbage\r\n"
                            "KEY0=0x41\r\n"
                            "UNKNOWN=stays\r\n"
                            "MOD1=99999999999999999999\r\n"
                            "TL1=-2147483648\r\n"
                            "KEY1=12abc\r\n"
                            "MOVE_FOCUS= 7 \r\n"
                            "MOVE_NEXTFROM=\r\n"
                            "TAB_CLOSE=" + std::string(3000, '9') + "\r\n"
                            "\r\n" + kOtherAfter;
    test::LoadedHost lh(host::HostOptions(), ini);
    ASSERT_NE(lh.Module(), nullptr);
    // The hook runs on these values without harm.
    test::MoveCursorTo(popup::CursorOverStatusBar(lh.Host()).x, popup::CursorOverStatusBar(lh.Host()).y);
    test::PumpIdle(&lh.Host(), 30);
    test::Wheel(-popup::kNotch);
    test::PumpIdle(&lh.Host(), 50);

    ASSERT_TRUE(OpenSettingsAndPressOk(lh));
    const std::string after = lh.Plugin().ReadIni();
    EXPECT_EQ(OtherLines(after), OtherLines(ini)) << after;
    EXPECT_EQ(after.rfind(kOtherBefore, 0), 0u) << after;
    EXPECT_NE(after.find(kOtherAfter), std::string::npos) << after;
    ExpectNormalisedValues(after);
}

TEST(StoredData, MissingSectionIsAddedAndTheRestKeptByteForByte) {
    const std::string ini = std::string(kOtherBefore) + kOtherAfter;
    test::LoadedHost lh(host::HostOptions(), ini);
    ASSERT_NE(lh.Module(), nullptr);
    ASSERT_TRUE(OpenSettingsAndPressOk(lh));
    const std::string after = lh.Plugin().ReadIni();
    EXPECT_EQ(after.rfind(ini + "[Rollvix]\r\n", 0), 0u) << after;
    for (const char* key : kKeys) EXPECT_EQ(ValueOf(after, key), "0") << key;
}

TEST(StoredData, ReadOnlyFileStaysAsItWas) {
    const std::string ini = std::string(kOtherBefore) + "[Rollvix]\r\nMOD0=5\r\nKEY0=300\r\nTL1=1\r\n" + kOtherAfter;
    test::LoadedHost lh(host::HostOptions(), ini);
    ASSERT_NE(lh.Module(), nullptr);
    {
        test::WriteLock lock(lh.Plugin().IniPath());
        ASSERT_TRUE(lock.Held());
        ASSERT_TRUE(OpenSettingsAndPressOk(lh));
    }
    EXPECT_EQ(lh.Plugin().ReadIni(), ini);
}

TEST(StoredData, DirectoryInPlaceOfTheFile) {
    test::PluginCopy copy;
    ASSERT_TRUE(CreateDirectoryA(copy.IniPath().c_str(), nullptr));
    host::StandInHost h;
    HMODULE module = h.LoadPlugin(copy.DllPath());
    ASSERT_NE(module, nullptr);
    test::PumpIdle(&h, 30);
    bool allClear = false;
    settings_driver::DialogRun run = settings_driver::OpenSettings(
        module, {settings_driver::Do([&](HWND dialog) {
                     allClear = true;
                     for (int id = 1000; id < 1100; ++id) {
                         HWND box = GetDlgItem(dialog, id);
                         if (box && IsDlgButtonChecked(dialog, id) == BST_CHECKED) allClear = false;
                     }
                 }),
                 settings_driver::Ok()});
    EXPECT_NE(run.dialog, nullptr);
    EXPECT_FALSE(run.timedOut);
    EXPECT_TRUE(allClear) << "a directory reads as no file: every box clear";
    DWORD attributes = GetFileAttributesA(copy.IniPath().c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    h.UnloadPlugin(module);
}

}  // namespace

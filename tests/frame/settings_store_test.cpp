// The INI file beside the module: path, load, save, on real files.
#include <windows.h>

#include <string>

#include "frame/plugin_state.h"
#include "settings/settings_store.h"
#include "support/test_support.h"

namespace {

// Maps a copy of the plug-in without running its start-up, so that the
// statically linked store forms its path from that copy's file name.
class StoreOnCopy {
public:
    explicit StoreOnCopy(const std::string& fileName = "rollvix.dll") : copy_(fileName) {
        module_ = LoadLibraryExA(copy_.DllPath().c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        EXPECT_NE(module_, nullptr);
        g_plugin.hModule = module_;
    }
    ~StoreOnCopy() {
        g_plugin.hModule = nullptr;
        if (module_) FreeLibrary(module_);
    }
    test::PluginCopy& Copy() { return copy_; }

private:
    test::PluginCopy copy_;
    HMODULE module_ = nullptr;
};

Settings Sample() {
    Settings s = {};
    s.chords[0] = {0x82, 0x22, 0};
    s.chords[1] = {0x05, 0x41, 1};
    s.MOVE_FOCUS = 1;
    s.MOVE_NEXTFROM = 0;
    s.TAB_CLOSE = 1;
    return s;
}

bool Same(const Settings& a, const Settings& b) {
    for (int d = 0; d < 2; ++d)
        if (a.chords[d].MOD != b.chords[d].MOD || a.chords[d].KEY != b.chords[d].KEY || a.chords[d].TL != b.chords[d].TL)
            return false;
    return a.MOVE_FOCUS == b.MOVE_FOCUS && a.MOVE_NEXTFROM == b.MOVE_NEXTFROM && a.TAB_CLOSE == b.TAB_CLOSE;
}

void Scribble() { FillMemory(&g_plugin.settings, sizeof g_plugin.settings, 0x5A); }

TEST(IniPath, BesideTheModuleWithItsBaseName) {
    char path[kIniPathSize];
    ASSERT_TRUE(IniPathForModuleName("C:\\plugins\\rollvix.dll", path));
    EXPECT_STREQ(path, "C:\\plugins\\rollvix.ini");
    ASSERT_TRUE(IniPathForModuleName("C:\\a.b\\wheel", path));
    EXPECT_STREQ(path, "C:\\a.b\\wheel.ini");
    ASSERT_TRUE(IniPathForModuleName("C:\\x\\archive.tar.dll", path));
    EXPECT_STREQ(path, "C:\\x\\archive.tar.ini");
    // 0x5C as the trail byte of a double-byte character is no separator.
    ASSERT_TRUE(IniPathForModuleName("C:\\a.\x95\x5C" "b", path));
    EXPECT_STREQ(path, "C:\\a.ini");
}

TEST(IniPath, NoPathFromAnEmptyOrOverlongName) {
    char path[kIniPathSize];
    EXPECT_FALSE(IniPathForModuleName("", path));
    std::string longest = "C:\\" + std::string(MAX_PATH - 3 - 4, 'a') + ".dll";
    ASSERT_EQ(longest.size(), static_cast<size_t>(MAX_PATH));
    EXPECT_TRUE(IniPathForModuleName(longest.c_str(), path));
    std::string noExtension = "C:\\" + std::string(MAX_PATH - 3, 'a');
    EXPECT_TRUE(IniPathForModuleName(noExtension.c_str(), path));
    EXPECT_EQ(std::string(path), noExtension + ".ini");
    EXPECT_FALSE(IniPathForModuleName((longest + "x").c_str(), path));
}

TEST(Store, WithoutAFileEveryFieldIsZero) {
    StoreOnCopy store;
    Scribble();
    LoadSettings();
    EXPECT_TRUE(Same(g_plugin.settings, Settings{}));
}

TEST(Store, FirstSaveCreatesTheKeysInWritingOrderAndLoadsBack) {
    StoreOnCopy store;
    SaveSettings(Sample());
    std::string file = store.Copy().ReadIni();
    size_t at = file.find("[Rollvix]");
    ASSERT_NE(at, std::string::npos) << file;
    for (const char* line : {"MOD0=130", "TL0=0", "KEY0=34", "MOD1=5", "TL1=1", "KEY1=65", "MOVE_FOCUS=1",
                             "MOVE_NEXTFROM=0", "TAB_CLOSE=1"}) {
        size_t next = file.find(line, at);
        ASSERT_NE(next, std::string::npos) << line << " missing or out of order in:\n" << file;
        at = next;
    }
    Scribble();
    LoadSettings();
    EXPECT_TRUE(Same(g_plugin.settings, Sample()));
}

TEST(Store, HandWrittenValuesKeepTheirLowByte) {
    StoreOnCopy store;
    store.Copy().WriteIni("[Rollvix]\r\nMOD0=300\r\nTAB_CLOSE=2\r\nKEY1=65\r\n");
    LoadSettings();
    EXPECT_EQ(g_plugin.settings.chords[0].MOD, 44);
    EXPECT_EQ(g_plugin.settings.TAB_CLOSE, 2);
    EXPECT_EQ(g_plugin.settings.chords[1].KEY, 65);
    EXPECT_EQ(g_plugin.settings.chords[1].MOD, 0);
}

// Whatever the file holds, the load gives what the platform's reader gives
// key by key (the section is read whole only where the two must agree).
TEST(Store, LoadsWhatThePlatformsReaderReadsKeyByKey) {
    StoreOnCopy store;
    const std::string ini = store.Copy().IniPath();
    const char* const files[] = {
        "[Rollvix]\r\nMOD0=130\r\nTL0=0\r\nKEY0=34\r\nMOD1=5\r\nTL1=1\r\nKEY1=65\r\nTAB_CLOSE=2\r\n",
        "[Rollvix]\r\nmod0=6\r\nKey1=007\r\nmove_focus=1\r\n",
        "[Rollvix]\r\nMOD0=1\r\nMOD0=2\r\n",
        "[Rollvix]\r\n MOD0 = 3 \r\n; note\r\nKEY0=-5\r\nTL0=0x1\r\nKEY1=12abc\r\nOTHER=1\r\n",
        "[Rollvix]\r\nTAB_CLOSE=4294967298\r\nMOD1=\r\nKEY0\r\n",
        "[Rollvix]\r\nMOD0=1\r\n[Other]\r\nKEY0=9\r\n[Rollvix]\r\nKEY0=3\r\n",
    };
    const char* const names[] = {"MOD0", "TL0", "KEY0", "MOD1", "TL1", "KEY1", "MOVE_FOCUS", "MOVE_NEXTFROM", "TAB_CLOSE"};
    for (const char* file : files) {
        store.Copy().WriteIni(file);
        Scribble();
        LoadSettings();
        const Settings& s = g_plugin.settings;
        const UINT got[] = {s.chords[0].MOD, s.chords[0].TL, s.chords[0].KEY, s.chords[1].MOD, s.chords[1].TL,
                            s.chords[1].KEY, s.MOVE_FOCUS, s.MOVE_NEXTFROM, static_cast<UINT>(s.TAB_CLOSE)};
        for (int i = 0; i < 9; ++i) {
            UINT want = GetPrivateProfileIntA("Rollvix", names[i], 0, ini.c_str());
            if (i != 8) want &= 0xFF;
            EXPECT_EQ(got[i], want) << names[i] << " in " << file;
        }
    }
}

TEST(Store, OtherSectionsAreNeitherReadNorTouched) {
    StoreOnCopy store;
    store.Copy().WriteIni("[Top]\r\nMOD0=3\r\n[Rollvix]\r\nTAB_CLOSE=0\r\nNOTE=keep\r\nMOD0=7\r\n[Tail]\r\nX=1\r\n");
    LoadSettings();
    EXPECT_EQ(g_plugin.settings.chords[0].MOD, 7);
    SaveSettings(Sample());
    std::string file = store.Copy().ReadIni();
    EXPECT_EQ(file.find("[Top]\r\nMOD0=3\r\n"), 0u) << file;
    EXPECT_NE(file.find("NOTE=keep"), std::string::npos) << file;
    EXPECT_NE(file.find("[Tail]\r\nX=1"), std::string::npos) << file;
    // An existing file keeps its own order: TAB_CLOSE stays before MOD0.
    EXPECT_LT(file.find("TAB_CLOSE=1"), file.find("MOD0=130")) << file;

    store.Copy().WriteIni("[Other]\r\nMOD0=3\r\nTAB_CLOSE=1\r\n");
    Scribble();
    LoadSettings();
    EXPECT_TRUE(Same(g_plugin.settings, Settings{}));
}

TEST(Store, ARenamedModuleUsesItsOwnIniName) {
    StoreOnCopy store("wheel.dll");
    SaveSettings(Sample());
    EXPECT_EQ(GetFileAttributesA((store.Copy().Folder() + "\\wheel.ini").c_str()) != INVALID_FILE_ATTRIBUTES, true);
    EXPECT_EQ(GetFileAttributesA((store.Copy().Folder() + "\\rollvix.ini").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Store, AnUnwritableFileIsReadBackAsItReallyIs) {
    StoreOnCopy store;
    store.Copy().WriteIni("[Rollvix]\r\nMOD0=4\r\n");
    std::string ini = store.Copy().IniPath();
    // Held open without sharing, as another program locking it would.
    HANDLE lock = CreateFileA(ini.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    SaveSettings(Sample());
    CloseHandle(lock);
    LoadSettings();
    EXPECT_EQ(store.Copy().ReadIni(), "[Rollvix]\r\nMOD0=4\r\n");
    EXPECT_EQ(g_plugin.settings.chords[0].MOD, 4);
    EXPECT_EQ(g_plugin.settings.TAB_CLOSE, 0);
}

TEST(Store, WithoutAModuleFileNameNothingIsReadOrWritten) {
    test::PluginCopy copy;
    g_plugin.hModule = reinterpret_cast<HINSTANCE>(0x7ff00000);  // no such module
    Scribble();
    LoadSettings();
    EXPECT_TRUE(Same(g_plugin.settings, Settings{}));
    SaveSettings(Sample());
    g_plugin.hModule = nullptr;
    EXPECT_EQ(copy.ReadIni(), "");
}

}  // namespace

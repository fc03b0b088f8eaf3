// The INI file beside the module: path, load, save, on real files; and the
// trace switch it holds.
#include <windows.h>

#include <string>
#include <vector>

#include "frame/debug_trace.h"
#include "frame/plugin_state.h"
#include "settings/settings_store.h"
#include "support/settings_driver.h"
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
// key by key (the section is read whole only where the two must agree), the
// trace switch included: on exactly when the reader gives "Trace" nonzero.
struct FileGroup {
    const char* what;
    std::vector<const char*> files;
};
const FileGroup kFileGroups[] = {
    {"plain and hand-written values",
     {
         "[Rollvix]\r\nMOD0=130\r\nTL0=0\r\nKEY0=34\r\nMOD1=5\r\nTL1=1\r\nKEY1=65\r\nTAB_CLOSE=2\r\n",
         "[Rollvix]\r\nmod0=6\r\nKey1=007\r\nmove_focus=1\r\n",
         "[Rollvix]\r\nMOD0=1\r\nMOD0=2\r\n",
         "[Rollvix]\r\n MOD0 = 3 \r\n; note\r\nKEY0=-5\r\nTL0=0x1\r\nKEY1=12abc\r\nOTHER=1\r\n",
         "[Rollvix]\r\nTAB_CLOSE=4294967298\r\nMOD1=\r\nKEY0\r\n",
         "[Rollvix]\r\nMOD0=1\r\n[Other]\r\nKEY0=9\r\n[Rollvix]\r\nKEY0=3\r\n",
         "[Rollvix]\r\nKEY0=010\r\nMOD1=000000009\r\nTL1=0000000001\r\n",
     }},
    // A known key, read with the nine: alone, among them, in any case of its
    // name, and beside values that send the load to the reader.
    {"the trace switch",
     {
         "[Rollvix]\r\nTrace=1\r\n",
         "[Rollvix]\r\nMOD0=130\r\nTL0=0\r\nKEY0=34\r\nMOD1=5\r\nTL1=1\r\nKEY1=65\r\nMOVE_FOCUS=1\r\n"
         "MOVE_NEXTFROM=1\r\nTAB_CLOSE=1\r\nTrace=1\r\n",
         "[Rollvix]\r\ntrace=1\r\nKEY1=65\r\n",
         "[Rollvix]\r\nTrace=1\r\nTrace=0\r\n",
         "[Rollvix]\r\nTrace=0x1\r\nMOD0=2\r\n",
         "[Rollvix]\r\nMOD0=2\r\n[Other]\r\nTrace=1\r\n",
     }},
    // The reader detects a base from a prefix: one such value in a file of
    // plain ones (a second irregular value already sends the whole file to
    // the reader).
    {"one value with a base prefix among plain ones",
     {
         "[Rollvix]\r\nMOD0=2\r\nKEY0=0x41\r\nTL1=1\r\n",
         "[Rollvix]\r\nMOD0=2\r\nKEY0=0b11\r\nTL1=1\r\n",
         "[Rollvix]\r\nMOD0=2\r\nKEY0=0o17\r\nTL1=1\r\n",
         "[Rollvix]\r\nKEY1=3\r\nTAB_CLOSE=0x10\r\n",
         "[Rollvix]\r\nKEY1=3\r\nTrace=0b1\r\n",
     }},
};

TEST(Store, LoadsWhatThePlatformsReaderReadsKeyByKey) {
    StoreOnCopy store;
    const std::string ini = store.Copy().IniPath();
    const char* const names[] = {"MOD0", "TL0", "KEY0", "MOD1", "TL1", "KEY1", "MOVE_FOCUS", "MOVE_NEXTFROM", "TAB_CLOSE"};
    for (const FileGroup& group : kFileGroups) {
        SCOPED_TRACE(group.what);
        for (const char* file : group.files) {
            store.Copy().WriteIni(file);
            Scribble();
            g_traceOn = true;
            LoadSettings();
            const Settings& s = g_plugin.settings;
            const UINT got[] = {s.chords[0].MOD, s.chords[0].TL, s.chords[0].KEY, s.chords[1].MOD, s.chords[1].TL,
                                s.chords[1].KEY, s.MOVE_FOCUS, s.MOVE_NEXTFROM, static_cast<UINT>(s.TAB_CLOSE)};
            for (int i = 0; i < 9; ++i) {
                UINT want = GetPrivateProfileIntA("Rollvix", names[i], 0, ini.c_str());
                if (i != 8) want &= 0xFF;
                EXPECT_EQ(got[i], want) << names[i] << " in " << file;
            }
            EXPECT_EQ(g_traceOn, GetPrivateProfileIntA("Rollvix", "Trace", 0, ini.c_str()) != 0) << file;
        }
    }
    g_traceOn = false;
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
    // Nor is the trace left on.
    g_plugin.hModule = reinterpret_cast<HINSTANCE>(0x7ff00000);
    g_traceOn = true;
    LoadSettings();
    g_plugin.hModule = nullptr;
    EXPECT_FALSE(g_traceOn);
}

// --- The trace switch: with Trace=1 the plug-in writes a line through
// OutputDebugStringA at every message it handles; off by default.
//
// OutputDebugStringA raises DBG_PRINTEXCEPTION_C (0x40010006) with the
// line's length and address, on Windows and in wine's kernelbase alike, and
// handles it itself when no debugger takes it. A vectored handler sees the
// exception before that, in this process: that is how these tests read
// what reached the debug output.

constexpr DWORD kDbgPrintException = 0x40010006;  // DBG_PRINTEXCEPTION_C

// The lines OutputDebugStringA writes, anywhere in the process, while it lives.
class DebugOutput {
public:
    DebugOutput() {
        active_ = this;
        handler_ = AddVectoredExceptionHandler(1, Seen);
        EXPECT_NE(handler_, nullptr);
    }
    ~DebugOutput() {
        if (handler_) RemoveVectoredExceptionHandler(handler_);
        active_ = nullptr;
    }
    DebugOutput(const DebugOutput&) = delete;
    DebugOutput& operator=(const DebugOutput&) = delete;

    const std::vector<std::string>& Lines() const { return lines_; }
    void Clear() { lines_.clear(); }
    // The lines that begin with prefix, all of them on one string for messages.
    std::vector<std::string> LinesStartingWith(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& line : lines_)
            if (line.rfind(prefix, 0) == 0) out.push_back(line);
        return out;
    }
    std::string All() const {
        std::string all;
        for (const std::string& line : lines_) all += "[" + line + "]";
        return all.empty() ? "(nothing)" : all;
    }

private:
    static LONG CALLBACK Seen(EXCEPTION_POINTERS* pointers) {
        const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
        if (active_ && record->ExceptionCode == kDbgPrintException && record->NumberParameters >= 2 &&
            record->ExceptionInformation[1]) {
            // [0] counts the terminating NUL.
            const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
            const size_t size = record->ExceptionInformation[0];
            size_t length = 0;
            while (length + 1 < size && text[length]) ++length;
            active_->lines_.emplace_back(text, length);
        }
        // The platform's own handler goes on as without us.
        return EXCEPTION_CONTINUE_SEARCH;
    }
    static DebugOutput* active_;
    PVOID handler_ = nullptr;
    std::vector<std::string> lines_;
};
DebugOutput* DebugOutput::active_ = nullptr;

// Two messages the hook handles, posted to the host's main window and taken
// by its loop: a left click (passed on: TAB_CLOSE is off, no popup is open)
// and a partial wheel step (gathered, below one notch).
void PostHandledMessages(test::LoadedHost& lh) {
    PostMessageA(lh.Host().Main(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 6));
    PostMessageA(lh.Host().Main(), WM_LBUTTONUP, 0, MAKELPARAM(5, 6));
    PostMessageA(lh.Host().Main(), WM_MOUSEWHEEL, MAKEWPARAM(0, 40), MAKELPARAM(0x20, 0x10));
    test::PumpIdle(&lh.Host(), 30);
}

const char kLButtonLine[] = "WM_LBUTTONDOWN. [1]\n";
const char kWheelLine[] = "WM_MOUSEWHEEL. wp=[0x280000], lp=[0x100020]\n";

// --- The formatter, from the plug-in's code linked into this program. ---

class Formatter : public ::testing::Test {
protected:
    void TearDown() override { g_traceOn = false; }
};

TEST_F(Formatter, ALongLineIsCutAndStillEnds) {
    DebugOutput out;
    g_traceOn = true;
    const std::string longText(1000, 'a');
    DebugTrace("%s", longText.c_str());
    ASSERT_EQ(out.Lines().size(), 1u) << out.All();
    const std::string& line = out.Lines()[0];
    EXPECT_LE(line.size(), static_cast<size_t>(kTraceLineSize - 1));
    EXPECT_GE(line.size(), static_cast<size_t>(kTraceLineSize - 4));
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line.substr(0, line.size() - 1), std::string(line.size() - 1, 'a'));
}

// The formatter need not end a line it cut: the line end goes inside the
// buffer all the same, and nothing past it is read or written.
TEST_F(Formatter, ACutUnterminatedLineIsEndedInsideItsBuffer) {
    for (int formatted : {-1, kTraceLineSize, 4 * kTraceLineSize}) {
        // No NUL in the line's bytes; what follows them must stay as it is.
        std::vector<char> buffer(3 * kTraceLineSize + 2, 'a');
        buffer[3 * kTraceLineSize] = '\0';
        EXPECT_EQ(EndTraceLine(buffer.data(), formatted), kTraceLineSize - 2) << formatted;
        EXPECT_EQ(buffer[kTraceLineSize - 3], '\n');
        EXPECT_EQ(buffer[kTraceLineSize - 2], '\0');
        EXPECT_EQ(std::string(&buffer[kTraceLineSize - 1], &buffer[3 * kTraceLineSize]),
                  std::string(2 * kTraceLineSize + 1, 'a'));
    }
}

// --- The built DLL in the stand-in host. ---

TEST(TraceSwitch, OffWithoutTheKeyOrWithZero) {
    for (const char* ini : {"", "[Rollvix]\r\nMOD0=2\r\n", "[Rollvix]\r\nTrace=0\r\n", "[Other]\r\nTrace=1\r\n"}) {
        SCOPED_TRACE(*ini ? ini : "(no file)");
        DebugOutput out;
        test::LoadedHost lh(host::HostOptions(), ini);
        ASSERT_NE(lh.Module(), nullptr);
        PostHandledMessages(lh);
        EXPECT_TRUE(out.LinesStartingWith("WM_").empty()) << out.All();
    }
}

TEST(TraceSwitch, OnWithTrace1EveryHandledMessageWritesItsLine) {
    DebugOutput out;
    test::LoadedHost lh(host::HostOptions(), "[Rollvix]\r\nMOD0=2\r\nTrace=1\r\n");
    ASSERT_NE(lh.Module(), nullptr);
    out.Clear();
    PostHandledMessages(lh);
    // WM_LBUTTONUP is not one the hook handles: no line.
    const std::vector<std::string> expected = {kLButtonLine, kWheelLine};
    EXPECT_EQ(out.LinesStartingWith("WM_"), expected) << out.All();
}

// The dialog writes the nine keys one by one: a Trace line stays, and the
// reload after OK keeps the trace on. Opening the dialog reloads the file:
// a hand edit then switches it off.
TEST(TraceSwitch, TheDialogsOkKeepsTheLineAndTheTraceAndItsOpeningReloadsIt) {
    DebugOutput out;
    test::LoadedHost lh(host::HostOptions(), "[Rollvix]\r\nTrace=1\r\nMOD0=2\r\nNOTE=kept\r\n");
    ASSERT_NE(lh.Module(), nullptr);

    settings_driver::DialogRun run = settings_driver::OpenSettings(lh, {settings_driver::Ok()});
    ASSERT_NE(run.dialog, nullptr);
    ASSERT_FALSE(run.timedOut);
    const std::string after = lh.Plugin().ReadIni();
    EXPECT_NE(after.find("\r\nTrace=1\r\n"), std::string::npos) << after;
    EXPECT_NE(after.find("\r\nNOTE=kept\r\n"), std::string::npos) << after;
    for (const char* key : {"MOD0=2", "TL0=0", "KEY0=0", "MOD1=0", "TL1=0", "KEY1=0", "MOVE_FOCUS=0",
                            "MOVE_NEXTFROM=0", "TAB_CLOSE=0"})
        EXPECT_NE(after.find(std::string("\r\n") + key + "\r\n"), std::string::npos) << key << " in " << after;
    out.Clear();
    PostHandledMessages(lh);
    EXPECT_EQ(out.LinesStartingWith("WM_LBUTTONDOWN"), std::vector<std::string>{kLButtonLine}) << out.All();

    lh.Plugin().WriteIni("[Rollvix]\r\nTrace=0\r\nMOD0=2\r\n");
    run = settings_driver::OpenSettings(lh, {settings_driver::Cancel()});
    ASSERT_NE(run.dialog, nullptr);
    out.Clear();
    PostHandledMessages(lh);
    EXPECT_TRUE(out.LinesStartingWith("WM_").empty()) << out.All();
}

}  // namespace

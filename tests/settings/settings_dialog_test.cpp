// The settings dialog, opened through the plug-in's command export inside the
// stand-in host and driven from a timer running in the dialog's own modal loop.
#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings_dialog_ids.h"
#include "support/settings_driver.h"
#include "support/test_support.h"

namespace {

using settings_driver::Cancel;
using settings_driver::ChooseKey;
using settings_driver::Click;
using settings_driver::DialogRun;
using settings_driver::Do;
using settings_driver::Ok;
using settings_driver::OpenSettings;
using settings_driver::Step;

// KeyList indices used below.
constexpr int kKeyNone = 0;
constexpr int kKeyA = 1;
constexpr int kKeyPageDown = 55;

// Modifier boxes of each row, Ctrl, Alt, Shift.
constexpr int kUpMods[] = {IDC_UP_CTRL, IDC_UP_ALT, IDC_UP_SHIFT};
constexpr int kDownMods[] = {IDC_DOWN_CTRL, IDC_DOWN_ALT, IDC_DOWN_SHIFT};
constexpr int kAllBoxes[] = {IDC_UP_CTRL,   IDC_UP_ALT,       IDC_UP_SHIFT,     IDC_UP_TABLIST,
                             IDC_DOWN_CTRL, IDC_DOWN_ALT,     IDC_DOWN_SHIFT,   IDC_DOWN_TABLIST,
                             IDC_MOVE_FOCUS, IDC_MOVE_NEXTFROM, IDC_TAB_CLOSE};

// A key event as the thread took it from its queue.
struct KeySeen {
    WPARAM vk;
    bool up;
    bool extended;
    bool operator==(const KeySeen&) const = default;
};
std::vector<KeySeen>* g_keysSeen = nullptr;
HHOOK g_keyboardHook = nullptr;

LRESULT CALLBACK KeyboardHook(int code, WPARAM wParam, LPARAM lParam) {
    // HC_ACTION: the message is being removed, so each event counts once.
    if (code == HC_ACTION && g_keysSeen)
        g_keysSeen->push_back({wParam, (lParam & 0x80000000) != 0, (lParam & 0x01000000) != 0});
    return CallNextHookEx(g_keyboardHook, code, wParam, lParam);
}

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
int Selection(HWND dialog, int combo) {
    return static_cast<int>(SendDlgItemMessageA(dialog, combo, CB_GETCURSEL, 0, 0));
}
std::string ItemText(HWND dialog, int combo, int index) {
    char text[32] = {};
    SendDlgItemMessageA(dialog, combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

// The file's "KEY=value" lines in file order.
std::vector<std::pair<std::string, std::string>> IniEntries(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> entries;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t eq = line.find('=');
        if (eq != std::string::npos) entries.emplace_back(line.substr(0, eq), line.substr(eq + 1));
        pos = end + 1;
    }
    return entries;
}

std::string IniValue(const test::PluginCopy& copy, const std::string& key) {
    for (const auto& [k, v] : IniEntries(copy.ReadIni()))
        if (k == key) return v;
    return "(missing)";
}

// The whole file through a handle of our own.
std::string ReadLocked(HANDLE file) {
    std::string text(4096, '\0');
    DWORD read = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    if (!ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr)) read = 0;
    text.resize(read);
    return text;
}

// The KeyList as the user sees it: text, virtual-key code, extended key.
struct ListedKey {
    std::string text;
    int vk;
    bool extended;
};
std::vector<ListedKey> ExpectedKeyList() {
    std::vector<ListedKey> keys = {{"", 0, false}};
    for (char c = 'A'; c <= 'Z'; ++c) keys.push_back({std::string(1, c), c, false});
    for (char c = '0'; c <= '9'; ++c) keys.push_back({std::string(1, c), c, false});
    for (int n = 1; n <= 12; ++n) keys.push_back({std::string("F").append(std::to_string(n)), VK_F1 + n - 1, false});
    const ListedKey named[] = {{"Insert", 0x2D, true},    {"Delete", 0x2E, true},   {"Back Space", 0x08, false},
                               {"Home", 0x24, true},      {"End", 0x23, true},      {"Page Up", 0x21, true},
                               {"Page Down", 0x22, true}, {"←", 0x25, true},        {"→", 0x27, true},
                               {"↑", 0x26, true},         {"↓", 0x28, true},        {"Enter", 0x0D, false},
                               {"Space", 0x20, false},    {"Tab", 0x09, false},     {"Escape", 0x1B, false}};
    keys.insert(keys.end(), std::begin(named), std::end(named));
    return keys;
}

const char kIniWithTabListUp[] =
    "[Rollvix]\r\nMOD0=7\r\nTL0=1\r\nKEY0=65\r\nMOD1=0\r\nTL1=0\r\nKEY1=0\r\n"
    "MOVE_FOCUS=0\r\nMOVE_NEXTFROM=0\r\nTAB_CLOSE=0\r\n";

TEST(SettingsDialog, WithoutIniShowsEmptyRowsAndOkWritesNineZeros) {
    test::LoadedHost lh;
    ASSERT_NE(lh.Module(), nullptr);
    DialogRun run = OpenSettings(lh, {Do([](HWND dialog) {
                                          for (int id : kAllBoxes) {
                                              EXPECT_FALSE(Checked(dialog, id)) << "box " << id;
                                              EXPECT_TRUE(Enabled(dialog, id)) << "box " << id;
                                          }
                                          for (int combo : {IDC_UP_KEY, IDC_DOWN_KEY}) {
                                              EXPECT_EQ(Selection(dialog, combo), kKeyNone);
                                              EXPECT_EQ(SendDlgItemMessageA(dialog, combo, CB_GETCOUNT, 0, 0), 64);
                                              EXPECT_EQ(ItemText(dialog, combo, kKeyNone), "");
                                              EXPECT_EQ(ItemText(dialog, combo, kKeyA), "A");
                                              EXPECT_EQ(ItemText(dialog, combo, 36), "9");
                                              EXPECT_EQ(ItemText(dialog, combo, 48), "F12");
                                              EXPECT_EQ(ItemText(dialog, combo, 51), "Back Space");
                                              EXPECT_EQ(ItemText(dialog, combo, kKeyPageDown), "Page Down");
                                              EXPECT_EQ(ItemText(dialog, combo, 56), "\x81\xa9");  // "←" in CP932
                                              EXPECT_EQ(ItemText(dialog, combo, 63), "Escape");
                                          }
                                      }),
                                      Ok()});
    EXPECT_EQ(run.owner, lh.Host().Main());
    EXPECT_TRUE(run.ownerDisabled) << "the dialog must be modal to the host's main window";

    const std::vector<std::pair<std::string, std::string>> expected = {
        {"MOD0", "0"}, {"TL0", "0"}, {"KEY0", "0"}, {"MOD1", "0"}, {"TL1", "0"},
        {"KEY1", "0"}, {"MOVE_FOCUS", "0"}, {"MOVE_NEXTFROM", "0"}, {"TAB_CLOSE", "0"}};
    EXPECT_EQ(IniEntries(lh.Plugin().ReadIni()), expected);
    EXPECT_EQ(lh.Plugin().ReadIni().rfind("[Rollvix]", 0), 0u) << lh.Plugin().ReadIni();
}

// Also toggles the other row's TabList box on and off before OK.
TEST(SettingsDialog, TabListRowsDisableOnlyTheirOwnModifiersAndOkKeepsWhatTheyShow) {
    test::LoadedHost lh(host::HostOptions(), kIniWithTabListUp);
    ASSERT_NE(lh.Module(), nullptr);
    OpenSettings(lh, {Do([](HWND dialog) {
                          for (int id : kUpMods) {
                              EXPECT_TRUE(Checked(dialog, id)) << "box " << id;
                              EXPECT_FALSE(Enabled(dialog, id)) << "box " << id;
                          }
                          for (int id : kDownMods) EXPECT_TRUE(Enabled(dialog, id)) << "box " << id;
                          EXPECT_TRUE(Checked(dialog, IDC_UP_TABLIST));
                          EXPECT_TRUE(Enabled(dialog, IDC_UP_TABLIST));
                          EXPECT_TRUE(Enabled(dialog, IDC_UP_KEY));
                          EXPECT_EQ(Selection(dialog, IDC_UP_KEY), kKeyA);
                      }),
                      Click(IDC_DOWN_TABLIST), Do([](HWND dialog) {
                          for (int id : kDownMods) EXPECT_FALSE(Enabled(dialog, id)) << "box " << id;
                          EXPECT_TRUE(Enabled(dialog, IDC_DOWN_KEY));
                      }),
                      Click(IDC_DOWN_TABLIST), Do([](HWND dialog) {
                          for (int id : kDownMods) EXPECT_TRUE(Enabled(dialog, id)) << "box " << id;
                          for (int id : kUpMods) EXPECT_FALSE(Enabled(dialog, id)) << "box " << id;
                      }),
                      Ok()});
    EXPECT_EQ(IniValue(lh.Plugin(), "MOD0"), "7");
    EXPECT_EQ(IniValue(lh.Plugin(), "TL0"), "1");
    EXPECT_EQ(IniValue(lh.Plugin(), "KEY0"), "65");
    EXPECT_EQ(IniValue(lh.Plugin(), "TL1"), "0");
}

TEST(SettingsDialog, ApplyWritesCtrlPageDownAndTheHookTypesItWhileTheDialogStaysOpen) {
    test::LoadedHost lh;
    ASSERT_NE(lh.Module(), nullptr);
    test::PluginCopy& plugin = lh.Plugin();
    std::vector<KeySeen> keys;
    const KeySeen pageDown = {VK_NEXT, false, true};
    const KeySeen ctrlUp = {VK_CONTROL, true, false};
    OpenSettings(lh, {Click(IDC_UP_CTRL), ChooseKey(IDC_UP_KEY, kKeyPageDown), Click(IDC_APPLY),
                      Do([&plugin](HWND dialog) {
                          EXPECT_EQ(IniValue(plugin, "MOD0"), "130");
                          EXPECT_EQ(IniValue(plugin, "TL0"), "0");
                          EXPECT_EQ(IniValue(plugin, "KEY0"), "34");
                          EXPECT_TRUE(IsWindowVisible(dialog));
                          EXPECT_TRUE(Checked(dialog, IDC_UP_CTRL));
                          EXPECT_EQ(Selection(dialog, IDC_UP_KEY), kKeyPageDown);
                      }),
                      // Right button held over the dialog, wheel turned up: the
                      // hook must already type the chord just applied.
                      Do([&keys](HWND dialog) {
                          g_keysSeen = &keys;
                          g_keyboardHook = SetWindowsHookExA(WH_KEYBOARD, KeyboardHook, nullptr, GetCurrentThreadId());
                          test::MoveCursorToWindow(dialog, 2, 2);
                          test::RightDown();
                          test::Wheel(WHEEL_DELTA);
                      }),
                      // The button stays down until the whole chord has come through.
                      [&keys, ctrlUp](HWND) {
                          for (const KeySeen& k : keys)
                              if (k == ctrlUp) return true;
                          return false;
                      },
                      Do([](HWND) { test::RightUp(); }), Cancel()});
    if (g_keyboardHook) UnhookWindowsHookEx(g_keyboardHook);
    g_keyboardHook = nullptr;
    g_keysSeen = nullptr;
    const std::vector<KeySeen> chord = {
        {VK_CONTROL, false, false}, pageDown, {VK_NEXT, true, true}, ctrlUp};
    EXPECT_EQ(keys, chord);
    // Cancel after Apply takes nothing back.
    EXPECT_EQ(IniValue(plugin, "MOD0"), "130");
    EXPECT_EQ(IniValue(plugin, "KEY0"), "34");
}

TEST(SettingsDialog, OkWritesAltShiftAAndTheSwitches) {
    test::LoadedHost lh;
    ASSERT_NE(lh.Module(), nullptr);
    OpenSettings(lh, {Click(IDC_DOWN_ALT), Click(IDC_DOWN_SHIFT), ChooseKey(IDC_DOWN_KEY, kKeyA),
                      Click(IDC_MOVE_FOCUS), Click(IDC_TAB_CLOSE), Ok()});
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"MOD0", "0"}, {"TL0", "0"}, {"KEY0", "0"}, {"MOD1", "5"}, {"TL1", "0"},
        {"KEY1", "65"}, {"MOVE_FOCUS", "1"}, {"MOVE_NEXTFROM", "0"}, {"TAB_CLOSE", "1"}};
    EXPECT_EQ(IniEntries(lh.Plugin().ReadIni()), expected);
}

TEST(SettingsDialog, EmptyKeyDropsTheExtendedBitAndMeaninglessBitsAreNotKept) {
    // MOD0 300 loads as 0x2C: Shift plus two bits that mean nothing.
    test::LoadedHost lh(host::HostOptions(),
                        "[Rollvix]\r\nMOD0=300\r\nKEY0=0\r\nMOD1=130\r\nKEY1=34\r\nTAB_CLOSE=2\r\n");
    ASSERT_NE(lh.Module(), nullptr);
    OpenSettings(lh, {Do([](HWND dialog) {
                          EXPECT_TRUE(Checked(dialog, IDC_UP_SHIFT));
                          EXPECT_FALSE(Checked(dialog, IDC_UP_CTRL));
                          EXPECT_FALSE(Checked(dialog, IDC_UP_ALT));
                          EXPECT_TRUE(Checked(dialog, IDC_DOWN_CTRL));
                          EXPECT_EQ(Selection(dialog, IDC_DOWN_KEY), kKeyPageDown);
                          EXPECT_TRUE(Checked(dialog, IDC_TAB_CLOSE));
                      }),
                      ChooseKey(IDC_DOWN_KEY, kKeyNone), Ok()});
    EXPECT_EQ(IniValue(lh.Plugin(), "MOD0"), "4");
    EXPECT_EQ(IniValue(lh.Plugin(), "MOD1"), "2");
    EXPECT_EQ(IniValue(lh.Plugin(), "KEY1"), "0");
    EXPECT_EQ(IniValue(lh.Plugin(), "TAB_CLOSE"), "1");
}

// Each key's code goes from the file to its item and back to the file,
// the up row taking the list from the top, the down row from the bottom.
TEST(SettingsDialog, EveryKeyRoundTripsFromTheFileThroughTheListBackToTheFile) {
    const std::vector<ListedKey> keys = ExpectedKeyList();
    ASSERT_EQ(keys.size(), 64u);
    test::LoadedHost lh;
    ASSERT_NE(lh.Module(), nullptr);
    for (int i = 0; i < 32; ++i) {
        const ListedKey& up = keys[i];
        const ListedKey& down = keys[63 - i];
        lh.Plugin().WriteIni("[Rollvix]\r\nKEY0=" + std::to_string(up.vk) + "\r\nKEY1=" + std::to_string(down.vk) +
                             "\r\n");
        OpenSettings(lh, {Do([&](HWND dialog) {
                              EXPECT_EQ(Selection(dialog, IDC_UP_KEY), i) << up.text;
                              EXPECT_EQ(ItemText(dialog, IDC_UP_KEY, i), up.text);
                              EXPECT_EQ(Selection(dialog, IDC_DOWN_KEY), 63 - i) << down.text;
                              EXPECT_EQ(ItemText(dialog, IDC_DOWN_KEY, 63 - i), down.text);
                          }),
                          Ok()});
        EXPECT_EQ(IniValue(lh.Plugin(), "KEY0"), std::to_string(up.vk)) << up.text;
        EXPECT_EQ(IniValue(lh.Plugin(), "MOD0"), up.extended ? "128" : "0") << up.text;
        EXPECT_EQ(IniValue(lh.Plugin(), "KEY1"), std::to_string(down.vk)) << down.text;
        EXPECT_EQ(IniValue(lh.Plugin(), "MOD1"), down.extended ? "128" : "0") << down.text;
    }
}

// Every label shows whole in its control, whatever the screen's DPI (this
// program also runs in a prefix at 144 DPI) and whatever awareness the host
// declares: a host the system scales shows the dialog at 96 DPI.
TEST(SettingsDialog, EveryLabelFitsItsControl) {
    for (const host::DpiAwareness awareness : {host::DpiAwareness::Unaware, host::DpiAwareness::System,
                                               host::DpiAwareness::PerMonitor}) {
        if (!test::CanRunHostDeclaring(awareness)) continue;
        SCOPED_TRACE(host::DpiAwarenessName(awareness));
        host::HostOptions declaring;
        declaring.awareness = awareness;
        test::LoadedHost lh(declaring);
        ASSERT_NE(lh.Module(), nullptr);
        const int singleLine[] = {IDC_LABEL_UP, IDC_LABEL_DOWN, IDC_HEAD_CTRL, IDC_HEAD_ALT,     IDC_HEAD_SHIFT,
                                  IDC_HEAD_KEY, IDC_HEAD_TABLIST, IDC_CHORD_FRAME, IDC_SWITCH_FRAME, IDOK,
                                  IDCANCEL,     IDC_APPLY};
        const int multiLine[] = {IDC_MOVE_FOCUS, IDC_MOVE_NEXTFROM, IDC_TAB_CLOSE};
        OpenSettings(lh, {Do([&](HWND dialog) {
                              auto measure = [](HWND control, int width, UINT format) {
                                  char text[128] = {};
                                  GetWindowTextA(control, text, sizeof text);
                                  HDC dc = GetDC(control);
                                  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0));
                                  HGDIOBJ old = SelectObject(dc, font);
                                  RECT r = {0, 0, width, 0};
                                  DrawTextA(dc, text, -1, &r, format | DT_CALCRECT | DT_NOPREFIX);
                                  SelectObject(dc, old);
                                  ReleaseDC(control, dc);
                                  return r;
                              };
                              for (int id : singleLine) {
                                  HWND control = GetDlgItem(dialog, id);
                                  RECT client, text = measure(control, 0, DT_SINGLELINE);
                                  GetClientRect(control, &client);
                                  EXPECT_LE(text.right, client.right) << "control " << id;
                              }
                              // Check boxes wrap their text beside the box.
                              const int box = GetSystemMetrics(SM_CXMENUCHECK) + 4;
                              for (int id : multiLine) {
                                  HWND control = GetDlgItem(dialog, id);
                                  RECT client;
                                  GetClientRect(control, &client);
                                  RECT text = measure(control, client.right - box, DT_WORDBREAK);
                                  EXPECT_LE(text.bottom, client.bottom) << "control " << id;
                              }
                          }),
                          Cancel()});
    }
}

TEST(SettingsDialog, CancelWritesNothing) {
    const std::string handEdited = "; kept by hand\r\n[Rollvix]\r\nKEY1=9\r\nMOD0=1\r\n[Other]\r\nX=1\r\n";
    test::LoadedHost lh(host::HostOptions(), handEdited);
    ASSERT_NE(lh.Module(), nullptr);
    OpenSettings(lh, {Click(IDC_UP_CTRL), Click(IDC_DOWN_TABLIST), ChooseKey(IDC_UP_KEY, kKeyA), Cancel()});
    EXPECT_EQ(lh.Plugin().ReadIni(), handEdited);
}

// Deliberate: a code outside the KeyList that the user did not replace is
// written back with its extended bit, not dropped.
TEST(SettingsDialog, CodeOutsideTheKeyListShowsNoSelectionAndIsKept) {
    test::LoadedHost lh(host::HostOptions(), "[Rollvix]\r\nMOD0=132\r\nKEY0=200\r\nMOD1=0\r\nKEY1=201\r\n");
    ASSERT_NE(lh.Module(), nullptr);
    OpenSettings(lh, {Do([](HWND dialog) {
                          EXPECT_EQ(Selection(dialog, IDC_UP_KEY), CB_ERR);
                          EXPECT_EQ(Selection(dialog, IDC_DOWN_KEY), CB_ERR);
                          EXPECT_TRUE(Checked(dialog, IDC_UP_SHIFT));
                      }),
                      Click(IDC_UP_CTRL), ChooseKey(IDC_DOWN_KEY, kKeyA), Ok()});
    EXPECT_EQ(IniValue(lh.Plugin(), "MOD0"), "134");  // 0x80 | Shift | Ctrl
    EXPECT_EQ(IniValue(lh.Plugin(), "KEY0"), "200");
    EXPECT_EQ(IniValue(lh.Plugin(), "MOD1"), "0");
    EXPECT_EQ(IniValue(lh.Plugin(), "KEY1"), "65");
}

TEST(SettingsDialog, UnwritableIniLeavesFileAndRecordAsTheyWere) {
    const std::string original =
        "[Rollvix]\r\nMOD0=2\r\nTL0=0\r\nKEY0=65\r\nMOD1=0\r\nTL1=0\r\nKEY1=0\r\n"
        "MOVE_FOCUS=0\r\nMOVE_NEXTFROM=1\r\nTAB_CLOSE=0\r\n";
    test::LoadedHost lh(host::HostOptions(), original);
    ASSERT_NE(lh.Module(), nullptr);
    test::WriteLock lock(lh.Plugin().IniPath());
    ASSERT_TRUE(lock.Held());
    OpenSettings(lh, {Click(IDC_UP_CTRL), Click(IDC_MOVE_FOCUS), Click(IDC_MOVE_NEXTFROM),
                      ChooseKey(IDC_UP_KEY, kKeyPageDown), Ok()});
    EXPECT_EQ(ReadLocked(lock.Handle()), original);
    // The next opening shows the record as reloaded, which must be the file.
    OpenSettings(lh, {Do([](HWND dialog) {
                          EXPECT_TRUE(Checked(dialog, IDC_UP_CTRL));
                          EXPECT_EQ(Selection(dialog, IDC_UP_KEY), kKeyA);
                          EXPECT_FALSE(Checked(dialog, IDC_MOVE_FOCUS));
                          EXPECT_TRUE(Checked(dialog, IDC_MOVE_NEXTFROM));
                      }),
                      Cancel()});
}

}  // namespace

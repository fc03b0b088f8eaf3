// Loading into the stand-in host, the information record, menus and unload.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "support/test_support.h"

namespace {

std::string WindowText(HWND hwnd) {
    char buf[128] = {};
    GetWindowTextA(hwnd, buf, sizeof buf);
    return buf;
}

int CountCalls(host::StandInHost& h, const std::string& name) {
    int n = 0;
    for (const host::ServiceCall& c : h.Calls()) n += c.name == name;
    return n;
}

HMODULE LoadInto(host::StandInHost& h, test::PluginCopy& copy) { return h.LoadPlugin(copy.DllPath()); }

TEST(Load, MarksToolbarAndTabControlAndKeepsTheHostWorking) {
    test::LoadedHost lh;
    host::StandInHost& h = lh.Host();
    ASSERT_NE(lh.Module(), nullptr);
    EXPECT_EQ(WindowText(h.Toolbar()), "RollvixTarget");
    EXPECT_EQ(WindowText(h.Tab()), "RollvixTarget");
    EXPECT_EQ(CountCalls(h, "QMA_GetStaticWindows"), 1);
    EXPECT_TRUE(h.Faults().empty()) << h.Faults().front();
}

TEST(Load, FailsWithoutToolbarOrTabControl) {
    {
        host::HostOptions o;
        o.toolbar = false;
        host::StandInHost h(o);
        test::PluginCopy copy;
        EXPECT_EQ(LoadInto(h, copy), nullptr);
    }
    {
        host::HostOptions o;
        o.tabControl = false;
        host::StandInHost h(o);
        std::string before = WindowText(h.Toolbar());
        test::PluginCopy copy;
        EXPECT_EQ(LoadInto(h, copy), nullptr);
        // Marking comes after the check: a failed load leaves the toolbar alone.
        EXPECT_EQ(WindowText(h.Toolbar()), before);
    }
}

TEST(Load, SucceedsWithoutMdiClientOrStatusBar) {
    host::HostOptions o;
    o.mdiClient = false;
    o.statusBar = false;
    o.children.clear();
    test::LoadedHost lh(o, "[Rollvix]\r\nMOD0=2\r\nKEY0=124\r\n");
    EXPECT_NE(lh.Module(), nullptr);
    EXPECT_EQ(WindowText(lh.Host().Tab()), "RollvixTarget");
    // Its gestures work all the same: a click replayed, a chord on its accelerator.
    host::StandInHost& h = lh.Host();
    POINT at = {200, 300};
    ClientToScreen(h.Main(), &at);
    test::MoveCursorTo(at.x, at.y);
    ScreenToClient(WindowFromPoint(at), &at);
    test::PumpIdle(&h);
    h.ClearReceived();
    for (bool chord : {false, true}) {
        test::RightDown();
        test::PumpIdle(&h);
        EXPECT_EQ(GetCapture(), h.Main()) << "the main window keeps the mouse for the press";
        if (chord) test::Wheel(test::kNotch);
        test::RightUp();
        test::PumpIdle(&h);
    }
    ExpectMouseReceived(h, "a click, then a chord", {{WM_RBUTTONDOWN, MK_RBUTTON, test::Point(at.x, at.y)}});
    EXPECT_EQ(test::AddressBookChoices(h), 1);
}

// The stand-in host running as a program of its own.
class ForeignHost {
public:
    ForeignHost() {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        std::string exe = test::BesideProgram("foreign_host.exe");
        if (!CreateProcessA(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &process_)) {
            ADD_FAILURE() << "cannot start " << exe;
            return;
        }
        test::PumpUntil(nullptr, [this] {
            main_ = FindWindowA("StandInHostFrame", "ForeignHost");
            return main_ != nullptr;
        });
    }
    ~ForeignHost() {
        if (main_) PostMessageA(main_, WM_CLOSE, 0, 0);
        if (!process_.hProcess) return;
        if (WaitForSingleObject(process_.hProcess, test::kDefaultTimeoutMs) != WAIT_OBJECT_0)
            TerminateProcess(process_.hProcess, 1);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    ForeignHost(const ForeignHost&) = delete;
    ForeignHost& operator=(const ForeignHost&) = delete;
    HWND Main() const { return main_; }

private:
    PROCESS_INFORMATION process_ = {};
    HWND main_ = nullptr;
};

TEST(Load, RefusesAMainWindowThatIsNoneOrNotThisProcesss) {
    HWND stale = CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    DestroyWindow(stale);
    ForeignHost foreign;
    ASSERT_NE(foreign.Main(), nullptr);
    const HWND foreignToolbar = FindWindowExA(foreign.Main(), nullptr, "ToolbarWindow32", nullptr);
    ASSERT_NE(foreignToolbar, nullptr);
    const struct {
        const char* what;
        HWND slot;
    } mains[] = {{"none", nullptr}, {"stale", stale}, {"another program's", foreign.Main()}};
    for (const auto& m : mains) {
        host::HostOptions o;
        o.replaceMainSlot = true;
        o.mainSlot = m.slot;
        host::StandInHost h(o);
        test::PluginCopy copy;
        EXPECT_EQ(LoadInto(h, copy), nullptr) << m.what;
        EXPECT_EQ(WindowText(h.Toolbar()), "") << m.what;
    }
    // Nothing of the other program was marked (nor hooked).
    EXPECT_EQ(WindowText(foreignToolbar), "");
}

TEST(PluginInfo, WritesEveryFieldAtItsOffset) {
    test::LoadedHost lh;
    std::vector<BYTE> record;
    ASSERT_EQ(lh.Host().RequestPluginInfo(lh.Module(), record, 32 * 1024), 1);
    ASSERT_GE(record.size(), 21385u);
    INT32 head;
    std::memcpy(&head, record.data(), sizeof head);
    EXPECT_EQ(head, 10);
    auto text = [&](size_t offset) { return std::string(reinterpret_cast<const char*>(record.data() + offset)); };
    EXPECT_EQ(text(4), "Rollvix");
    EXPECT_EQ(text(104), "Ver." ROLLVIX_VERSION);
    // "Mar 20 2009": month abbreviation, day without padding, year.
    std::string date = text(204);
    char month[4] = {};
    int day = 0, year = 0, used = 0;
    ASSERT_EQ(std::sscanf(date.c_str(), "%3s %d %d%n", month, &day, &year, &used), 3) << date;
    EXPECT_EQ(used, static_cast<int>(date.size())) << date;
    EXPECT_EQ(date.find("  "), std::string::npos) << date;
    EXPECT_TRUE(day >= 1 && day <= 31 && year >= 2020) << date;
    EXPECT_FALSE(text(304).empty());
    EXPECT_NE(text(404).find('@'), std::string::npos);
    EXPECT_FALSE(text(504).empty());
    std::string description = text(604);
    EXPECT_EQ(description.substr(0, description.find("\r\n")), "マウスホイール機能拡張");
    EXPECT_NE(description.find("\r\n"), std::string::npos);
    for (size_t offset : {10844u, 10944u, 21184u, 21284u, 21384u}) EXPECT_EQ(record[offset], 0) << offset;
    // Every field stays inside its 100-byte slot.
    for (size_t offset : {4u, 104u, 204u, 304u, 404u, 504u}) EXPECT_LT(text(offset).size(), 100u);
}

TEST(PluginInfo, KindIsNotRead) {
    test::LoadedHost lh;
    auto onEvent = lh.OnHandleEvent();
    ASSERT_NE(onEvent, nullptr);
    std::vector<BYTE> record(32 * 1024, 0xCC);
    EXPECT_EQ(onEvent(0, 1000, 7, reinterpret_cast<LPARAM>(record.data())), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(record.data() + 4)), "Rollvix");
    // A null record is refused quietly instead of crashing the host.
    EXPECT_EQ(onEvent(0, 1000, 0, 0), 1);
}

std::string MenuText(HMENU menu, int pos) {
    char buf[128] = {};
    GetMenuStringA(menu, pos, buf, sizeof buf, MF_BYPOSITION);
    return buf;
}

TEST(Menu, ToolsAndContextMenusGetTheSettingsItem) {
    test::LoadedHost lh;
    host::StandInHost& h = lh.Host();
    for (int kind : {3, 7}) {
        h.ClearCalls();
        HMENU menu = h.OfferMenu(kind);
        int n = GetMenuItemCount(menu);
        ASSERT_GE(n, 1);
        EXPECT_EQ(MenuText(menu, n - 1), "Rollvix の設定") << "kind " << kind;
        EXPECT_EQ(CountCalls(h, "QMA_GetTempID"), 1);
        DestroyMenu(menu);
    }
}

TEST(Menu, OtherKindsAndEventsAreIgnored) {
    test::LoadedHost lh;
    auto onEvent = lh.OnHandleEvent();
    HMENU menu = CreatePopupMenu();
    lh.Host().ClearCalls();
    EXPECT_EQ(onEvent(0, 1001, 5, reinterpret_cast<LPARAM>(menu)), 0);
    EXPECT_EQ(onEvent(0, 1002, 3, reinterpret_cast<LPARAM>(menu)), 0);
    EXPECT_EQ(GetMenuItemCount(menu), 0);
    EXPECT_EQ(CountCalls(lh.Host(), "QMA_GetTempID"), 0);
    DestroyMenu(menu);
}

TEST(Menu, EachOfferAppendsOneMoreItemWithItsOwnIdentifier) {
    test::LoadedHost lh;
    auto onEvent = lh.OnHandleEvent();
    HMENU menu = CreatePopupMenu();
    lh.Host().ClearCalls();
    EXPECT_EQ(onEvent(0, 1001, 3, reinterpret_cast<LPARAM>(menu)), 1);
    EXPECT_EQ(onEvent(0, 1001, 3, reinterpret_cast<LPARAM>(menu)), 1);
    ASSERT_EQ(GetMenuItemCount(menu), 2);
    EXPECT_EQ(MenuText(menu, 0), MenuText(menu, 1));
    EXPECT_EQ(CountCalls(lh.Host(), "QMA_GetTempID"), 2);
    DestroyMenu(menu);
}

TEST(Command, OnlyTheLocalSettingsNumberIsActedOn) {
    test::LoadedHost lh;
    auto onCmd = lh.OnCmdProc();
    ASSERT_NE(onCmd, nullptr);
    // Any other number, including an identifier the host handed out, does nothing
    // (no dialog appears, so the call returns at once).
    HMENU menu = lh.Host().OfferMenu(3);
    UINT id = GetMenuItemID(menu, GetMenuItemCount(menu) - 1);
    DestroyMenu(menu);
    if (id != 35000) onCmd(0, static_cast<int>(id));
    onCmd(0, 1);
    EXPECT_TRUE(IsWindowEnabled(lh.Host().Main()));
}

TEST(Unload, LeavesTheHostsOwnCaptureAndRemovesTheHook) {
    test::LoadedHost lh;
    host::StandInHost& h = lh.Host();
    // While loaded, the hook swallows the private message as it leaves the queue.
    PostMessageA(h.Main(), test::kWmuSelectTab, 2, 0);
    MSG seen = {};
    ASSERT_TRUE(PeekMessageA(&seen, h.Main(), test::kWmuSelectTab, test::kWmuSelectTab, PM_REMOVE));
    EXPECT_EQ(seen.message, static_cast<UINT>(WM_NULL));
    SetCapture(h.Toolbar());
    lh.Unload();
    EXPECT_EQ(GetCapture(), h.Toolbar());
    // Without the hook, a private WMU_SELECTTAB reaches the host unchanged.
    PostMessageA(h.Main(), test::kWmuSelectTab, 1, 0);
    MSG msg = {};
    ASSERT_TRUE(PeekMessageA(&msg, h.Main(), test::kWmuSelectTab, test::kWmuSelectTab, PM_REMOVE));
    EXPECT_EQ(msg.message, test::kWmuSelectTab);
}

}  // namespace

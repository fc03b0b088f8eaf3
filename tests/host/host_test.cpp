// The stand-in host itself: the behaviour other tests take for granted.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "support/test_support.h"

namespace {

using host::StandInHost;

template <typename Fn>
Fn Service(const char* name) {
    return test::ExportOf<Fn>(GetModuleHandleA(nullptr), name);
}

std::vector<host::MailMessage> ThreeMessages() {
    std::vector<host::MailMessage> m(3);
    m[0].text = "From: a@example.jp\r\nSubject: one\r\n\r\nfirst\r\n";
    m[1].text = "From: b@example.jp\r\nSubject: two\r\n\r\nsecond\r\n";
    m[2].unreadable = true;
    m[2].subject = "lost";
    return m;
}

TEST(StandInHost, TabsAndChildrenFollowEachOther) {
    StandInHost host;
    ASSERT_EQ(host.TabCount(), host.ChildCount());
    ASSERT_EQ(host.ActiveChild(), host.Child(0));
    EXPECT_EQ(host.CurrentTab(), 0);

    // Choosing a tab as the plug-in does activates its child.
    SendMessageA(host.Tab(), TCM_SETCURFOCUS, 2, 0);
    EXPECT_EQ(host.ActiveChild(), host.Child(2));
    EXPECT_EQ(host.CurrentTab(), 2);

    // Activation by the MDI client selects the tab.
    SendMessageA(host.MdiClient(), WM_MDIACTIVATE, reinterpret_cast<WPARAM>(host.Child(1)), 0);
    EXPECT_EQ(host.CurrentTab(), 1);
    // The MDI client's next and previous child are those of the tab bar.
    SendMessageA(host.MdiClient(), WM_MDINEXT, reinterpret_cast<WPARAM>(host.Child(1)), 0);
    EXPECT_EQ(host.ActiveChild(), host.Child(2));
    EXPECT_EQ(host.CurrentTab(), 2);
    SendMessageA(host.MdiClient(), WM_MDINEXT, reinterpret_cast<WPARAM>(host.Child(2)), 1);
    SendMessageA(host.MdiClient(), WM_MDINEXT, reinterpret_cast<WPARAM>(host.Child(1)), 1);
    EXPECT_EQ(host.ActiveChild(), host.Child(0));
    SendMessageA(host.MdiClient(), WM_MDINEXT, reinterpret_cast<WPARAM>(host.Child(0)), 1);
    EXPECT_EQ(host.ActiveChild(), host.Child(3));
    EXPECT_EQ(host.CurrentTab(), 3);

    // Destroying a child removes its tab; the later tabs move up.
    HWND third = host.Child(2);
    std::string thirdText = host.TabText(2);
    host.ActivateChild(1);
    SendMessageA(host.MdiClient(), WM_MDIDESTROY, reinterpret_cast<WPARAM>(host.Child(1)), 0);
    ASSERT_EQ(host.TabCount(), 3);
    ASSERT_EQ(host.ChildCount(), 3);
    EXPECT_EQ(host.Child(1), third);
    EXPECT_EQ(host.TabText(1), thirdText);
    // The destroyed child was active: the tab of its successor is selected.
    ASSERT_NE(host.ActiveChild(), nullptr);
    EXPECT_EQ(host.CurrentTab(), host.IndexOfChild(host.ActiveChild()));

    SendMessageA(host.Tab(), TCM_SETCURFOCUS, 2, 0);
    EXPECT_EQ(host.ActiveChild(), host.Child(2));
}

TEST(StandInHost, TabItemsAnswerAsConfigured) {
    host::HostOptions options;
    options.tabAnswerLimit = 2;
    StandInHost host(options);
    std::vector<host::ChildSetup> setups = host::DefaultChildren();
    char text[256];
    TCITEMA item = {};
    item.mask = TCIF_TEXT | TCIF_IMAGE;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(SendMessageA(host.Tab(), TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item))) << i;
        EXPECT_EQ(std::string(item.pszText), setups[i].tabText);
        EXPECT_EQ(item.iImage, setups[i].tabImage ? 0 : -1);
    }
    EXPECT_EQ(SendMessageA(host.Tab(), TCM_GETITEMA, 2, reinterpret_cast<LPARAM>(&item)), 0);
    EXPECT_EQ(host.TabText(3), setups[3].tabText);
}

TEST(StandInHost, MessagePathIsThatOfTheFocusedSelectedItem) {
    host::HostOptions options;
    options.messages = ThreeMessages();
    StandInHost host(options);
    auto nextPath = Service<int(__cdecl*)(int, char*, int)>("QMA_GetNextMessagePath");
    ASSERT_NE(nextPath, nullptr);
    char path[261];

    host.SelectItem(1);
    std::fill(path, path + sizeof path, 0);
    nextPath(-1, path, 1);
    EXPECT_EQ(std::string(path), host.MessagePath(1));

    // Selected without the focus does not count; the answer follows each change.
    host.SetItemState(-1, 0, LVIS_FOCUSED | LVIS_SELECTED);
    host.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    host.SetItemState(2, LVIS_FOCUSED, LVIS_FOCUSED);
    std::fill(path, path + sizeof path, 0);
    nextPath(-1, path, 1);
    EXPECT_EQ(std::string(path), "");
    host.SetItemState(0, LVIS_FOCUSED, LVIS_FOCUSED);
    nextPath(-1, path, 1);
    EXPECT_EQ(std::string(path), host.MessagePath(0));

    // The view shows the message chosen last.
    host.SelectItem(1);
    char shown[64] = {};
    GetWindowTextA(host.View(), shown, sizeof shown);
    EXPECT_NE(std::string(shown).find("second"), std::string::npos);
    EXPECT_TRUE(host.Faults().empty());
}

TEST(StandInHost, OutstandingTextsAreCounted) {
    host::HostOptions options;
    options.messages = ThreeMessages();
    StandInHost host(options);
    auto getMessage = Service<const char*(__cdecl*)(const char*)>("QMA_GetMessage");
    auto release = Service<int(__cdecl*)()>("QMA_ReleaseQuilmBuffer");
    ASSERT_NE(getMessage, nullptr);
    ASSERT_NE(release, nullptr);

    const char* text = getMessage(host.MessagePath(0).c_str());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), options.messages[0].text);
    EXPECT_EQ(host.OutstandingTexts(), 1);
    EXPECT_TRUE(host.Faults().empty());

    EXPECT_NE(getMessage(host.MessagePath(1).c_str()), nullptr);
    EXPECT_EQ(host.OutstandingTexts(), 2);
    EXPECT_EQ(host.Faults().size(), 1u);

    release();
    release();
    EXPECT_EQ(host.OutstandingTexts(), 0);
    EXPECT_EQ(host.Faults().size(), 1u);
    release();
    EXPECT_EQ(host.Faults().size(), 2u);

    // An unreadable message gives no text and nothing to release.
    EXPECT_EQ(getMessage(host.MessagePath(2).c_str()), nullptr);
    EXPECT_EQ(host.OutstandingTexts(), 0);
    ASSERT_FALSE(host.Calls().empty());
    EXPECT_EQ(host.Calls().back().name, "QMA_GetMessage");

    Service<int(__cdecl*)()>("QMA_RunMacro")();
    EXPECT_EQ(host.Faults().size(), 3u);
}

TEST(StandInHost, RecordsInputAndRedrawSwitches) {
    StandInHost host;
    host.ClearWindowEvents();
    for (HWND w = host.View(); w; w = GetWindow(w, GW_HWNDNEXT)) SendMessageA(w, WM_SETREDRAW, FALSE, 0);
    SendMessageA(host.List(), WM_SETREDRAW, FALSE, 0);
    std::vector<HWND> frozen;
    for (const auto& e : host.WindowEvents())
        if (e.message == WM_SETREDRAW && e.wParam == FALSE) frozen.push_back(e.hwnd);
    EXPECT_GE(frozen.size(), 4u);  // the view, two later siblings, the list
    EXPECT_EQ(frozen.back(), host.List());
    for (HWND w = host.View(); w; w = GetWindow(w, GW_HWNDNEXT)) SendMessageA(w, WM_SETREDRAW, TRUE, 0);
    SendMessageA(host.List(), WM_SETREDRAW, TRUE, 0);

    test::PumpIdle(&host);
    host.ClearReceived();
    PostMessageA(host.List(), WM_MOUSEMOVE, 0, test::Point(5, 5));
    PostMessageA(host.List(), WM_NULL, 0, 0);
    PostMessageA(host.List(), WM_LBUTTONDOWN, MK_LBUTTON, test::Point(5, 5));
    PostMessageA(host.List(), WM_LBUTTONUP, 0, test::Point(5, 5));
    test::PumpIdle(&host);
    ExpectReceived(host, {{WM_LBUTTONDOWN, MK_LBUTTON, test::Point(5, 5)}, {WM_LBUTTONUP, 0, test::Point(5, 5)}});
}

TEST(StandInHost, ToolsMenuIsExtendedAnewEachTimeItOpens) {
    test::LoadedHost loaded;
    StandInHost& host = loaded.Host();
    HMENU tools = host.ToolsMenu();
    int own = GetMenuItemCount(tools);
    SendMessageA(host.Main(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(tools), 1);
    SendMessageA(host.Main(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(tools), 1);
    EXPECT_EQ(GetMenuItemCount(tools), own + 1);
}

DWORD RunProgram(const std::string& exe, const std::string& argument) {
    std::string command = "\"" + exe + "\" \"" + argument + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    // Our own output handles and no console of its own: a console would be
    // a helper process that outlives the child and keeps the output open.
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr, &si,
                        &pi)) {
        ADD_FAILURE() << "cannot start " << exe;
        return 99;
    }
    DWORD code = 98;
    if (WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    else TerminateProcess(pi.hProcess, 97);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

TEST(StandInHost, PluginRefusesHostsThatLackAService) {
    test::PluginCopy plugin;
    // The same copy loads into a complete host, so a refusal below is the
    // missing service's doing.
    {
        StandInHost host;
        HMODULE module = host.LoadPlugin(plugin.DllPath());
        ASSERT_NE(module, nullptr);
        host.UnloadPlugin(module);
    }
    EXPECT_EQ(RunProgram(test::BesideProgram("missing_export_last.exe"), plugin.DllPath()), 0u);
    EXPECT_EQ(RunProgram(test::BesideProgram("missing_export_middle.exe"), plugin.DllPath()), 0u);
}

}  // namespace

// The stand-in host's window tree in its variants, its message list columns
// and the routing of menu commands to the module that asked for them.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "support/test_support.h"

namespace {

int g_commandSeen = 0;

}  // namespace

// The test program stands in for a plug-in module: it exports the entry
// point that the host calls for an identifier from QMA_GetTempID.
extern "C" __declspec(dllexport) void __cdecl QMH_OnCmdProc(LPARAM, int command) { g_commandSeen = command; }

namespace {

using host::StandInHost;

std::string ClassOf(HWND hwnd) {
    char name[64] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

std::string TextOf(HWND hwnd) {
    char text[256] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

struct TextSearch {
    const char* text;
    HWND found;
};

BOOL CALLBACK MatchText(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<TextSearch*>(lp);
    if (TextOf(hwnd) != s->text) return TRUE;
    s->found = hwnd;
    return FALSE;
}

HWND FindByText(HWND parent, const char* text) {
    TextSearch search = {text, nullptr};
    EnumChildWindows(parent, MatchText, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST(StandInHostTree, DefaultTreeIsWhereAPluginLooks) {
    StandInHost host;
    EXPECT_EQ(FindWindowExA(host.Main(), nullptr, "MDIClient", nullptr), host.MdiClient());
    EXPECT_EQ(FindWindowExA(host.Main(), nullptr, TOOLBARCLASSNAMEA, nullptr), host.Toolbar());
    EXPECT_EQ(FindWindowExA(host.Main(), nullptr, STATUSCLASSNAMEA, nullptr), host.Status());
    EXPECT_EQ(FindWindowExA(host.Toolbar(), nullptr, WC_TABCONTROLA, nullptr), host.Tab());
    EXPECT_EQ(GetWindowThreadProcessId(host.Main(), nullptr), GetCurrentThreadId());
    EXPECT_EQ(ClassOf(host.List()), WC_LISTVIEWA);
    EXPECT_EQ(GetWindowLongA(host.List(), GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_EQ(GetParent(host.View()), GetParent(host.List()));
    EXPECT_EQ(GetParent(GetParent(host.List())), host.MdiClient());

    HWND slots[5] = {};
    host.GetStaticWindows(&slots[0], &slots[1], &slots[2], &slots[3], &slots[4]);
    EXPECT_EQ(slots[0], host.Main());
    EXPECT_EQ(slots[2], host.List());
    EXPECT_EQ(slots[3], host.View());

    // The composition window: each label directly followed by its field.
    HWND composition = host.Child(3);
    HWND to = FindByText(composition, "宛先(&T):");
    HWND subject = FindByText(composition, "件名(&S):");
    ASSERT_NE(to, nullptr);
    ASSERT_NE(subject, nullptr);
    EXPECT_TRUE(IsWindowVisible(GetParent(to)));
    EXPECT_EQ(TextOf(GetWindow(to, GW_HWNDNEXT)), "sales");
    EXPECT_EQ(TextOf(GetWindow(subject, GW_HWNDNEXT)), "plan");
}

TEST(StandInHostTree, VariantsLeaveOutWhatTheyName) {
    host::HostOptions options;
    options.toolbar = false;
    options.mdiClient = false;
    options.statusBar = false;
    options.tabButtons = true;
    std::vector<host::ChildSetup> children = host::DefaultChildren();
    children[3].paneHidden = true;
    children[3].noSubjectLabel = true;
    options.children = children;
    StandInHost host(options);
    EXPECT_EQ(FindWindowExA(host.Main(), nullptr, TOOLBARCLASSNAMEA, nullptr), nullptr);
    EXPECT_EQ(FindWindowExA(host.Main(), nullptr, "MDIClient", nullptr), nullptr);
    EXPECT_EQ(FindWindowExA(host.Main(), nullptr, STATUSCLASSNAMEA, nullptr), nullptr);
    // The tab bar is still there, on the frame, with button style.
    ASSERT_NE(host.Tab(), nullptr);
    EXPECT_EQ(GetParent(host.Tab()), host.Main());
    EXPECT_TRUE(GetWindowLongA(host.Tab(), GWL_STYLE) & TCS_BUTTONS);

    // Without an MDI client the children still follow their tabs.
    ASSERT_EQ(host.ChildCount(), 4);
    host.ActivateChild(2);
    EXPECT_EQ(host.ActiveChild(), host.Child(2));
    EXPECT_EQ(host.CurrentTab(), 2);

    HWND to = FindByText(host.Child(3), "宛先(&T):");
    ASSERT_NE(to, nullptr);
    EXPECT_FALSE(IsWindowVisible(GetParent(to)));
    EXPECT_EQ(FindByText(host.Child(3), "件名(&S):"), nullptr);

    host::HostOptions noTab;
    noTab.tabControl = false;
    StandInHost bare(noTab);
    EXPECT_NE(bare.Toolbar(), nullptr);
    EXPECT_EQ(FindWindowExA(bare.Toolbar(), nullptr, WC_TABCONTROLA, nullptr), nullptr);
}

TEST(StandInHostTree, ListShowsSubjectAndSenderOfEachMessage) {
    std::vector<host::MailMessage> messages(3);
    messages[0].text = "Date: Mon, 2 Mar 2009 09:00:00 +0900\r\nFrom: \"山田 太郎\"\r\n <yamada@example.co.jp>\r\n"
                       "Subject: 打ち合わせ\r\n\r\nbody\r\n";
    messages[1].text = "Subject: no sender\r\n\r\nFrom: the body is not the header\r\n";
    messages[2].text = "from: b@example.jp\r\nSubject: x\r\n\r\n";
    messages[2].subject = "shown instead";
    host::HostOptions options;
    options.messages = messages;
    StandInHost host(options);
    ASSERT_EQ(SendMessageA(host.List(), LVM_GETITEMCOUNT, 0, 0), 3);
    auto cell = [&](int item, int column) {
        char text[128] = {};
        LVITEMA lv = {};
        lv.iSubItem = column;
        lv.pszText = text;
        lv.cchTextMax = sizeof text;
        SendMessageA(host.List(), LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(&lv));
        return std::string(text);
    };
    EXPECT_EQ(cell(0, 0), "打ち合わせ");
    EXPECT_EQ(cell(0, 1), "山田 太郎");
    EXPECT_EQ(cell(1, 1), "");
    EXPECT_EQ(cell(2, 0), "shown instead");
    EXPECT_EQ(cell(2, 1), "b@example.jp");
}

TEST(StandInHostTree, TempIdentifiersReachTheModuleWithItsOwnCommand) {
    StandInHost host;
    HMODULE self = GetModuleHandleA(nullptr);
    int first = host.GetTempID(self, 35000);
    int second = host.GetTempID(self, 777);
    EXPECT_NE(first, second);
    EXPECT_NE(first, 35000);

    g_commandSeen = 0;
    host.ChooseCommand(static_cast<UINT>(second));
    EXPECT_EQ(g_commandSeen, 777);
    g_commandSeen = 0;
    host.ChooseCommand(35000);  // not an identifier the host handed out
    EXPECT_EQ(g_commandSeen, 0);
    ASSERT_EQ(host.Calls().size(), 2u);
    EXPECT_EQ(host.Calls()[1].name, "QMA_GetTempID");
}

}  // namespace

// Big and long: a thousand tabs in the popup, texts far past the plug-in's
// buffers, and a same-sender walk across a very long message list.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/popup_driver.h"

namespace {

using popup::kNotch;

// Items of the long message list, walked from end to end.
constexpr int kLongFolder = 100000;
// Bound of one walk across the long list.
constexpr DWORD kLongWalkTimeoutMs = 120000;

std::string Numbered(const char* format, int n) {
    char text[64];
    std::snprintf(text, sizeof text, format, n);
    return text;
}

// Whole double-byte characters of CP932 text, cut to at most `limit` bytes.
std::string CutWhole(const std::string& text, size_t limit) {
    size_t n = 0;
    while (n < text.size()) {
        size_t width = IsDBCSLeadByteEx(932, static_cast<BYTE>(text[n])) ? 2 : 1;
        if (n + width > limit) break;
        n += width;
    }
    return text.substr(0, n);
}

void PrintElapsed(const char* what, DWORD since) {
    std::printf("[ figures  ] %s: %lu ms\n", what, static_cast<unsigned long>(GetTickCount() - since));
}

TEST(Scale, ThousandTabsScrollWrapAndTheChosenRowIsActivated) {
    std::vector<host::ChildSetup> children;
    for (int i = 0; i < 1000; ++i) {
        std::string name = Numbered("Tab %04d", i);
        children.push_back(host::PlainChild(name, name));
    }
    DWORD start = GetTickCount();
    test::LoadedHost lh(popup::WithChildren(children, 997), popup::kTabListIni);
    PrintElapsed("host with 1,000 children", start);
    host::StandInHost& h = lh.Host();
    ASSERT_EQ(h.TabCount(), 1000);
    ASSERT_EQ(h.CurrentTab(), 997);

    popup::SelectTabRecorder selected;
    std::vector<popup::PopupView> seen;
    popup::PopupView view;
    auto keep = [&] { seen.push_back(view); };
    auto moved = [&](const popup::PopupView& v) { return v.sel != seen.back().sel; };
    auto step = [&](int delta) {
        return std::vector<popup::Script::Step>{popup::Do([delta] { test::Wheel(delta); }), popup::SeeWhen(view, moved),
                                              popup::Do(keep)};
    };
    std::vector<popup::Script::Step> steps = {popup::See(view), popup::Do(keep)};
    // Down past the last row to row 0, then up across the wrap to row 999.
    for (int delta : {-kNotch, -kNotch, -kNotch, kNotch}) {
        auto s = step(delta);
        steps.insert(steps.end(), s.begin(), s.end());
    }
    steps.push_back(popup::Do(test::RightUp));
    popup::Script script(steps);
    start = GetTickCount();
    popup::RunGesture(h, popup::CursorOverStatusBar(h), script);
    PrintElapsed("popup over 1,000 tabs", start);

    ASSERT_EQ(seen.size(), 5u);
    const popup::PopupView& first = seen[0];
    EXPECT_EQ(first.rows, 1000);
    EXPECT_EQ(first.texts[0], "Tab 0000");
    EXPECT_EQ(first.texts[999], "Tab 0999");
    ASSERT_GT(first.itemHeight, 0);
    // Twenty rows show, whatever their height (the list font's at least).
    const int visibleRows = 20;
    EXPECT_EQ(first.list.bottom - first.list.top, visibleRows * first.itemHeight);
    std::vector<int> sels;
    for (const popup::PopupView& v : seen) {
        sels.push_back(v.sel);
        // The listbox scrolls to keep the selection in sight.
        EXPECT_LE(v.topIndex, v.sel);
        EXPECT_LT(v.sel, v.topIndex + visibleRows);
    }
    EXPECT_EQ(sels, (std::vector<int>{997, 998, 999, 0, 999}));
    EXPECT_EQ(selected.rows, (std::vector<LPARAM>{999}));
    EXPECT_EQ(h.CurrentTab(), 999);
    EXPECT_EQ(h.ActiveChild(), h.Child(999));
}

// Every buffer of the snapshot overrun by far: tab texts and titles of 600
// bytes, a recipient of 300 and a subject of 500.
TEST(Scale, TextsFarPastTheirBuffersAreCutToThem) {
    const std::string longTitle(600, 'T');
    const std::string to(300, 'r');
    const std::string subject(500, 's');
    std::vector<host::ChildSetup> children = {host::PlainChild(longTitle, longTitle)};
    host::ChildSetup reply;
    reply.kind = host::ChildKind::Composition;
    reply.title = "Reply " + std::string(400, 'x');
    reply.tabText = "Reply";
    reply.to = to;
    reply.subject = subject;
    children.push_back(reply);
    // A first word that fills the description alone.
    host::ChildSetup wide = reply;
    wide.title = std::string(300, 'W');
    wide.tabText = wide.title;
    children.push_back(wide);

    test::LoadedHost lh(popup::WithChildren(children, 2), popup::kTabListIni);
    host::StandInHost& h = lh.Host();
    popup::PopupView view;
    popup::Script script({popup::See(view), popup::Do([] { test::Wheel(-kNotch); }),
                        popup::SeeWhen(view, [](const popup::PopupView& v) { return v.sel == 0; }),
                        popup::Do(test::RightUp)});
    popup::RunGesture(h, popup::CursorOverStatusBar(h), script);

    ASSERT_EQ(view.rows, 3);
    EXPECT_EQ(view.texts[0], longTitle.substr(0, 255));
    EXPECT_EQ(view.texts[1], "Reply To: " + to.substr(0, 63) + ", Sub: " + subject.substr(0, 127));
    EXPECT_EQ(view.texts[2], wide.title.substr(0, 255));
    // The window behind a cut tab text is still found and activated.
    EXPECT_EQ(h.CurrentTab(), 0);
    EXPECT_EQ(h.ActiveChild(), h.Child(0));
}

// A double-byte tab text cut by the tab control after a longer text: the
// control's cut must not let the previous tab's bytes show ("...あT"), which
// would also keep the window from being matched to its tab.
TEST(Scale, DoubleByteTextCutAfterALongerOneKeepsNoStrayBytes) {
    const std::string longTitle(600, 'T');
    std::string kanaTitle;
    for (int i = 0; i < 300; ++i) kanaTitle += "\x82\xA0";  // "あ"
    test::LoadedHost lh(popup::WithChildren({host::PlainChild(longTitle, longTitle), host::PlainChild(kanaTitle, kanaTitle)}, 0),
                        popup::kTabListIni);
    host::StandInHost& h = lh.Host();
    popup::PopupView view;
    popup::Script script({popup::See(view), popup::Do(test::RightUp)});
    popup::RunGesture(h, popup::CursorOverStatusBar(h), script);

    ASSERT_EQ(view.rows, 2);
    EXPECT_LE(view.texts[1].size(), 255u);
    EXPECT_GE(view.texts[1].size(), 254u);
    EXPECT_EQ(view.texts[1], CutWhole(kanaTitle, view.texts[1].size()));
}

TEST(Scale, SameSenderWalkAcrossTheWholeLongList) {
    std::vector<host::MailMessage> messages(kLongFolder, popup::Mail("o"));
    messages.front() = popup::Mail("far@example.jp");
    messages.back() = popup::Mail("Far <far@example.jp>");
    host::HostOptions options;
    options.messages = std::move(messages);
    DWORD start = GetTickCount();
    test::LoadedHost lh(options, popup::kNavigationIni);
    host::StandInHost& h = lh.Host();
    PrintElapsed("host with the long folder", start);
    const int last = kLongFolder - 1;

    h.SelectItem(0);
    test::MoveCursorToWindow(h.List(), 60, 40);
    test::PumpIdle(&h, 50);
    h.ClearCalls();
    test::CtrlDown();
    start = GetTickCount();
    test::Wheel(-kNotch);
    EXPECT_TRUE(test::PumpUntil(&h, [&] { return h.SelectedItem() == last; }, kLongWalkTimeoutMs));
    PrintElapsed("walk down the long list", start);
    test::CtrlUp();
    test::PumpIdle(&h, 30);
    EXPECT_EQ(h.SelectedItem(), last);
    EXPECT_EQ(h.StatusText(), "");
    EXPECT_EQ(h.OutstandingTexts(), 0);
    EXPECT_TRUE(h.Faults().empty());
    // Every message on the way was read once, and each text handed back.
    size_t reads = 0, releases = 0;
    for (const host::ServiceCall& c : h.Calls()) {
        reads += c.name == "QMA_GetMessage";
        releases += c.name == "QMA_ReleaseQuilmBuffer";
    }
    EXPECT_EQ(releases, reads);
    EXPECT_EQ(reads, static_cast<size_t>(kLongFolder));
}

}  // namespace

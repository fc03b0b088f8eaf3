// Ctrl + wheel over the message list: the nearest message with the same
// sender, through the stand-in host's services.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

// One wheel notch.
constexpr int kNotch = WHEEL_DELTA;
// Focused, selected, cut and drop-highlighted.
constexpr UINT kAllStates = LVIS_FOCUSED | LVIS_SELECTED | LVIS_CUT | LVIS_DROPHILITED;
constexpr UINT kCurrent = LVIS_FOCUSED | LVIS_SELECTED;
constexpr char kNavigationOn[] = "[Rollvix]\r\nMOVE_NEXTFROM=1\r\n";

host::MailMessage Mail(const std::string& header) {
    return host::MailMessage{header + "Subject: test\r\n\r\nbody\r\n", false, ""};
}
host::MailMessage Unreadable() { return host::MailMessage{"From: a@b\r\n\r\n", true, "(unreadable)"}; }

host::HostOptions Folder(const std::vector<host::MailMessage>& messages) {
    host::HostOptions options;
    options.messages = messages;
    return options;
}

// Ctrl + one wheel notch over the message list. The cursor settles first:
// under wine the pointer's arrival resyncs the keyboard state with the X
// server, which would drop a Ctrl pressed before it.
void CtrlWheel(test::LoadedHost& lh, int delta) {
    test::MoveCursorToWindow(lh.Host().List(), 60, 40);
    test::PumpIdle(&lh.Host(), 50);
    test::CtrlDown();
    EXPECT_TRUE(GetAsyncKeyState(VK_CONTROL) & 0x8000);
    test::Wheel(delta);
    test::PumpIdle(&lh.Host(), 100);
    test::CtrlUp();
    test::PumpIdle(&lh.Host(), 30);
}

// Selects item `from`, navigates and returns the item then selected.
int NavigateFrom(test::LoadedHost& lh, int from, int delta) {
    lh.Host().SelectItem(from);
    test::PumpIdle(&lh.Host(), 30);
    lh.Host().ClearCalls();
    CtrlWheel(lh, delta);
    return lh.Host().SelectedItem();
}

std::vector<std::string> StatusCalls(host::StandInHost& h) {
    std::vector<std::string> out;
    for (const host::ServiceCall& c : h.Calls())
        if (c.name == "QMA_DispMessageOnStatusBar") out.push_back(c.args);
    return out;
}

size_t CountCalls(host::StandInHost& h, const std::string& name) {
    return static_cast<size_t>(std::count_if(h.Calls().begin(), h.Calls().end(),
                                             [&](const host::ServiceCall& c) { return c.name == name; }));
}

const std::vector<std::string> kFoundStatus = {"\"\", -1"};
const std::vector<std::string> kNotFoundStatus = {"\"not found\", -1"};

TEST(SameSender, NearestMatchAboveAndBelow) {
    test::LoadedHost lh(Folder({
                            Mail("From: Alice <alice@example.jp>\r\n"),            // 0
                            Mail("From: bob@example.jp\r\n"),                      // 1
                            Mail("From: alice@example.jp\r\n"),                    // 2
                            Mail("From: \"Bob B\" <bob@example.jp>\r\n"),          // 3
                            Mail("From: Alice@Example.JP\r\n"),                    // 4
                            Mail("From: \x8E\x52\x93\x63 <alice@example.jp>\r\n"), // 5
                            Mail("From: carol@example.jp\r\n"),                    // 6
                        }),
                        kNavigationOn);
    host::StandInHost& h = lh.Host();

    EXPECT_EQ(NavigateFrom(lh, 2, -kNotch), 5) << "other letter case is another sender";
    EXPECT_EQ(StatusCalls(h), kFoundStatus);
    EXPECT_EQ(h.StatusText(), "");
    EXPECT_EQ(NavigateFrom(lh, 5, kNotch), 2);
    EXPECT_EQ(NavigateFrom(lh, 2, kNotch), 0) << "display name + address equals the bare address";
    EXPECT_EQ(NavigateFrom(lh, 1, 0), 1) << "a delta of 0 turns nothing";
    EXPECT_TRUE(h.Calls().empty());
    EXPECT_EQ(NavigateFrom(lh, 1, -kNotch), 3);
    EXPECT_EQ(h.ItemState(1, kAllStates), 0u);
    EXPECT_EQ(h.ItemState(3, kAllStates), kCurrent);
    EXPECT_EQ(NavigateFrom(lh, 4, kNotch), 4);
    EXPECT_EQ(StatusCalls(h), kNotFoundStatus);
    EXPECT_EQ(h.StatusText(), "not found");
    EXPECT_TRUE(h.Faults().empty());
}

TEST(SameSender, PartialRotationWalksOncePerWholeNotch) {
    test::LoadedHost lh(Folder({Mail("From: a@x\r\n"), Mail("From: b@x\r\n"), Mail("From: a@x\r\n"),
                                Mail("From: b@x\r\n"), Mail("From: a@x\r\n")}),
                        kNavigationOn);
    host::StandInHost& h = lh.Host();
    h.SelectItem(0);
    test::MoveCursorToWindow(h.List(), 60, 40);
    test::PumpIdle(&h, 50);
    h.ClearReceived();
    test::CtrlDown();
    for (int delta : {-40, -40}) test::Wheel(delta);
    test::PumpIdle(&h, 100);
    EXPECT_EQ(h.SelectedItem(), 0) << "two thirds of a notch walk nowhere";
    for (int delta : {-40, -90, -90}) test::Wheel(delta);
    test::PumpIdle(&h, 100);
    test::CtrlUp();
    test::PumpIdle(&h, 30);
    EXPECT_EQ(h.SelectedItem(), 4) << "two notches gathered, two walks";
    ExpectMouseReceived(h, "the list never scrolled", {});
}

TEST(SameSender, HeaderVariantsOnTheWay) {
    test::LoadedHost lh(Folder({
                            Mail("From: Taro <taro@example.jp>\r\n"),        // 0
                            Mail("From: taro@example.jp \r\n"),              // 1 trailing blank
                            Unreadable(),                                    // 2
                            Mail("From: Broken <taro@example.jp\r\n"),       // 3 no '>'
                            Mail("FROM: taro@example.jp\r\n"),               // 4 no "From:"
                            Mail("X-Note: x\x83" "From: taro@example.jp\r\n"), // 5 'F' is a trail byte
                            Mail("From: Taro Yamada\r\n <taro@example.jp>\r\n"),  // 6 folded
                            Mail("From: Nobody <>\r\n"),                     // 7
                            Mail("From: Nobody <> \r\n"),                    // 8
                            Mail("From: Nobody <>\r\n"),                     // 9
                            Mail("From:\r\n"),                               // 10 empty key
                            Mail("To: x@y\r\nFrom: \r\n"),                   // 11 empty key too
                            host::MailMessage{"Subject: x\r\nFrom: taro@example.jp", false, "no line end"},  // 12
                        }),
                        kNavigationOn);
    host::StandInHost& h = lh.Host();
    const std::string unreadablePath = std::string("\"").append(h.MessagePath(2)).append("\"");

    EXPECT_EQ(NavigateFrom(lh, 0, -kNotch), 6);
    // Each readable text was released once, the null one never.
    size_t reads = 0, readable = 0;
    for (const host::ServiceCall& c : h.Calls()) {
        if (c.name != "QMA_GetMessage") continue;
        ++reads;
        if (c.args != unreadablePath) ++readable;
    }
    EXPECT_EQ(reads, 7u);
    EXPECT_EQ(CountCalls(h, "QMA_ReleaseQuilmBuffer"), readable);

    EXPECT_EQ(NavigateFrom(lh, 7, -kNotch), 9) << "empty brackets: the whole value is the key";
    EXPECT_EQ(NavigateFrom(lh, 10, -kNotch), 11) << "an empty value matches an empty value";
    EXPECT_EQ(NavigateFrom(lh, 6, -kNotch), 6) << "a value without a line end has no key";
    EXPECT_EQ(StatusCalls(h), kNotFoundStatus);
    EXPECT_EQ(NavigateFrom(lh, 1, kNotch), 1) << "the trailing blank stays in the key";
    EXPECT_EQ(h.OutstandingTexts(), 0);
    EXPECT_TRUE(h.Faults().empty());
}

TEST(SameSender, StatusBarPerOutcome) {
    test::LoadedHost lh(Folder({
                            Mail("From: a@example.jp\r\n"),
                            Mail("Sender: a@example.jp\r\n"),
                            Unreadable(),
                            Mail("From: a@example.jp\r\n"),
                        }),
                        kNavigationOn);
    host::StandInHost& h = lh.Host();

    EXPECT_EQ(NavigateFrom(lh, 1, -kNotch), 1);
    EXPECT_EQ(StatusCalls(h), (std::vector<std::string>{"\"'From' is not found.\", -1"}));
    EXPECT_EQ(CountCalls(h, "QMA_ReleaseQuilmBuffer"), 1u);

    h.ClearWindowEvents();
    EXPECT_EQ(NavigateFrom(lh, 2, -kNotch), 2);
    EXPECT_TRUE(StatusCalls(h).empty()) << "no text: the status bar is left alone";
    EXPECT_EQ(CountCalls(h, "QMA_ReleaseQuilmBuffer"), 0u);
    for (const auto& e : h.WindowEvents()) EXPECT_NE(e.message, static_cast<UINT>(WM_SETREDRAW)) << "nothing was walked";

    EXPECT_EQ(NavigateFrom(lh, 0, -kNotch), 3);
    EXPECT_EQ(StatusCalls(h), kFoundStatus);
    EXPECT_EQ(NavigateFrom(lh, 3, -kNotch), 3);
    EXPECT_EQ(StatusCalls(h), kNotFoundStatus);
    EXPECT_TRUE(h.Faults().empty());
}

TEST(SameSender, EndsOfTheListRestoreTheSelection) {
    test::LoadedHost lh(Folder({
                            Mail("From: a@example.jp\r\n"),
                            Mail("From: b@example.jp\r\n"),
                            Mail("From: c@example.jp\r\n"),
                        }),
                        kNavigationOn);
    host::StandInHost& h = lh.Host();
    for (auto [item, delta] : {std::pair{0, kNotch}, std::pair{2, -kNotch}}) {
        h.SelectItem(item);
        h.SetItemState(item, LVIS_CUT | LVIS_DROPHILITED, LVIS_CUT | LVIS_DROPHILITED);
        h.ClearCalls();
        CtrlWheel(lh, delta);
        EXPECT_EQ(h.SelectedItem(), item);
        EXPECT_EQ(h.ItemState(item, kAllStates), kCurrent) << "cut and drop-highlight are cleared";
        EXPECT_EQ(StatusCalls(h), kNotFoundStatus);
        EXPECT_EQ(CountCalls(h, "QMA_GetMessage"), 1u) << "nothing was visited";
    }
    // From the middle down: the bottom item was visited and is left clear.
    EXPECT_EQ(NavigateFrom(lh, 1, -kNotch), 1);
    EXPECT_EQ(h.ItemState(1, kAllStates), kCurrent);
    EXPECT_EQ(h.ItemState(2, kAllStates), 0u);
    EXPECT_EQ(h.ItemState(0, kAllStates), 0u);
}

TEST(SameSender, DrawingIsFrozenDuringTheWalk) {
    test::LoadedHost lh(Folder({
                            Mail("From: a@example.jp\r\n"),
                            Mail("From: b@example.jp\r\n"),
                            Mail("From: c@example.jp\r\n"),
                            Mail("From: a@example.jp\r\n"),
                        }),
                        kNavigationOn);
    host::StandInHost& h = lh.Host();
    HWND list = h.List(), status = h.Status(), view = h.View();
    HWND sibling1 = GetWindow(view, GW_HWNDNEXT);
    HWND sibling2 = GetWindow(sibling1, GW_HWNDNEXT);
    ASSERT_NE(sibling2, nullptr);

    for (int start : {0, 3}) {
        h.SelectItem(start);
        test::PumpIdle(&h, 30);
        h.ClearWindowEvents();
        CtrlWheel(lh, start == 0 ? -kNotch : kNotch);
        EXPECT_EQ(h.SelectedItem(), 3 - start);

        std::vector<std::pair<HWND, WPARAM>> redraw;
        bool listFrozen = false, paintedWhileFrozen = false, paintedAfter = false;
        for (const auto& e : h.WindowEvents()) {
            if (e.message == WM_SETREDRAW) {
                redraw.push_back({e.hwnd, e.wParam});
                if (e.hwnd == list) listFrozen = !e.wParam;
            } else if (e.message == WM_PAINT && e.hwnd == list) {
                (listFrozen ? paintedWhileFrozen : paintedAfter) = true;
            }
        }
        const std::vector<std::pair<HWND, WPARAM>> want = {
            {list, FALSE},  {status, FALSE}, {view, FALSE},    {sibling1, FALSE}, {sibling2, FALSE},
            {status, TRUE}, {list, TRUE},    {view, TRUE},     {sibling1, TRUE},  {sibling2, TRUE},
        };
        EXPECT_EQ(redraw, want);
        EXPECT_FALSE(paintedWhileFrozen);
        EXPECT_TRUE(paintedAfter) << "the list is repainted once drawing is back on";
    }
}

TEST(SameSender, CtrlWheelPassesOnUnlessNavigationApplies) {
    const std::vector<host::MailMessage> folder = {Mail("From: a@example.jp\r\n"), Mail("From: a@example.jp\r\n")};
    {
        test::LoadedHost lh(Folder(folder));
        lh.Host().ClearReceived();
        EXPECT_EQ(NavigateFrom(lh, 0, -kNotch), 0) << "MOVE_NEXTFROM off";
        EXPECT_TRUE(lh.Host().Calls().empty());
    }
    {
        test::LoadedHost lh(Folder(folder), kNavigationOn);
        host::StandInHost& h = lh.Host();
        h.ActivateChild(1);
        test::PumpIdle(&h, 30);
        h.ClearCalls();
        // Right button held as well: with Ctrl no chord is typed, so the
        // click is replayed on release.
        test::MoveCursorToWindow(h.Status(), 40, 12);
        test::PumpIdle(&h, 50);
        test::RightDown();
        test::PumpIdle(&h, 30);
        test::CtrlDown();
        EXPECT_TRUE(GetAsyncKeyState(VK_CONTROL) & 0x8000);
        test::Wheel(-kNotch);
        test::PumpIdle(&h, 100);
        test::CtrlUp();
        test::RightUp();
        test::PumpIdle(&h, 100);
        EXPECT_TRUE(h.Calls().empty()) << "another child than the start child is active";
        std::vector<UINT> mouse;
        for (const host::Received& r : h.TakeReceived())
            if (r.message >= WM_MOUSEFIRST && r.message <= WM_MOUSELAST) mouse.push_back(r.message);
        EXPECT_EQ(mouse, (std::vector<UINT>{WM_MOUSEWHEEL, WM_RBUTTONDOWN}));
    }
}

TEST(SameSender, LongWalkReleasesEveryTextOnce) {
    constexpr int kItems = 1000;
    std::vector<host::MailMessage> folder;
    for (int i = 0; i < kItems; ++i) {
        if (i % 7 == 3) folder.push_back(Unreadable());
        else if (i == 0 || i == kItems - 1) folder.push_back(Mail("From: Far Away <far@example.jp>\r\n"));
        else folder.push_back(Mail("From: n" + std::to_string(i) + "@example.jp\r\n"));
    }
    test::LoadedHost lh(Folder(folder), kNavigationOn);
    host::StandInHost& h = lh.Host();
    std::set<std::string> unreadable;
    for (int i = 3; i < kItems; i += 7) unreadable.insert(std::string("\"").append(h.MessagePath(i)).append("\""));

    EXPECT_EQ(NavigateFrom(lh, 0, -kNotch), kItems - 1);
    size_t reads = 0, texts = 0;
    for (const host::ServiceCall& c : h.Calls()) {
        if (c.name != "QMA_GetMessage") continue;
        ++reads;
        if (!unreadable.count(c.args)) ++texts;
    }
    EXPECT_EQ(reads, static_cast<size_t>(kItems));
    EXPECT_EQ(CountCalls(h, "QMA_ReleaseQuilmBuffer"), texts);
    EXPECT_EQ(h.OutstandingTexts(), 0);
    EXPECT_TRUE(h.Faults().empty());
}

}  // namespace

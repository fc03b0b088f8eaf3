// Faults from the host: messages it cannot read during a walk, a tab control
// that stops answering, a child destroyed under the open popup, an unload
// after the TabList gesture, and a load from a thread other than the GUI one.
#include <windows.h>
#include <commctrl.h>

#include <random>
#include <string>
#include <vector>

#include "support/popup_driver.h"

namespace {

using popup::kNotch;

constexpr char kTarget[] = "RollvixTarget";

std::string WindowText(HWND hwnd) {
    char text[64] = "";
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

size_t CountCalls(host::StandInHost& h, const char* name) {
    size_t n = 0;
    for (const host::ServiceCall& c : h.Calls()) n += c.name == name;
    return n;
}

// The host's tab and MDI state agree: the active child is one of its
// children and its tab is the current one.
void ExpectHostConsistent(host::StandInHost& h) {
    int active = h.IndexOfChild(h.ActiveChild());
    EXPECT_GE(active, 0);
    EXPECT_EQ(h.CurrentTab(), active);
    EXPECT_EQ(h.TabCount(), h.ChildCount());
}

// Random folders with unreadable messages; the nearest readable message of
// the same sender is chosen, unreadable ones are passed over and no text is
// released that was not handed out.
TEST(HostFaults, UnreadableMessagesDuringSameSenderWalks) {
    std::mt19937 random(20240611);
    const char* senders[] = {"a@x", "b@x", "c@x"};
    std::vector<host::MailMessage> messages;
    for (int i = 0; i < 40; ++i) {
        host::MailMessage m = popup::Mail(senders[random() % 3]);
        m.unreadable = random() % 10 < 3;
        messages.push_back(m);
    }
    host::HostOptions options;
    options.messages = messages;
    test::LoadedHost lh(options, popup::kNavigationIni);
    host::StandInHost& h = lh.Host();
    test::MoveCursorToWindow(h.List(), 60, 40);
    test::PumpIdle(&h, 50);
    test::CtrlDown();

    const int n = static_cast<int>(messages.size());
    for (int trial = 0; trial < 40; ++trial) {
        const int start = static_cast<int>(random() % n);
        const bool up = random() % 2 == 0;
        // The model: nearest readable message of the same sender.
        int expected = start, visited = 0;
        bool found = false;
        if (!messages[start].unreadable) {
            for (int i = start + (up ? -1 : 1); i >= 0 && i < n; i += up ? -1 : 1) {
                ++visited;
                if (!messages[i].unreadable && messages[i].text == messages[start].text) {
                    expected = i;
                    found = true;
                    break;
                }
            }
        }
        h.SelectItem(start);
        h.ClearCalls();
        const std::string statusBefore = h.StatusText();
        test::Wheel(up ? kNotch : -kNotch);
        test::PumpUntil(&h, [&] { return CountCalls(h, "QMA_GetNextMessagePath") > 0; });
        test::PumpIdle(&h, 20);

        SCOPED_TRACE("start " + std::to_string(start) + (up ? " up" : " down"));
        EXPECT_EQ(h.SelectedItem(), expected);
        if (messages[start].unreadable) {
            EXPECT_EQ(h.StatusText(), statusBefore);
            EXPECT_EQ(CountCalls(h, "QMA_DispMessageOnStatusBar"), 0u);
        } else {
            EXPECT_EQ(h.StatusText(), found ? "" : "not found");
        }
        // One release for each readable message read: the start and those visited.
        size_t readable = messages[start].unreadable ? 0 : 1;
        for (int k = 1; k <= visited; ++k) readable += !messages[start + (up ? -k : k)].unreadable;
        EXPECT_EQ(CountCalls(h, "QMA_ReleaseQuilmBuffer"), readable);
        EXPECT_EQ(h.OutstandingTexts(), 0);
    }
    test::CtrlUp();
    EXPECT_TRUE(h.Faults().empty()) << h.Faults().front();
}

// The tab control answers TCM_GETITEMA for the first tabs only, and the
// current tab lies past them.
TEST(HostFaults, TabControlFailingPartWayShowsTheTabsReadAndActivatesOneOfThem) {
    host::HostOptions options = popup::WithChildren(
        {host::PlainChild("A", "A"), host::PlainChild("B", "B"), host::PlainChild("C", "C"), host::PlainChild("D", "D"), host::PlainChild("E", "E")},
        3);
    options.tabAnswerLimit = 2;
    test::LoadedHost lh(options, popup::kTabListIni);
    host::StandInHost& h = lh.Host();
    popup::SelectTabRecorder selected;
    popup::PopupView opened, stepped;
    popup::Script script({popup::See(opened), popup::Do([] { test::Wheel(-kNotch); }),
                        popup::SeeWhen(stepped, [](const popup::PopupView& v) { return v.sel >= 0; }),
                        popup::Do(test::RightUp)});
    popup::RunGesture(h, popup::CursorOverStatusBar(h), script);

    EXPECT_EQ(opened.texts, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(opened.sel, -1);
    EXPECT_EQ(stepped.sel, 0);
    EXPECT_EQ(selected.rows, (std::vector<LPARAM>{0}));
    EXPECT_EQ(h.CurrentTab(), 0);
    ExpectHostConsistent(h);
}

TEST(HostFaults, TabControlAnsweringNothingGivesAnEmptyPopupThatActivatesNothing) {
    host::HostOptions options = popup::WithChildren({host::PlainChild("A", "A"), host::PlainChild("B", "B")}, 1);
    options.tabAnswerLimit = 0;
    test::LoadedHost lh(options, popup::kTabListIni);
    host::StandInHost& h = lh.Host();
    popup::SelectTabRecorder selected;
    popup::PopupView opened, after;
    popup::Script script({popup::See(opened), popup::Do([] { test::Wheel(kNotch); }), popup::Do([] { test::Wheel(-kNotch); }),
                        popup::Do([] { test::LeftDown(); }), popup::Do([] { test::LeftUp(); }), popup::See(after),
                        popup::Do(test::RightUp)});
    popup::RunGesture(h, popup::CursorOverStatusBar(h), script);

    EXPECT_EQ(opened.rows, 0);
    EXPECT_EQ(after.rows, 0);
    EXPECT_EQ(after.sel, -1);
    EXPECT_TRUE(selected.rows.empty());
    EXPECT_EQ(h.ChildCount(), 2);
    EXPECT_EQ(h.CurrentTab(), 1);
    EXPECT_EQ(GetCapture(), nullptr);
}

// The host closes a window while the popup lists it. Its row may still be
// chosen or closed; what the popup hands back must name the tab of the row
// the user chose, or nothing.
TEST(HostFaults, ChildDestroyedByTheHostWhileThePopupIsOpen) {
    auto options = [] {
        return popup::WithChildren(
            {host::PlainChild("A", "A"), host::PlainChild("B", "B"), host::PlainChild("C", "C"), host::PlainChild("D", "D")}, 1);
    };
    struct Case {
        const char* name;
        int downSteps;    // wheel steps down from row 1 after C went
        bool clickClose;  // then a left click on the selected row
        HWND (*expected)(host::StandInHost&, HWND a, HWND b, HWND d);
    };
    const Case cases[] = {
        // Row D lies past C: the host's tab of D is now index 2.
        {"choose D", 2, false, [](host::StandInHost&, HWND, HWND, HWND d) { return d; }},
        // C's own row: its window is gone, nothing is activated.
        {"choose C", 1, false, [](host::StandInHost&, HWND, HWND b, HWND) { return b; }},
        // Closing C's row closes nothing else; D follows it in the list.
        {"close C", 1, true, [](host::StandInHost&, HWND, HWND, HWND d) { return d; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::LoadedHost lh(options(), popup::kTabListIni);
        host::StandInHost& h = lh.Host();
        HWND a = h.Child(0), b = h.Child(1), cw = h.Child(2), d = h.Child(3);
        popup::PopupView opened, last;
        std::vector<popup::Script::Step> steps = {
            popup::See(opened),
            popup::Do([&] { SendMessageA(h.MdiClient(), WM_MDIDESTROY, reinterpret_cast<WPARAM>(cw), 0); }),
        };
        for (int i = 0; i < c.downSteps; ++i) {
            const int want = 1 + i + 1;
            steps.push_back(popup::Do([] { test::Wheel(-kNotch); }));
            steps.push_back(popup::SeeWhen(last, [want](const popup::PopupView& v) { return v.sel == want; }));
        }
        if (c.clickClose) {
            steps.push_back(popup::Do([] { test::LeftDown(); }));
            steps.push_back(popup::Do([] { test::LeftUp(); }));
            steps.push_back(popup::SeeWhen(last, [](const popup::PopupView& v) { return v.rows == 3; }));
        }
        steps.push_back(popup::Do(test::RightUp));
        popup::Script script(steps);
        popup::RunGesture(h, popup::CursorOverStatusBar(h), script);

        EXPECT_EQ(opened.rows, 4);
        EXPECT_FALSE(IsWindow(cw));
        EXPECT_EQ(h.ChildCount(), 3);
        EXPECT_TRUE(IsWindow(a) && IsWindow(b) && IsWindow(d));
        if (c.clickClose) {
            EXPECT_EQ(last.texts, (std::vector<std::string>{"A", "B", "D"}));
        }
        EXPECT_EQ(h.ActiveChild(), c.expected(h, a, b, d));
        ExpectHostConsistent(h);
    }
}

// The host unloads the plug-in right after a TabList gesture, with the
// capture on the MDI client as the gesture leaves it while the popup is open
// and the popup's WMU_SELECTTAB still queued.
TEST(HostFaults, UnloadAfterTheTabListGestureReleasesTheCaptureAndTheHook) {
    test::LoadedHost lh(popup::WithChildren({host::PlainChild("A", "A"), host::PlainChild("B", "B"), host::PlainChild("C", "C")}, 0),
                        popup::kTabListIni);
    host::StandInHost& h = lh.Host();
    const POINT cursor = popup::CursorOverStatusBar(h);
    HWND captureWhileOpen = nullptr;
    popup::PopupView view;
    popup::Script script({popup::See(view), popup::Do([&] { captureWhileOpen = GetCapture(); }),
                        popup::Do([] { test::Wheel(-kNotch); }), popup::Do(test::RightUp)});
    test::MoveCursorTo(cursor.x, cursor.y);
    test::PumpIdle(&h, 30);
    script.Start();
    test::RightDown();
    test::Wheel(-kNotch);
    // Stop as soon as the popup has gone, before the posted selection is taken.
    ASSERT_TRUE(test::PumpUntil(&h, [&] { return script.Done() && captureWhileOpen && !popup::FindPopup(); }));
    script.Stop();
    EXPECT_EQ(captureWhileOpen, h.MdiClient());
    // Unloaded while a press is held back: its hold takes its capture along.
    test::RightDown();
    test::PumpIdle(&h, 30);
    ASSERT_EQ(GetCapture(), h.MdiClient());
    lh.Unload();
    EXPECT_EQ(GetCapture(), nullptr);
    test::ReleaseAllInput();
    test::PumpIdle(&h, 50);

    // The hook is gone: a right click reaches the host as it is, and the
    // gesture opens nothing. (Elsewhere, so that it is no double click.)
    test::MoveCursorTo(cursor.x - 60, cursor.y);
    test::PumpIdle(&h, 30);
    h.ClearReceived();
    test::RightDown();
    test::Wheel(-kNotch);
    test::PumpIdle(&h, 150);
    EXPECT_EQ(popup::FindPopup(), nullptr);
    test::RightUp();
    test::PumpIdle(&h, 50);
    std::vector<UINT> buttons;
    for (const host::Received& r : h.TakeReceived())
        if (r.message == WM_RBUTTONDOWN || r.message == WM_RBUTTONUP) buttons.push_back(r.message);
    EXPECT_EQ(buttons, (std::vector<UINT>{WM_RBUTTONDOWN, WM_RBUTTONUP}));

    // The host still works, and takes the plug-in back.
    h.ActivateChild(2);
    ExpectHostConsistent(h);
    EXPECT_EQ(h.ActiveChild(), h.Child(2));
    HMODULE again = h.LoadPlugin(lh.Plugin().DllPath());
    ASSERT_NE(again, nullptr);
    popup::Script reopened({popup::See(view), popup::Do([] { test::Wheel(kNotch); }),
                          popup::SeeWhen(view, [](const popup::PopupView& v) { return v.sel == 1; }),
                          popup::Do(test::RightUp)});
    popup::RunGesture(h, {cursor.x + 60, cursor.y}, reopened);
    EXPECT_EQ(h.CurrentTab(), 1);
    h.UnloadPlugin(again);
}

struct LoaderThread {
    std::string dllPath;
    HMODULE module = nullptr;
    static DWORD WINAPI Run(void* param) {
        auto* self = static_cast<LoaderThread*>(param);
        self->module = LoadLibraryA(self->dllPath.c_str());
        return 0;
    }
    static DWORD WINAPI Free(void* param) { return FreeLibrary(static_cast<LoaderThread*>(param)->module); }
};

// The host loads the plug-in from a worker thread while its GUI thread owns
// the windows and pumps: the hook must serve the GUI thread.
TEST(HostFaults, LoadFromAnotherThreadHooksTheGuiThread) {
    test::PluginCopy copy;
    copy.WriteIni(popup::kTabListIni);
    host::StandInHost h(popup::WithChildren({host::PlainChild("A", "A"), host::PlainChild("B", "B"), host::PlainChild("C", "C")}, 0));
    test::PumpIdle(&h, 30);
    LoaderThread loader{copy.DllPath()};
    HANDLE thread = CreateThread(nullptr, 0, LoaderThread::Run, &loader, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    // Start-up sends messages to the GUI thread's windows: keep pumping.
    EXPECT_TRUE(test::PumpUntil(&h, [&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }));
    CloseHandle(thread);
    ASSERT_NE(loader.module, nullptr) << "the plug-in did not load from a worker thread";
    EXPECT_EQ(WindowText(h.Toolbar()), kTarget);
    EXPECT_EQ(WindowText(h.Tab()), kTarget);

    // Tab cycling over the tab bar, on the GUI thread.
    test::MoveCursorToWindow(h.Tab(), 300, 10);
    test::PumpIdle(&h, 30);
    test::Wheel(-kNotch);
    EXPECT_TRUE(test::PumpUntil(&h, [&] { return h.CurrentTab() == 1; }));

    // The TabList popup.
    popup::PopupView view;
    popup::Script script({popup::See(view), popup::Do([] { test::Wheel(-kNotch); }),
                        popup::SeeWhen(view, [](const popup::PopupView& v) { return v.sel == 2; }),
                        popup::Do(test::RightUp)});
    popup::RunGesture(h, popup::CursorOverStatusBar(h), script);
    EXPECT_EQ(view.rows, 3);
    EXPECT_EQ(h.CurrentTab(), 2);
    EXPECT_EQ(GetCapture(), nullptr);

    // Unloaded from the worker while a press is held back: its capture ends all the same.
    test::RightDown();
    test::PumpIdle(&h, 30);
    ASSERT_EQ(GetCapture(), h.MdiClient());
    HANDLE unloader = CreateThread(nullptr, 0, LoaderThread::Free, &loader, 0, nullptr);
    EXPECT_TRUE(test::PumpUntil(&h, [&] { return WaitForSingleObject(unloader, 0) == WAIT_OBJECT_0; }));
    CloseHandle(unloader);
    test::PumpIdle(&h, 30);
    EXPECT_EQ(GetCapture(), nullptr);
    test::ReleaseAllInput();
    test::PumpIdle(&h, 30);
}

}  // namespace

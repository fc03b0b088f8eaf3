// Wheel and right-button gestures with the real plug-in in the stand-in host,
// judged by what the host's message loop received.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

// The private message the plug-in posts after the TabList popup.
constexpr UINT kWmuSelectTab = 0x8212;
// One wheel notch.
constexpr int kNotch = WHEEL_DELTA;

// The mouse messages (button, wheel) the host received since the last call:
// key messages from the modifiers the tests hold are left out.
std::vector<test::Expected> MouseReceived(host::StandInHost& h) {
    std::vector<test::Expected> out;
    for (const host::Received& r : h.TakeReceived())
        if (r.message >= WM_MOUSEFIRST && r.message <= WM_MOUSELAST) out.push_back({r.message, r.wParam, r.lParam});
    return out;
}

std::string Describe(const std::vector<test::Expected>& list) {
    std::string s;
    for (const test::Expected& e : list) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "  {%s, 0x%lx, (%d, %d)}\n", test::MessageName(e.message).c_str(),
                      static_cast<unsigned long>(e.wParam), static_cast<short>(LOWORD(e.lParam)),
                      static_cast<short>(HIWORD(e.lParam)));
        s += buf;
    }
    return s;
}

::testing::AssertionResult MouseEquals(host::StandInHost& h, const std::vector<test::Expected>& want) {
    std::vector<test::Expected> got = MouseReceived(h);
    bool same = got.size() == want.size();
    for (size_t i = 0; same && i < got.size(); ++i)
        same = got[i].message == want[i].message && got[i].wParam == want[i].wParam && got[i].lParam == want[i].lParam;
    if (same) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected:\n" << Describe(want) << "received:\n" << Describe(got);
}

LPARAM ScreenPoint(HWND hwnd, int x, int y) {
    POINT p = {x, y};
    ClientToScreen(hwnd, &p);
    return test::Point(p.x, p.y);
}

void Settle(test::LoadedHost& h) { test::PumpIdle(&h.Host(), 80); }

// A point of the toolbar that the tab bar does not cover.
POINT BareToolbarPoint(HWND toolbar) {
    RECT rc;
    GetClientRect(toolbar, &rc);
    return POINT{rc.right - 12, rc.bottom / 2};
}

// Key events typed by the plug-in (not tagged as the tests' own), seen by a
// low-level keyboard hook on a thread of its own.
class KeyRecorder {
public:
    struct Key {
        DWORD vk;
        bool extended;
        bool up;
        bool operator==(const Key&) const = default;
    };

    KeyRecorder() {
        InitializeCriticalSection(&lock_);
        ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        current_ = this;
        thread_ = CreateThread(nullptr, 0, &KeyRecorder::Run, this, 0, &threadId_);
        EXPECT_EQ(WaitForSingleObject(ready_, test::kDefaultTimeoutMs), WAIT_OBJECT_0);
    }
    ~KeyRecorder() {
        PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        WaitForSingleObject(thread_, test::kDefaultTimeoutMs);
        CloseHandle(thread_);
        CloseHandle(ready_);
        current_ = nullptr;
        DeleteCriticalSection(&lock_);
    }
    KeyRecorder(const KeyRecorder&) = delete;
    KeyRecorder& operator=(const KeyRecorder&) = delete;

    std::vector<Key> Keys() {
        EnterCriticalSection(&lock_);
        std::vector<Key> copy = keys_;
        LeaveCriticalSection(&lock_);
        return copy;
    }
    size_t Count() { return Keys().size(); }
    void Clear() {
        EnterCriticalSection(&lock_);
        keys_.clear();
        LeaveCriticalSection(&lock_);
    }

private:
    static DWORD Normalised(DWORD vk) {
        switch (vk) {
            case VK_LCONTROL: case VK_RCONTROL: return VK_CONTROL;
            case VK_LSHIFT: case VK_RSHIFT: return VK_SHIFT;
            case VK_LMENU: case VK_RMENU: return VK_MENU;
        }
        return vk;
    }

    static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam) {
        auto* k = reinterpret_cast<KBDLLHOOKSTRUCT*>(lParam);
        if (code == HC_ACTION && current_ && k->dwExtraInfo != test::kInjectedTag) {
            EnterCriticalSection(&current_->lock_);
            current_->keys_.push_back(
                {Normalised(k->vkCode), (k->flags & LLKHF_EXTENDED) != 0, (k->flags & LLKHF_UP) != 0});
            LeaveCriticalSection(&current_->lock_);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static DWORD WINAPI Run(void* param) {
        auto* self = static_cast<KeyRecorder*>(param);
        HHOOK hook = SetWindowsHookExA(WH_KEYBOARD_LL, Proc, GetModuleHandleA(nullptr), 0);
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before "ready"
        SetEvent(self->ready_);
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
        if (hook) UnhookWindowsHookEx(hook);
        return 0;
    }

    static inline KeyRecorder* current_ = nullptr;
    CRITICAL_SECTION lock_;
    HANDLE ready_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    std::vector<Key> keys_;
};

using Key = KeyRecorder::Key;
constexpr bool kDown = false, kUp = true;

// ---------------------------------------------------------------- tab cycling

// Over both marked windows: down activates one child, up the other way
// round, a delta of 0 counts as up, and the notch never reaches the host.
void ExpectCycling(test::LoadedHost& lh, HWND over, POINT at, bool ctrl = false) {
    host::StandInHost& h = lh.Host();
    test::MoveCursorToWindow(over, at.x, at.y);
    h.ActivateChild(0);
    Settle(lh);
    // Pressed once the pointer has settled: under wine its arrival resyncs
    // the keyboard state with the X server.
    if (ctrl) {
        test::CtrlDown();
        ASSERT_TRUE(GetAsyncKeyState(VK_CONTROL) & 0x8000);
    }
    h.ClearReceived();
    // In MDI terms the next child is the one stacked right below the active
    // one, the previous child the one at the bottom.
    const HWND below = GetWindow(h.Child(0), GW_HWNDNEXT);
    const HWND bottom = GetWindow(h.Child(0), GW_HWNDLAST);

    // Each step is undone by the opposite one, so every notch starts from
    // the same MDI stacking order.
    test::Wheel(-kNotch);
    Settle(lh);
    const HWND next = h.ActiveChild();
    test::Wheel(kNotch);
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), h.Child(0)) << "up undoes down";
    test::Wheel(kNotch);
    Settle(lh);
    const HWND previous = h.ActiveChild();
    test::Wheel(-kNotch);
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), h.Child(0)) << "down undoes up";
    test::Wheel(0);
    Settle(lh);
    const HWND zero = h.ActiveChild();

    EXPECT_EQ(next, below);
    EXPECT_EQ(previous, bottom);
    EXPECT_NE(next, previous);
    EXPECT_EQ(zero, previous) << "a delta of 0 counts as up";
    EXPECT_TRUE(MouseEquals(h, {}));
    if (ctrl) {
        EXPECT_TRUE(GetAsyncKeyState(VK_CONTROL) & 0x8000);
        test::CtrlUp();
        Settle(lh);
    }
}

TEST(TabCycling, WheelOverTabBarAndToolbar) {
    test::LoadedHost lh;
    ExpectCycling(lh, lh.Host().Tab(), POINT{60, 14});
    ExpectCycling(lh, lh.Host().Toolbar(), BareToolbarPoint(lh.Host().Toolbar()));
}

TEST(TabCycling, CtrlMakesNoDifferenceOverMarkedWindows) {
    // Same-sender navigation is on and the start child is active: still cycling.
    test::LoadedHost lh(host::HostOptions(), "[Rollvix]\r\nMOVE_NEXTFROM=1\r\n");
    lh.Host().ClearCalls();
    ExpectCycling(lh, lh.Host().Tab(), POINT{60, 14}, true);
    EXPECT_TRUE(lh.Host().Calls().empty()) << "no message was read";
}

TEST(TabCycling, RightButtonMakesNoDifferenceOverMarkedWindows) {
    // A chord is assigned to both directions, yet only children cycle, and
    // since no gesture was done the click is replayed on release.
    test::LoadedHost lh(host::HostOptions(), "[Rollvix]\r\nMOD0=4\r\nKEY0=124\r\nMOD1=4\r\nKEY1=124\r\n");
    host::StandInHost& h = lh.Host();
    KeyRecorder keys;
    HWND toolbar = h.Toolbar();
    POINT at = BareToolbarPoint(toolbar);
    test::MoveCursorToWindow(toolbar, at.x, at.y);
    Settle(lh);
    test::RightDown();
    Settle(lh);
    test::Wheel(-kNotch);
    Settle(lh);
    EXPECT_NE(h.ActiveChild(), h.Child(0));
    test::Wheel(kNotch);
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), h.Child(0));
    test::RightUp();
    Settle(lh);
    EXPECT_TRUE(keys.Keys().empty());
    EXPECT_TRUE(MouseEquals(h, {{WM_RBUTTONDOWN, MK_RBUTTON, test::Point(at.x, at.y)}}));
}

// ------------------------------------------------------------- right click

TEST(RightClick, PlainClickIsReplayedAtTheReleasePoint) {
    test::LoadedHost lh;
    host::StandInHost& h = lh.Host();
    HWND status = h.Status();
    test::MoveCursorToWindow(status, 20, 8);
    Settle(lh);
    test::CtrlDown();
    test::RightDown();
    Settle(lh);
    test::CtrlUp();
    Settle(lh);
    EXPECT_TRUE(MouseEquals(h, {})) << "the press is held back";
    // Released elsewhere and without Ctrl: the replay has the press's key bits.
    test::MoveCursorToWindow(status, 40, 12);
    test::RightUp();
    Settle(lh);
    EXPECT_TRUE(MouseEquals(h, {{WM_RBUTTONDOWN, MK_RBUTTON | MK_CONTROL, test::Point(40, 12)}}));
}

TEST(RightClick, ReplayBeforeAnyPressGetsTheRightButtonBit) {
    test::LoadedHost lh;
    host::StandInHost& h = lh.Host();
    PostMessageA(h.Status(), WM_RBUTTONDOWN, 0, test::Point(5, 6));
    Settle(lh);
    EXPECT_TRUE(MouseEquals(h, {{WM_RBUTTONDOWN, MK_RBUTTON, test::Point(5, 6)}}));
}

TEST(RightClick, NegativeClientXKeepsItsLowSixteenBits) {
    test::LoadedHost lh;
    host::StandInHost& h = lh.Host();
    // The left frame of the active MDI child lies left of its client area.
    HWND child = h.ActiveChild();
    RECT frame;
    GetWindowRect(child, &frame);
    POINT border = {frame.left + 1, (frame.top + frame.bottom) / 2};
    ASSERT_EQ(WindowFromPoint(border), child);
    POINT client = border;
    ScreenToClient(child, &client);
    ASSERT_LT(client.x, 0);

    test::MoveCursorToWindow(h.Status(), 40, 12);
    test::RightDown();
    test::RightUp();
    // The hook reads the cursor when it takes the release from the queue.
    SetCursorPos(border.x, border.y);
    Settle(lh);
    EXPECT_TRUE(MouseEquals(h, {{WM_RBUTTONDOWN, MK_RBUTTON,
                                 MAKELPARAM(static_cast<WORD>(client.x), static_cast<WORD>(client.y))}}));
}

// ---------------------------------------------------------------- key chords

// Right button held over the status bar at (x, 12), one notch, release.
// Successive gestures use points far apart, so that no press counts as the
// second click of a double click.
std::vector<Key> ChordGesture(test::LoadedHost& lh, KeyRecorder& keys, int delta, size_t expectedKeys, int x = 40) {
    keys.Clear();
    test::MoveCursorToWindow(lh.Host().Status(), x, 12);
    Settle(lh);
    test::RightDown();
    Settle(lh);
    test::Wheel(delta);
    EXPECT_TRUE(test::PumpUntil(&lh.Host(), [&] { return keys.Count() >= expectedKeys; }));
    Settle(lh);
    test::RightUp();
    Settle(lh);
    return keys.Keys();
}

TEST(KeyChord, EachDirectionTypesItsChordAndTheReleasePasses) {
    test::LoadedHost lh(host::HostOptions(), "[Rollvix]\r\nMOD0=4\r\nKEY0=124\r\nMOD1=134\r\nKEY1=33\r\n");
    host::StandInHost& h = lh.Host();
    KeyRecorder keys;

    EXPECT_EQ(ChordGesture(lh, keys, -kNotch, 6),
              (std::vector<Key>{{VK_CONTROL, false, kDown}, {VK_SHIFT, false, kDown}, {VK_PRIOR, true, kDown},
                                {VK_PRIOR, true, kUp}, {VK_CONTROL, false, kUp}, {VK_SHIFT, false, kUp}}));
    EXPECT_TRUE(MouseEquals(h, {{WM_RBUTTONUP, 0, test::Point(40, 12)}}));

    const std::vector<Key> up = {
        {VK_SHIFT, false, kDown}, {VK_F13, false, kDown}, {VK_F13, false, kUp}, {VK_SHIFT, false, kUp}};
    EXPECT_EQ(ChordGesture(lh, keys, kNotch, 4, 80), up);
    EXPECT_TRUE(MouseEquals(h, {{WM_RBUTTONUP, 0, test::Point(80, 12)}}));
    EXPECT_EQ(ChordGesture(lh, keys, 0, 4, 120), up) << "a delta of 0 counts as up";
    EXPECT_TRUE(MouseEquals(h, {{WM_RBUTTONUP, 0, test::Point(120, 12)}}));
}

TEST(KeyChord, NoOptionsTypeTwoEmptyKeysAndSuppressTheReplay) {
    test::LoadedHost lh;
    KeyRecorder keys;
    EXPECT_EQ(ChordGesture(lh, keys, -kNotch, 2), (std::vector<Key>{{0, false, kDown}, {0, false, kUp}}));
    EXPECT_TRUE(MouseEquals(lh.Host(), {{WM_RBUTTONUP, 0, test::Point(40, 12)}}));
}

TEST(TabListGesture, ButtonStyleTabsPassTheNotchAndReplayTheClick) {
    host::HostOptions options;
    options.tabButtons = true;
    test::LoadedHost lh(options, "[Rollvix]\r\nTL1=1\r\n");
    host::StandInHost& h = lh.Host();
    KeyRecorder keys;
    HWND status = h.Status();
    ChordGesture(lh, keys, -kNotch, 0);
    EXPECT_TRUE(keys.Keys().empty());
    EXPECT_TRUE(MouseEquals(h, {{WM_MOUSEWHEEL, MAKEWPARAM(MK_RBUTTON, static_cast<WORD>(-kNotch)),
                                 ScreenPoint(status, 40, 12)},
                                {WM_RBUTTONDOWN, MK_RBUTTON, test::Point(40, 12)}}));
}

// -------------------------------------------------------- focus follows wheel

TEST(FocusFollowsWheel, FirstNotchMovesTheFocusOnly) {
    test::LoadedHost lh(host::HostOptions(), "[Rollvix]\r\nMOVE_FOCUS=1\r\n");
    host::StandInHost& h = lh.Host();
    SetFocus(h.List());
    test::MoveCursorToWindow(h.View(), 30, 30);
    Settle(lh);
    h.ClearReceived();

    test::Wheel(-kNotch);
    Settle(lh);
    EXPECT_EQ(GetFocus(), h.View());
    EXPECT_TRUE(MouseEquals(h, {}));

    test::Wheel(-kNotch);
    Settle(lh);
    EXPECT_EQ(GetFocus(), h.View());
    EXPECT_TRUE(MouseEquals(h, {{WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-kNotch)), ScreenPoint(h.View(), 30, 30)}}));
}

TEST(FocusFollowsWheel, OffLeavesTheFocusAlone) {
    test::LoadedHost lh;
    host::StandInHost& h = lh.Host();
    SetFocus(h.List());
    test::MoveCursorToWindow(h.View(), 30, 30);
    Settle(lh);
    h.ClearReceived();
    test::Wheel(-kNotch);
    Settle(lh);
    EXPECT_EQ(GetFocus(), h.List());
    EXPECT_TRUE(MouseEquals(h, {{WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-kNotch)), ScreenPoint(h.View(), 30, 30)}}));
}

// ----------------------------------------------------------- select tab, peek

TEST(SelectTab, OnlyAnIndexWithWParamOneSelects) {
    test::LoadedHost lh;
    host::StandInHost& h = lh.Host();
    ASSERT_EQ(h.CurrentTab(), 0);

    PostMessageA(h.Main(), kWmuSelectTab, 2, 1);
    PostMessageA(h.Main(), kWmuSelectTab, 1, -1);
    Settle(lh);
    EXPECT_EQ(h.CurrentTab(), 0);
    EXPECT_EQ(h.ActiveChild(), h.Child(0));

    PostMessageA(h.Main(), kWmuSelectTab, 1, 2);
    Settle(lh);
    EXPECT_EQ(h.CurrentTab(), 2);
    EXPECT_EQ(h.ActiveChild(), h.Child(2));

    // Recognised whatever window it is addressed to.
    PostMessageA(h.Status(), kWmuSelectTab, 1, 1);
    Settle(lh);
    EXPECT_EQ(h.CurrentTab(), 1);
}

TEST(Peek, MessagesAreOnlyActedOnWhenRemoved) {
    test::LoadedHost lh;
    host::StandInHost& h = lh.Host();
    Settle(lh);
    h.ClearReceived();
    const MSG posted[] = {
        {h.Status(), WM_RBUTTONDOWN, MK_RBUTTON, test::Point(3, 4), 0, {}},
        {h.Main(), kWmuSelectTab, 1, 3, 0, {}},
    };
    for (const MSG& p : posted) {
        PostMessageA(p.hwnd, p.message, p.wParam, p.lParam);
        for (int peek = 0; peek < 2; ++peek) {
            MSG seen = {};
            ASSERT_TRUE(PeekMessageA(&seen, nullptr, 0, 0, PM_NOREMOVE));
            EXPECT_EQ(seen.hwnd, p.hwnd);
            EXPECT_EQ(seen.message, p.message);
            EXPECT_EQ(seen.wParam, p.wParam);
            EXPECT_EQ(seen.lParam, p.lParam);
        }
        EXPECT_EQ(h.CurrentTab(), 0);
        Settle(lh);
    }
    // Removed, the press was held back and the tab selected.
    EXPECT_TRUE(MouseEquals(h, {}));
    EXPECT_EQ(h.CurrentTab(), 3);
}

}  // namespace

// Wheel and right-button gestures with the real plug-in in the stand-in host,
// judged by what the host's message loop received.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/popup_driver.h"
#include "support/test_support.h"

namespace {

using test::kNotch;
using test::kWmuSelectTab;

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
        current_ = this;
        thread_ = std::make_unique<test::LoopThread>(
            [this] { hook_ = SetWindowsHookExA(WH_KEYBOARD_LL, Proc, GetModuleHandleA(nullptr), 0); },
            [this] {
                if (hook_) UnhookWindowsHookEx(hook_);
            });
    }
    ~KeyRecorder() {
        thread_.reset();
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

    static inline KeyRecorder* current_ = nullptr;
    CRITICAL_SECTION lock_;
    HHOOK hook_ = nullptr;
    std::unique_ptr<test::LoopThread> thread_;
    std::vector<Key> keys_;
};

using Key = KeyRecorder::Key;
constexpr bool kDown = false, kUp = true;

// ---------------------------------------------------------------- tab cycling

// The first child active, the cursor resting over `over` (at x, y), nothing
// recorded yet.
void RestCursorOver(test::LoadedHost& lh, HWND over, int x = 60, int y = 14) {
    test::MoveCursorToWindow(over, x, y);
    lh.Host().ActivateChild(0);
    Settle(lh);
    lh.Host().ClearReceived();
}

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
    const HWND belowBelow = GetWindow(below, GW_HWNDNEXT);

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
    EXPECT_EQ(h.ActiveChild(), h.Child(0)) << "a delta of 0 turns nothing";
    ExpectMouseReceived(h, "zero", {{WM_MOUSEWHEEL, MAKEWPARAM(ctrl ? MK_CONTROL : 0, 0), ScreenPoint(over, at.x, at.y)}});
    // One message of two notches is two steps.
    test::Wheel(-2 * kNotch);
    Settle(lh);
    const HWND twoDown = h.ActiveChild();
    test::Wheel(2 * kNotch);
    Settle(lh);

    EXPECT_EQ(next, below);
    EXPECT_EQ(previous, bottom);
    EXPECT_NE(next, previous);
    EXPECT_EQ(twoDown, belowBelow);
    EXPECT_EQ(h.ActiveChild(), h.Child(0));
    ExpectMouseReceived(h, "", {});
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

// The plug-in's whole life, which scripts/clang-build.sh also runs with the
// DLL clang built: loaded, one notch over the tab bar activates the next
// child; unloaded, the module is gone and the next notch reaches the host.
TEST(TabCycling, OneNotchWhileLoadedAndNoneAfterTheUnload) {
    test::LoadedHost lh;
    ASSERT_NE(lh.Module(), nullptr);
    host::StandInHost& h = lh.Host();
    RestCursorOver(lh, h.Tab());
    const HWND below = GetWindow(h.Child(0), GW_HWNDNEXT);
    test::Wheel(-kNotch);
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), below);
    ExpectMouseReceived(h, "loaded", {});

    lh.Unload();
    EXPECT_EQ(GetModuleHandleA(lh.Plugin().DllPath().c_str()), nullptr);
    test::Wheel(-kNotch);
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), below);
    ExpectMouseReceived(h, "unloaded", {{WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-kNotch)),
                                          ScreenPoint(h.Tab(), 60, 14)}});
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
    ExpectMouseReceived(h, "", {{WM_RBUTTONDOWN, MK_RBUTTON, test::Point(at.x, at.y)}});
}

// A touchpad's sideways swipe or a tilt wheel over the tab bar: right is the
// next window, left the previous one, gathered like the wheel; elsewhere the
// host gets it as it is.
TEST(TabCycling, SidewaysOverTheTabBarRightIsNextLeftIsPrevious) {
    test::LoadedHost lh;
    host::StandInHost& h = lh.Host();
    RestCursorOver(lh, h.Tab());
    const HWND below = GetWindow(h.Child(0), GW_HWNDNEXT);
    const HWND bottom = GetWindow(h.Child(0), GW_HWNDLAST);
    test::HWheel(kNotch);
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), below);
    test::HWheel(-kNotch);
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), h.Child(0));
    for (int delta : {-60, -50}) test::HWheel(delta);
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), h.Child(0)) << "less than a notch";
    test::HWheel(-10);
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), bottom);
    ExpectMouseReceived(h, "over the tab bar", {});
    // No rotation is no gesture, here too. Positions are left out: this wine
    // gives a sideways message's in client coordinates.
    test::HWheel(0);
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), bottom);
    std::vector<host::Received> got = h.TakeReceived();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, static_cast<UINT>(WM_MOUSEHWHEEL));
    EXPECT_EQ(got[0].wParam, 0u);

    test::MoveCursorToWindow(h.View(), 30, 30);
    Settle(lh);
    test::HWheel(kNotch);
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), bottom);
    got = h.TakeReceived();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, static_cast<UINT>(WM_MOUSEHWHEEL));
    EXPECT_EQ(got[0].wParam, MAKEWPARAM(0, kNotch));
}

// ------------------------------------------------------------- right click

TEST(RightClick, PlainClickIsReplayedAtTheReleasePoint) {
    test::LoadedHost lh(host::HostOptions(), "[Rollvix]\r\nTL1=1\r\n");
    host::StandInHost& h = lh.Host();
    HWND status = h.Status();
    test::MoveCursorToWindow(status, 20, 8);
    Settle(lh);
    test::CtrlDown();
    test::RightDown();
    Settle(lh);
    test::CtrlUp();
    Settle(lh);
    ExpectMouseReceived(h, "the press is held back", {});
    // A wheel message a program posts meanwhile (no key bits) ends nothing.
    const test::Expected posted = {WM_MOUSEWHEEL, MAKEWPARAM(0, kNotch), ScreenPoint(status, 20, 8)};
    PostMessageA(status, posted.message, posted.wParam, posted.lParam);
    // Released elsewhere and without Ctrl: the replay has the press's key
    // bits. A capture the host took meanwhile is not the hold's to end.
    test::MoveCursorToWindow(status, 40, 12);
    SetCapture(h.List());
    test::RightUp();
    Settle(lh);
    ExpectMouseReceived(h, "", {posted, {WM_RBUTTONDOWN, MK_RBUTTON | MK_CONTROL, test::Point(40, 12)}});
    EXPECT_EQ(GetCapture(), h.List()) << "neither the release nor the replay ends the host's capture";
    ReleaseCapture();

    h.ActivateChild(1);
    const HWND edit = GetWindow(h.Child(1), GW_CHILD);
    // A drag of the host's own (an edit's selection): a right press then is
    // the edit's, and a notch opens no TabList (its capture would end the drag).
    test::MoveCursorToWindow(edit, 20, 10);
    test::LeftDown();
    Settle(lh);
    ASSERT_EQ(GetCapture(), edit);
    popup::Script bound({[](HWND) { return false; }}, 200, 2000);  // ends a popup, should one open
    bound.Start();
    test::RightDown();
    test::Wheel(-kNotch);
    Settle(lh);
    EXPECT_EQ(GetCapture(), edit);
    test::LeftUp();
    test::MoveCursorToWindow(status, 60, 12);
    test::RightUp();
    Settle(lh);
    bound.Stop();
}

// Only the replay the hook posted passes as its replay: a press whose
// message says no button is held like any other, and its click replayed
// whole with the right button's bit.
TEST(RightClick, APressSayingNoButtonIsHeldAndReplayedWithTheRightButtonBit) {
    test::LoadedHost lh;
    host::StandInHost& h = lh.Host();
    test::MoveCursorToWindow(h.Status(), 5, 6);
    Settle(lh);
    h.ClearReceived();
    PostMessageA(h.Status(), WM_RBUTTONDOWN, 0, test::Point(5, 6));
    PostMessageA(h.Status(), WM_RBUTTONUP, 0, test::Point(5, 6));
    Settle(lh);
    ExpectMouseReceived(h, "", {{WM_RBUTTONDOWN, MK_RBUTTON, test::Point(5, 6)}});
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
    Settle(lh);
    // The hold's capture makes the release over the frame a client one.
    test::MoveCursorTo(border.x, border.y);
    test::RightUp();
    Settle(lh);
    ExpectMouseReceived(h, "", {{WM_RBUTTONDOWN, MK_RBUTTON,
                                 MAKELPARAM(static_cast<WORD>(client.x), static_cast<WORD>(client.y))}});
}

// The second press of a double click (the status bar's class has
// CS_DBLCLKS) is held back like the first: one message per press.
TEST(RightClick, ADoubleClickReachesTheHostAsAClickThenADoubleClick) {
    test::LoadedHost lh;
    host::StandInHost& h = lh.Host();
    ASSERT_TRUE(GetClassLongA(h.Status(), GCL_STYLE) & CS_DBLCLKS);
    test::MoveCursorToWindow(h.Status(), 60, 12);
    Settle(lh);
    h.ClearReceived();
    test::RightDown();
    test::RightUp();
    test::RightDown();
    test::RightUp();
    Settle(lh);
    ExpectMouseReceived(h, "double click", {{WM_RBUTTONDOWN, MK_RBUTTON, test::Point(60, 12)},
                                            {WM_RBUTTONDBLCLK, MK_RBUTTON, test::Point(60, 12)}});

    // A wheel notch during the second press makes it a gesture; the one
    // after a gesture is no double click for the host, which saw no click.
    test::MoveCursorToWindow(h.Status(), 160, 12);
    Settle(lh);
    test::RightDown();
    test::RightUp();
    test::RightDown();
    Settle(lh);
    test::Wheel(-kNotch);  // the button is seen held only while it is
    Settle(lh);
    test::RightUp();
    test::RightDown();
    test::RightUp();
    Settle(lh);
    ExpectMouseReceived(h, "gesture between", {{WM_RBUTTONDOWN, MK_RBUTTON, test::Point(160, 12)},
                                               {WM_RBUTTONDOWN, MK_RBUTTON, test::Point(160, 12)}});

    // A click, a gesture elsewhere, at once a click there: the system pairs
    // the last press with the gesture's, which the host never got.
    test::MoveCursorToWindow(h.Status(), 260, 12);
    Settle(lh);
    test::RightDown();
    test::RightUp();
    Settle(lh);
    test::MoveCursorToWindow(h.Status(), 360, 12);
    Settle(lh);
    test::RightDown();
    Settle(lh);
    test::Wheel(-kNotch);
    Settle(lh);
    test::RightUp();
    test::RightDown();
    test::RightUp();
    Settle(lh);
    ExpectMouseReceived(h, "gesture before", {{WM_RBUTTONDOWN, MK_RBUTTON, test::Point(260, 12)},
                                              {WM_RBUTTONDOWN, MK_RBUTTON, test::Point(360, 12)}});
}

// A window of another thread, standing for another program's.
class ForeignWindow {
public:
    explicit ForeignWindow(RECT r, const char* text = "")
        : thread_([this, r, text] {
                      WNDCLASSA wc = {};
                      wc.lpfnWndProc = Proc;
                      wc.hInstance = GetModuleHandleA(nullptr);
                      wc.lpszClassName = "RollvixTestForeign";
                      RegisterClassA(&wc);
                      hwnd_ = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, text,
                                              WS_POPUP | WS_VISIBLE, r.left, r.top, r.right - r.left,
                                              r.bottom - r.top, nullptr, nullptr, wc.hInstance, nullptr);
                      SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
                  },
                  [this] { DestroyWindow(hwnd_); }) {}
    HWND Hwnd() const { return hwnd_; }
    LONG Presses() const { return presses_; }
    LONG LeftPresses() const { return leftPresses_; }
    LONG TextQueries() const { return textQueries_; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<ForeignWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (self && (msg == WM_RBUTTONDOWN || msg == WM_RBUTTONDBLCLK)) InterlockedIncrement(&self->presses_);
        if (self && msg == WM_LBUTTONDOWN) InterlockedIncrement(&self->leftPresses_);
        if (self && msg == WM_GETTEXT) InterlockedIncrement(&self->textQueries_);
        // Clicked, it stays in the background (as the taskbar does).
        if (msg == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
    HWND hwnd_ = nullptr;
    volatile LONG presses_ = 0;
    volatile LONG leftPresses_ = 0;
    volatile LONG textQueries_ = 0;
    test::LoopThread thread_;  // last: the window goes before the rest
};

// Another thread's window, even one of the host's with the marker's text: a
// click ending there does nothing, and a notch over it is the host's. Asked
// for its text, a busy thread would stall the host.
TEST(RightClick, AClickOrANotchOverAnotherThreadsWindowDoesNothing) {
    test::LoadedHost lh(host::HostOptions(), "[Rollvix]\r\nMOVE_FOCUS=1\r\n");
    host::StandInHost& h = lh.Host();
    RECT bar;
    GetWindowRect(h.Status(), &bar);
    ForeignWindow other({bar.left + 300, bar.top - 40, bar.left + 400, bar.bottom}, "RollvixTarget");
    test::MoveCursorToWindow(h.Status(), 40, 12);
    Settle(lh);
    h.ClearReceived();
    test::RightDown();
    Settle(lh);
    test::MoveCursorTo(bar.left + 350, bar.top - 20);
    Settle(lh);
    ASSERT_EQ(WindowFromPoint(POINT{bar.left + 350, bar.top - 20}), other.Hwnd());
    test::RightUp();
    Settle(lh);
    ExpectMouseReceived(h, "released outside", {});
    EXPECT_EQ(other.Presses(), 0);

    // Posted to the host: a real notch may be routed to the window under the cursor.
    const LONG asked = other.TextQueries();
    PostMessageA(h.List(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-kNotch)), 0);
    PostMessageA(h.List(), WM_MOUSEHWHEEL, MAKEWPARAM(0, kNotch), 0);
    Settle(lh);
    EXPECT_EQ(other.TextQueries(), asked);
    ExpectMouseReceived(h, "notches", {{WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-kNotch)), 0},
                                       {WM_MOUSEHWHEEL, MAKEWPARAM(0, kNotch), 0}});
}

// ---------------------------------------------- judged as the hand made it

// Every message is judged by the moment the hand made it: its own point and
// key bits, and whether the hook held back the press before it. A busy host
// (fetching mail, opening a large folder) takes a whole movement late.
class AsTheHandMadeIt : public ::testing::Test {
protected:
    void TearDown() override { test::ReleaseAllInput(); }
    // Makes `moves` with real input on another thread while this one, the
    // host's, waits for them; then lets the host take them all.
    static void WhileHostBusy(test::LoadedHost& lh, std::function<void()> moves) {
        { test::LoopThread hand(std::move(moves), [] {}); }
        Settle(lh);
    }
};

TEST_F(AsTheHandMadeIt, ABusyHostTypesTheChordAndWalksToTheSameSender) {
    host::HostOptions folder;
    folder.messages = {popup::Mail("a@x"), popup::Mail("b@x"), popup::Mail("a@x")};
    test::LoadedHost lh(folder, "[Rollvix]\r\nMOD1=4\r\nKEY1=124\r\nMOVE_NEXTFROM=1\r\n");
    host::StandInHost& h = lh.Host();
    KeyRecorder keys;
    RestCursorOver(lh, h.Status(), 40, 12);
    WhileHostBusy(lh, [] {
        test::RightDown();
        test::Wheel(-kNotch);
        test::RightUp();
    });
    EXPECT_TRUE(test::PumpUntil(&h, [&] { return keys.Count() >= 4; }));
    Settle(lh);
    EXPECT_EQ(keys.Count(), 4u) << "one chord";
    ExpectMouseReceived(h, "no click replayed, the release kept", {});

    h.SelectItem(0);
    RestCursorOver(lh, h.List(), 60, 40);
    // Ctrl is up again when the host gets to the notch.
    WhileHostBusy(lh, [] {
        test::CtrlDown();
        test::Wheel(-kNotch);
        test::CtrlUp();
    });
    EXPECT_EQ(h.SelectedItem(), 2);
    ExpectMouseReceived(h, "the list never scrolled", {});
}

TEST_F(AsTheHandMadeIt, ABusyHostCyclesWhereTheWheelTurnedAndReplaysWhereTheButtonRose) {
    test::LoadedHost lh;
    host::StandInHost& h = lh.Host();
    for (bool sideways : {false, true}) {
        RestCursorOver(lh, h.Tab());
        const HWND below = GetWindow(h.Child(0), GW_HWNDNEXT);
        WhileHostBusy(lh, [&] {
            sideways ? test::HWheel(kNotch) : test::Wheel(-kNotch);
            test::MoveCursorToWindow(h.View(), 30, 30);
        });
        EXPECT_EQ(h.ActiveChild(), below) << (sideways ? "sideways" : "vertical");
        ExpectMouseReceived(h, sideways ? "sideways" : "vertical", {});
    }

    RECT frame;
    GetWindowRect(h.Main(), &frame);
    const POINT outside = {frame.right + 40, (frame.top + frame.bottom) / 2};
    ASSERT_NE(GetWindowThreadProcessId(WindowFromPoint(outside), nullptr), GetCurrentThreadId());
    RestCursorOver(lh, h.View(), 30, 30);
    WhileHostBusy(lh, [&] {
        test::RightDown();
        test::RightUp();
        test::MoveCursorTo(outside.x, outside.y);
    });
    const std::vector<host::Received> got = h.TakeReceived();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].hwnd, h.View());
    EXPECT_TRUE(test::SequenceEquals("click", {{got[0].message, got[0].wParam, got[0].lParam}},
                                     {{WM_RBUTTONDOWN, MK_RBUTTON, test::Point(30, 30)}}));
}

// Frees this thread from a loop nested in a dispatch, which the test's pump
// cannot bound (DefWindowProc waiting for a release it never gets): unless
// disarmed in time, it has the thread post itself WM_QUIT, through a sent
// message, which such a loop takes whatever its filter.
class Watchdog {
public:
    explicit Watchdog(DWORD ms) : ms_(ms) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Quit;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "RollvixTestWatchdog";
        RegisterClassA(&wc);
        window_ = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                  nullptr);
        disarm_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~Watchdog() {
        SetEvent(disarm_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        CloseHandle(disarm_);
        DestroyWindow(window_);
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    bool Fired() const { return fired_ != 0; }

private:
    static LRESULT CALLBACK Quit(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_APP) PostQuitMessage(0);
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
    static DWORD WINAPI Run(void* param) {
        auto* self = static_cast<Watchdog*>(param);
        if (WaitForSingleObject(self->disarm_, self->ms_) == WAIT_TIMEOUT) {
            InterlockedExchange(&self->fired_, 1);
            SendMessageTimeoutA(self->window_, WM_APP, 0, 0, SMTO_NORMAL, test::kDefaultTimeoutMs, nullptr);
        }
        return 0;
    }
    DWORD ms_;
    HWND window_ = nullptr;
    HANDLE disarm_ = nullptr, thread_ = nullptr;
    volatile LONG fired_ = 0;
};

// A press on an MDI child's caption (WM_NCRBUTTONDOWN) is the host's, and so
// are the notches and the release after it: under wine its DefWindowProc
// waits in a loop of its own for that release, then opens the window menu,
// as Windows does at the release. Before it, held-back presses end with
// their releases, wherever those went.
TEST_F(AsTheHandMadeIt, APressOnACaptionKeepsItsNotchesAndReleaseForTheHost) {
    test::DeliveryLog log;
    test::LoadedHost lh(host::HostOptions(), "[Rollvix]\r\nMOD0=4\r\nKEY0=124\r\nTL1=1\r\n");
    host::StandInHost& h = lh.Host();
    KeyRecorder keys;
    const HWND child = h.ActiveChild();
    RECT frame;
    GetWindowRect(child, &frame);
    const POINT caption = {(frame.left + frame.right) / 2,
                           frame.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2};
    ASSERT_EQ(SendMessageA(child, WM_NCHITTEST, 0, MAKELPARAM(caption.x, caption.y)), HTCAPTION);
    RECT host;
    GetWindowRect(h.Main(), &host);
    const POINT away = {host.right + 40, host.top + 40};
    ForeignWindow other({away.x - 20, away.y - 20, away.x + 60, away.y + 60});
    ASSERT_EQ(WindowFromPoint(away), other.Hwnd());
    POINT client = caption;
    ScreenToClient(child, &client);
    // A click that ends over another program: its release comes back, or went
    // there (the host busy, or that program in the foreground). Either way
    // the hold ends, and a press begun there and carried in is the host's.
    // After a chord's keys the capture is back, unless a question ended it.
    enum How { kReleased, kBusy, kTaken, kChord, kChordTaken, kChordTakenKeys, kChordAsked };
    POINT overBar = {60, 12}, atPress = {40, 12};
    ClientToScreen(h.Status(), &overBar);
    ClientToScreen(h.Status(), &atPress);
    const struct {
        const char* label;
        How how;
        POINT to;
    } kEnds[] = {{"released over another program", kReleased, away},
                 {"released there while the host was busy", kBusy, away},
                 {"that program took the foreground", kTaken, away},
                 {"that program took the foreground, released over the host", kTaken, overBar},
                 {"that program took the foreground, released where pressed", kTaken, atPress},
                 {"released over a caption while the host was busy", kBusy, caption},
                 {"a chord released over a caption", kChord, caption},
                 {"a chord, then that program took the foreground", kChordTaken, overBar},
                 {"a chord whose keys were taken, released over that program", kChordTakenKeys, away},
                 {"a chord, then a question, released over that program", kChordAsked, away}};
    for (const auto& end : kEnds) {
        test::MoveCursorToWindow(h.Status(), 40, 12);
        Settle(lh);
        h.ClearReceived();
        keys.Clear();
        test::RightDown();
        if (end.how != kBusy) Settle(lh);
        if (end.how == kTaken) {
            SetForegroundWindow(other.Hwnd());
            EXPECT_TRUE(test::PumpUntil(&h, [] { return GetCapture() == nullptr; })) << "let go behind " << end.label;
        }
        if (end.how >= kChord) test::Wheel(kNotch);
        if (end.how >= kChordTaken) {
            test::PumpUntil(&h, [&] { return keys.Count() >= 4; });
            Settle(lh);
            EXPECT_EQ(GetCapture(), h.MdiClient()) << "back after the keys, " << end.label;
        }
        if (end.how == kChordTaken) SetForegroundWindow(other.Hwnd());
        if (end.how == kChordAsked) {
            popup::Script answer({[](HWND) { return EndDialog(popup::FindOtherDialog(), IDOK) != FALSE; }});
            answer.Start();
            MessageBoxA(h.Main(), "?", "", MB_OK);
            answer.Stop();
            // Its capture gone, the press makes no more gestures.
            test::Wheel(kNotch);
        }
        test::MoveCursorTo(end.to.x, end.to.y);
        // With another program in front, a notch is no chord: it is the host's.
        if (end.how == kChordTaken) test::Wheel(kNotch);
        test::RightUp();
        EXPECT_TRUE(test::PumpUntil(&h, [] { return GetCapture() == nullptr; })) << end.label;
        Settle(lh);
        std::vector<test::Expected> want = {{WM_MOUSEWHEEL, MAKEWPARAM(MK_RBUTTON, kNotch), ScreenPoint(h.Status(), 40, 12)},
                                            {WM_RBUTTONUP, 0, test::Point(40, 12)}};
        // A click no gesture used reaches the host whole where the button rose over it.
        POINT rose = end.to;
        ScreenToClient(WindowFromPoint(rose), &rose);
        if ((end.how == kBusy && end.to.x == caption.x) || (end.how == kTaken && end.to.x != away.x))
            want.insert(want.begin(), {WM_RBUTTONDOWN, MK_RBUTTON, test::Point(rose.x, rose.y)});
        if (end.how == kChordTaken) want.insert(want.begin(), {WM_MOUSEWHEEL, MAKEWPARAM(MK_RBUTTON, kNotch), MAKELPARAM(overBar.x, overBar.y)});
        if (end.how == kChordAsked) want.insert(want.begin(), want[0]);  // the same notch, made blind
        test::MoveCursorTo(away.x, away.y);
        Settle(lh);  // a warp right before a press makes wine read the button up
        test::RightDown();
        // Wine leaves a capture set when the foreground goes: the hold ends
        // as the mouse comes back, before a click there goes astray.
        test::MoveCursorToWindow(h.Status(), 40, 12);
        Settle(lh);
        EXPECT_EQ(GetCapture(), nullptr) << end.label;
        test::Wheel(kNotch);
        Settle(lh);
        test::RightUp();
        Settle(lh);
        EXPECT_EQ(keys.Count(), end.how >= kChord ? 4u : 0u) << end.label;
        ExpectMouseReceived(h, end.label, want);
    }
    keys.Clear();
    test::MoveCursorTo(caption.x, caption.y);
    Settle(lh);
    log.Clear();
    // Ends the window menu the release opens, and counts a TabList should
    // one open: a step that is never done, tried at every tick.
    int popups = 0;
    popup::Script endModal({[&](HWND popup) {
        EndMenu();
        if (popup) PostMessageA(popup, WM_COMMAND, IDCANCEL, 0);
        popups += popup != nullptr;
        return false;
    }});
    bool stuck = false;
    {
        endModal.Start();
        Watchdog dog(2 * test::kDefaultTimeoutMs);
        test::RightDown();
        test::Wheel(kNotch);
        test::Wheel(-kNotch);
        test::RightUp();
        const auto released = [&] {
            for (const test::Expected& e : log.DeliveredTo(h.Main()))
                if (e.message == WM_RBUTTONUP) return true;
            return false;
        };
        test::PumpUntil(&h, released);
        stuck = dog.Fired();
        endModal.Stop();
    }
    Settle(lh);
    EXPECT_FALSE(stuck) << "the host waited for the release until freed";
    EXPECT_TRUE(keys.Keys().empty());
    EXPECT_EQ(popups, 0);
    const LPARAM at = test::Point(caption.x, caption.y);
    // Its own window menu, asked for at the release, is all the host shows.
    std::vector<test::Expected> got, menus;
    for (const test::Expected& e : log.DeliveredTo(h.Main())) (e.message == WM_CONTEXTMENU ? menus : got).push_back(e);
    EXPECT_TRUE(test::SequenceEquals("caption", got,
                                     {{WM_NCRBUTTONDOWN, HTCAPTION, at},
                                      {WM_MOUSEWHEEL, MAKEWPARAM(MK_RBUTTON, kNotch), at},
                                      {WM_MOUSEWHEEL, MAKEWPARAM(MK_RBUTTON, static_cast<WORD>(-kNotch)), at},
                                      {WM_RBUTTONUP, 0, test::Point(client.x, client.y)}}));
    for (const test::Expected& m : menus) EXPECT_EQ(m.lParam, at) << "the window menu at the release point";
    // Its release made over that program in front, the press leaves the
    // host's loop waiting: the host's next right click ends it.
    {
        Watchdog dog(2 * test::kDefaultTimeoutMs);
        test::MoveCursorTo(caption.x + 40, caption.y);  // no double click
        Settle(lh);
        test::RightDown();
        // Once the loop has the mouse, that program comes to the front, then the
        // release over it and a click over the host. A warp right before a
        // button makes wine read it up: each settles first.
        volatile LONG done = 0;
        std::jthread hand([=, &done, host = GetCurrentThreadId(), us = other.Hwnd()] {
            GUITHREADINFO info = {};
            info.cbSize = sizeof info;
            for (int i = 0; i < 500 && !(GetGUIThreadInfo(host, &info) && info.hwndCapture == child); ++i) Sleep(10);
            SetForegroundWindow(us);
            for (POINT to : {away, overBar}) {
                test::MoveCursorTo(to.x, to.y);
                Sleep(100);
                if (to.x == overBar.x) test::RightDown();
                test::RightUp();
            }
            done = 1;
        });
        EXPECT_TRUE(test::PumpUntil(&h, [&] { return done && !GetCapture() && !HIWORD(GetQueueStatus(QS_MOUSEBUTTON)); }));
        EXPECT_FALSE(dog.Fired()) << "a right click in the host ended its loop";
    }
}

// What the host does meanwhile, armed by a step of a hand: its accelerator's
// command starts a drag on the edit, opens a window that becomes active, or
// waits while the hand lets go over that program.
// A host whose F10 opens no menu bar, so that a chord of F10 alone ends as
// it began.
struct HostReaction {
    static inline WNDPROC original = nullptr;
    static inline HWND edit = nullptr, dialog = nullptr;
    static inline POINT away = {};
    static inline char armed = 0;
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_KEYMENU) return 0;
        if (msg == WM_COMMAND && LOWORD(wp) == host::kCmdAddressBook && armed == 'A') SetCapture(edit);
        if (msg == WM_COMMAND && LOWORD(wp) == host::kCmdAddressBook && armed == 'B')
            dialog = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0, 120, 60, hwnd,
                                     nullptr, nullptr, nullptr);
        if (msg == WM_COMMAND && LOWORD(wp) == host::kCmdAddressBook && armed == 'C')
            test::MoveCursorTo(away.x, away.y), test::RightUp();
        if (msg == WM_COMMAND && LOWORD(wp) == host::kCmdAddressBook && armed == 'W')
            test::Wheel(test::kNotch), test::RightUp(), Sleep(200);
        if (msg == WM_COMMAND && LOWORD(wp) == host::kCmdAddressBook && armed == 'T')
            for (const DWORD start = GetTickCount(); GetTickCount() - start < 600; Sleep(5))
                for (MSG m; PeekMessageA(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE);) DispatchMessageA(&m);
        if (msg == WM_COMMAND) armed = 0;
        return CallWindowProcA(original, hwnd, msg, wp, lp);
    }
};

// A key remapper: eats each key event typed with extra info (the plug-in's
// marked one) and types it again without.
LRESULT CALLBACK Remap(int code, WPARAM wParam, LPARAM lParam) {
    auto* k = reinterpret_cast<KBDLLHOOKSTRUCT*>(lParam);
    if (code != HC_ACTION || !k->dwExtraInfo || k->dwExtraInfo == test::kInjectedTag)
        return CallNextHookEx(nullptr, code, wParam, lParam);
    keybd_event(static_cast<BYTE>(k->vkCode), 0, (k->flags & LLKHF_UP) ? KEYEVENTF_KEYUP : 0, 0);
    return 1;
}

// A keyboard hook that takes its time over each key the plug-in types.
LRESULT CALLBACK SlowKeys(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && reinterpret_cast<KBDLLHOOKSTRUCT*>(lParam)->dwExtraInfo != test::kInjectedTag) Sleep(40);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Each hand a string of steps, what the host must get a string of its mouse
// messages (d, u: right press, release; D: right double click; w: wheel; L,
// l: left press, release). Steps: P, R right press, release; ^ a notch up
// (a chord), 2 one message of two, v a notch down (the TabList); L, l left
// press, release, c both; [ ] made while the host is busy;
// S a press by another thread right after this one read the button; F, H
// that program, the host, to the front; q a question; e over the edit; A,
// B, C the accelerator's next command drags, opens a window, waits while
// the button rises over that program; W, T: it waits while a notch up and
// the release are made, pumps only timers for 600 ms; K a remapper, Y a
// slow keyboard hook; o, s over that program, back over the status bar;
// z a while; M, 0, X: the capture now on the MDI client, nowhere, the edit.
// A left click the host gets elsewhere than under its point shows as L*,
// l*. A timer of the host's own on the MDI client ticks on through every
// hand, and the watch's ticks never reach the host.
TEST_F(AsTheHandMadeIt, EachHandReachesTheHostAsItMustWhateverItMeets) {
    const char* const kCtrlF13 = "[Rollvix]\r\nMOD0=2\r\nKEY0=124\r\nTL1=1\r\n";
    const struct {
        const char* label;
        const char* ini;
        const char* steps;
        size_t keys;
        int commands;
        const char* host;
    } kHands[] = {
        {"a busy host takes both notches", kCtrlF13, "[P^^R]", 8, 2, ""},
        {"two notches before the first one's keys", kCtrlF13, "P[^^]MR", 8, 2, ""},
        {"one message of two notches", kCtrlF13, "P2MR", 8, 2, ""},
        {"a press right after a read of the button", kCtrlF13, "S[^]R", 4, 1, ""},
        {"a click right after a read of the button", kCtrlF13, "SzR", 0, 0, "d"},
        {"the accelerator starts a drag", kCtrlF13, "AP^XR", 4, 1, ""},
        {"the accelerator opens a window", kCtrlF13, "BP^0R", 4, 1, ""},
        {"a remapper, then the edit's drag", kCtrlF13, "eKP^LX^vXlR", 4, 1, "Lwwl"},
        {"a remapper, a while", kCtrlF13, "KP^z^R", 4, 1, "w"},
        {"released over that program before the keys came", kCtrlF13, "CP^0", 4, 1, ""},
        {"a question, a notch, a left click behind it", kCtrlF13, "Pq[^c]R", 0, 0, "wLld"},
        {"a second press while the hold has the mouse", kCtrlF13, "PP^R", 4, 1, ""},
        {"F10 alone", "[Rollvix]\r\nKEY0=121\r\n", "P^MR", 2, 0, ""},
        {"that program in front, then the host again", kCtrlF13, "PFz0H^R", 0, 0, "wd"},
        {"a notch and the release made while the chord's command runs", kCtrlF13, "WP^", 8, 2, ""},
        {"the chord's command pumps only timers for a while", kCtrlF13, "TP^z^R", 8, 2, ""},
        {"a slow keyboard hook delays the first chord", kCtrlF13, "YP^^R", 8, 2, ""},
        {"a whole click released over that program taken late, then a left click", kCtrlF13, "[PoRsc]", 0, 0, "Ll"},
    };
    int popups = 0;
    popup::Script endPopups({[&](HWND popup) {
        if (popup) PostMessageA(popup, WM_COMMAND, IDCANCEL, 0);
        popups += popup != nullptr;
        return false;
    }});
    endPopups.Start();
    constexpr UINT_PTR kHostTimer = 0x5257;
    for (const auto& hand : kHands) {
        test::DeliveryLog log;
        test::LoadedHost lh(host::HostOptions(), hand.ini);
        host::StandInHost& h = lh.Host();
        h.ActivateChild(1);
        HostReaction::edit = GetWindow(h.Child(1), GW_CHILD);
        HostReaction::original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(h.Main(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HostReaction::Proc)));
        RECT frame;
        GetWindowRect(h.Main(), &frame);
        ForeignWindow other({frame.right + 20, frame.top + 20, frame.right + 100, frame.top + 100});
        HostReaction::away = {frame.right + 60, frame.top + 60};
        std::unique_ptr<test::LoopThread> remapper;
        HHOOK remap = nullptr;
        KeyRecorder keys;
        test::MoveCursorToWindow(h.Status(), 40, 12);
        const auto pump = [&](DWORD ms) { test::PumpUntil(&h, [] { return false; }, ms); };
        SetTimer(h.MdiClient(), kHostTimer, 50, nullptr);
        pump(100);
        h.ClearReceived();
        log.Clear();
        const auto input = [&](char step) {
            switch (step) {
                case 'P': return test::RightDown();
                case 'R': return test::RightUp();
                case '^': return test::Wheel(kNotch);
                case 'v': return test::Wheel(-kNotch);
                case '2': return test::Wheel(2 * kNotch);
                case 'c': return test::LeftDown(), test::LeftUp();
                case 'L': return test::LeftDown();
                case 'l': return test::LeftUp();
                case 'e': return test::MoveCursorToWindow(HostReaction::edit, 20, 10);
                case 'o': return test::MoveCursorTo(HostReaction::away.x, HostReaction::away.y);
                case 's': return test::MoveCursorToWindow(h.Status(), 40, 12);
            }
        };
        for (const char* s = hand.steps; *s; ++s) {
            const std::string at = std::string(hand.label) + ", step " + std::to_string(s - hand.steps);
            switch (*s) {
                case '[': {
                    const char* end = std::strchr(s, ']');
                    // A hand's pace: wine may route a button made at once after a
                    // release over another program's window to that program.
                    const auto hand = [&, from = s + 1, end] {
                        for (const char* b = from; b < end; ++b) input(*b), Sleep(20);
                    };
                    { test::LoopThread busy(hand, [] {}); }
                    s = end;
                    break;
                }
                case 'S': {
                    GetAsyncKeyState(VK_RBUTTON);
                    std::jthread(test::RightDown).join();
                    break;
                }
                case 'F': SetForegroundWindow(other.Hwnd()); break;
                case 'H': SetForegroundWindow(h.Main()); break;
                case 'q': {
                    popup::Script answer({[](HWND) { return EndDialog(popup::FindOtherDialog(), IDOK) != FALSE; }});
                    answer.Start();
                    MessageBoxA(h.Main(), "?", "", MB_OK);
                    answer.Stop();
                    break;
                }
                case 'A': case 'B': case 'C': case 'W': case 'T': HostReaction::armed = *s; break;
                case 'z': pump(500); break;
                case 'K':
                case 'Y':
                    remapper = std::make_unique<test::LoopThread>(
                        [&, proc = *s == 'K' ? Remap : SlowKeys] {
                            remap = SetWindowsHookExA(WH_KEYBOARD_LL, proc, GetModuleHandleA(nullptr), 0);
                        },
                        [&] { UnhookWindowsHookEx(remap); });
                    break;
                case 'M': EXPECT_EQ(GetCapture(), h.MdiClient()) << at; break;
                case '0': EXPECT_EQ(GetCapture(), nullptr) << at; break;
                case 'X': EXPECT_EQ(GetCapture(), HostReaction::edit) << at; break;
                default: input(*s);
            }
            // The host takes the other thread's press with what follows it.
            if (*s != 'S') pump(120);
        }
        const auto timers = [&] {
            std::vector<WPARAM> ids;
            // The edit's own (id 0) scrolls its selection while it drags.
            for (const test::Expected& e : log.DeliveredTo(h.Main(), test::Only::Any))
                if (e.message == WM_TIMER && e.wParam != 0) ids.push_back(e.wParam);
            return ids;
        };
        const size_t ticked = timers().size();
        pump(200);
        EXPECT_GT(timers().size(), ticked) << hand.label;
        EXPECT_EQ(timers(), std::vector<WPARAM>(timers().size(), kHostTimer)) << hand.label;
        std::string got;
        const UINT kMessages[] = {WM_RBUTTONDOWN, WM_RBUTTONDBLCLK, WM_RBUTTONUP, WM_MOUSEWHEEL, WM_LBUTTONDOWN, WM_LBUTTONUP};
        const auto elsewhere = [](const host::Received& r) {
            POINT pt = {static_cast<short>(LOWORD(r.lParam)), static_cast<short>(HIWORD(r.lParam))};
            ClientToScreen(r.hwnd, &pt);
            return WindowFromPoint(pt) != r.hwnd;
        };
        for (const host::Received& r : h.TakeReceived())
            for (int i = 0; i < 6; ++i)
                if (r.message == kMessages[i]) got += std::string(1, "dDuwLl"[i]) + (i >= 4 && elsewhere(r) ? "*" : "");
        EXPECT_EQ(got, hand.host) << hand.label;
        EXPECT_EQ(keys.Count(), hand.keys) << hand.label;
        EXPECT_EQ(test::AddressBookChoices(h), hand.commands) << hand.label;
        remapper.reset();
        if (HostReaction::dialog) DestroyWindow(std::exchange(HostReaction::dialog, nullptr));
        ReleaseCapture();
        test::ReleaseAllInput();
        pump(100);
        SetWindowLongPtrA(h.Main(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HostReaction::original));
    }
    endPopups.Stop();
    EXPECT_EQ(popups, 0) << "no TabList while a window of the host holds the mouse";
}

// Every message the hook takes, swallowed or not, goes on down the chain.
TEST(HookChain, EveryGesturePassesEveryMessageOn) {
    test::DeliveryLog log;
    test::LoadedHost lh(host::HostOptions(), "[Rollvix]\r\nMOD0=4\r\nKEY0=124\r\nTL1=1\r\nMOVE_FOCUS=1\r\n");
    host::StandInHost& h = lh.Host();
    log.WatchAbove();
    log.Clear();
    // Cycling, a partial notch, focus, a chord, a replayed click, a double
    // click, a private message and the TabList popup with its nested loop.
    test::MoveCursorToWindow(h.Tab(), 60, 14);
    Settle(lh);
    test::Wheel(-kNotch);
    test::Wheel(-40);
    Settle(lh);
    test::MoveCursorToWindow(h.Status(), 40, 12);
    Settle(lh);
    test::Wheel(kNotch);
    test::RightDown();
    test::Wheel(kNotch);
    test::RightUp();
    Settle(lh);
    test::MoveCursorToWindow(h.Status(), 140, 12);
    Settle(lh);
    test::RightDown();
    test::RightUp();
    test::RightDown();
    test::RightUp();
    PostMessageA(h.Main(), test::kWmuSelectTab, 1, 1);
    Settle(lh);
    popup::PopupView view;
    popup::Script script({popup::See(view), popup::Do([] { test::Wheel(-kNotch); }),
                          popup::SeeWhen(view, [](const popup::PopupView& v) { return v.sel == 2; }),
                          popup::Do(test::RightUp)});
    popup::RunGesture(lh, popup::CursorOverStatusBar(h), script);
    int swallowed = 0;
    EXPECT_TRUE(log.ChainIntact("gestures", &swallowed));
    EXPECT_GE(swallowed, 12);
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

TEST(KeyChord, EachDirectionTypesItsChordAndTheReleaseStaysWithTheGesture) {
    test::LoadedHost lh(host::HostOptions(), "[Rollvix]\r\nMOD0=2\r\nKEY0=124\r\nMOD1=134\r\nKEY1=33\r\n");
    host::StandInHost& h = lh.Host();
    KeyRecorder keys;

    EXPECT_EQ(ChordGesture(lh, keys, -kNotch, 6),
              (std::vector<Key>{{VK_CONTROL, false, kDown}, {VK_SHIFT, false, kDown}, {VK_PRIOR, true, kDown},
                                {VK_PRIOR, true, kUp}, {VK_CONTROL, false, kUp}, {VK_SHIFT, false, kUp}}));
    // Passed on, the release would make DefWindowProc open a context menu.
    ExpectMouseReceived(h, "down", {});

    const std::vector<Key> up = {
        {VK_CONTROL, false, kDown}, {VK_F13, false, kDown}, {VK_F13, false, kUp}, {VK_CONTROL, false, kUp}};
    EXPECT_EQ(ChordGesture(lh, keys, kNotch, 4, 80), up);
    ExpectMouseReceived(h, "up", {});
    EXPECT_EQ(test::AddressBookChoices(h), 1) << "Ctrl+F13 is the host's accelerator, as if typed by hand";
    // A delta of 0 turns nothing: no gesture, the host gets it and the click.
    EXPECT_TRUE(ChordGesture(lh, keys, 0, 0, 120).empty());
    ExpectMouseReceived(h, "zero", {{WM_MOUSEWHEEL, MAKEWPARAM(MK_RBUTTON, 0), ScreenPoint(h.Status(), 120, 12)},
                                    {WM_RBUTTONDOWN, MK_RBUTTON, test::Point(120, 12)}});
    // A synthetic message of -32767 is ten chords, not 273.
    EXPECT_EQ(ChordGesture(lh, keys, -32767, 60, 160).size(), 60u);
    ExpectMouseReceived(h, "huge", {});
}

TEST(KeyChord, NoOptionsTypeTwoEmptyKeysAndSuppressTheReplay) {
    test::LoadedHost lh;
    KeyRecorder keys;
    EXPECT_EQ(ChordGesture(lh, keys, -kNotch, 2), (std::vector<Key>{{0, false, kDown}, {0, false, kUp}}));
    ExpectMouseReceived(lh.Host(), "", {});
}

// A precision touchpad or a high-resolution wheel: deltas below a notch.
TEST(PartialRotation, EachWholeNotchGatheredIsOneStepAndNothingReachesTheHost) {
    test::LoadedHost lh(host::HostOptions(), "[Rollvix]\r\nMOD0=4\r\nKEY0=124\r\n");
    host::StandInHost& h = lh.Host();
    // Over the tab bar: three fifths of a notch do nothing, the next two
    // fifths make one step, with 40 over; a turn back drops those 40.
    RestCursorOver(lh, h.Tab());
    const HWND below = GetWindow(h.Child(0), GW_HWNDNEXT);
    for (int delta : {-24, -24, -24}) test::Wheel(delta);
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), h.Child(0));
    for (int delta : {-24, -24, -24}) test::Wheel(delta);
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), below);
    test::Wheel(100);
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), below) << "the 40 left over went with the turn";
    test::Wheel(20);
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), h.Child(0));
    ExpectMouseReceived(h, "over the tab bar", {});
    // A diagonal swipe: each axis gathers its own, and down and right are
    // both the next window: 120 on each, two steps, short of a wrap.
    std::vector<HWND> order;
    for (HWND c = h.ActiveChild(); c; c = GetWindow(c, GW_HWNDNEXT)) order.push_back(c);
    ASSERT_GT(order.size(), 2u);
    for (int round = 0; round < 2; ++round) {
        test::Wheel(-60);
        test::HWheel(60);
    }
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), order[2]);

    // Right button held: the chord is typed once per notch gathered, and a
    // partial rotation alone is a gesture too, so no click is replayed.
    KeyRecorder keys;
    ChordGesture(lh, keys, 60, 0);
    EXPECT_TRUE(keys.Keys().empty());
    ExpectMouseReceived(h, "half a notch with the button held", {});
    test::MoveCursorToWindow(h.Status(), 200, 12);
    Settle(lh);
    test::RightDown();
    Settle(lh);
    // A sideways piece between them, the host's, leaves what the wheel gathered.
    const test::Expected sideways = {WM_MOUSEHWHEEL, MAKEWPARAM(MK_RBUTTON, 8), 0};
    for (int delta : {50, 50, 50}) {
        test::Wheel(delta);
        Settle(lh);
        PostMessageA(h.Status(), sideways.message, sideways.wParam, sideways.lParam);
    }
    EXPECT_TRUE(test::PumpUntil(&h, [&] { return keys.Count() >= 4; }));
    test::RightUp();
    Settle(lh);
    EXPECT_EQ(keys.Count(), 4u) << "one chord for 150";
    ExpectMouseReceived(h, "a notch and a half", {sideways, sideways, sideways});
}

// What was gathered never fires in a later gesture: a right press or
// release, or a message that meets no gesture, drops it.
TEST(PartialRotation, APressAReleaseOrAMessageWithoutGestureDropsWhatWasGathered) {
    test::LoadedHost lh(host::HostOptions(), "[Rollvix]\r\nMOD1=4\r\nKEY1=124\r\n");
    host::StandInHost& h = lh.Host();
    KeyRecorder keys;
    test::MoveCursorToWindow(h.Status(), 40, 12);
    Settle(lh);
    // Half a notch in each of two gestures.
    for (int gesture = 0; gesture < 2; ++gesture) {
        test::RightDown();
        test::Wheel(-60);
        test::RightUp();
    }
    Settle(lh);
    EXPECT_TRUE(keys.Keys().empty());
    ExpectMouseReceived(h, "half notches", {});

    // Over the tab bar, a plain pane, the tab bar again.
    h.ActivateChild(0);
    for (HWND over : {h.Tab(), h.View(), h.Tab()}) {
        test::MoveCursorToWindow(over, 60, 14);
        Settle(lh);
        test::Wheel(-60);
        Settle(lh);
    }
    EXPECT_EQ(h.ActiveChild(), h.Child(0));

    // Sideways: the press alone, then the release alone, drops the half
    // notch before it; a vertical notch that is the host's does not.
    const HWND bottom = GetWindow(h.Child(0), GW_HWNDLAST);
    RestCursorOver(lh, h.Tab());
    test::HWheel(60);
    test::RightDown();
    test::HWheel(60);
    test::RightUp();
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), h.Child(0)) << "60 and 60 either side of the press";
    // The release alone: after a chord, so that no replayed press follows it.
    test::MoveCursorToWindow(h.Status(), 80, 12);
    test::RightDown();
    test::Wheel(-kNotch);
    test::MoveCursorToWindow(h.Tab(), 60, 14);
    test::HWheel(60);
    test::RightUp();
    test::HWheel(60);
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), h.Child(0)) << "60 and 60 either side of the release";
    // Left, so that the 60 left over above goes with the turn.
    RestCursorOver(lh, h.Tab());
    test::HWheel(-60);
    test::MoveCursorToWindow(h.List(), 60, 40);
    test::Wheel(-kNotch);
    test::MoveCursorToWindow(h.Tab(), 60, 14);
    test::HWheel(-60);
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), bottom) << "the list's notch between two halves";
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
    ExpectMouseReceived(h, "", {{WM_MOUSEWHEEL, MAKEWPARAM(MK_RBUTTON, static_cast<WORD>(-kNotch)),
                                 ScreenPoint(status, 40, 12)},
                                {WM_RBUTTONDOWN, MK_RBUTTON, test::Point(40, 12)}});
}

// -------------------------------------------------------- focus follows wheel

TEST(FocusFollowsWheel, FirstNotchMovesTheFocusOnly) {
    test::LoadedHost lh(host::HostOptions(), "[Rollvix]\r\nMOVE_FOCUS=1\r\n");
    host::StandInHost& h = lh.Host();
    SetFocus(h.List());
    test::MoveCursorToWindow(h.View(), 30, 30);
    Settle(lh);
    h.ClearReceived();
    test::Wheel(0);  // turns nothing, so moves nothing
    Settle(lh);
    EXPECT_EQ(GetFocus(), h.List());
    ExpectMouseReceived(h, "zero", {{WM_MOUSEWHEEL, 0, ScreenPoint(h.View(), 30, 30)}});

    test::Wheel(-kNotch);
    Settle(lh);
    EXPECT_EQ(GetFocus(), h.View());
    ExpectMouseReceived(h, "", {});

    test::Wheel(-kNotch);
    Settle(lh);
    EXPECT_EQ(GetFocus(), h.View());
    ExpectMouseReceived(h, "", {{WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-kNotch)), ScreenPoint(h.View(), 30, 30)}});
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
    ExpectMouseReceived(h, "", {{WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-kNotch)), ScreenPoint(h.View(), 30, 30)}});
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
    ExpectMouseReceived(h, "", {});
    EXPECT_EQ(h.CurrentTab(), 3);
}

// ------------------------------------------------------ buttons swapped

// Left-handed users: the gestures follow the button whose presses the host
// receives as WM_RBUTTONDOWN. Windows swaps injected presses as it does the
// mouse's (a physical left press arrives as WM_RBUTTONDOWN); this wine
// delivers them unswapped. The fixture finds out which, with a press on a
// window of its own before the plug-in loads.
class SwappedButtons : public ::testing::Test {
protected:
    void SetUp() override {
        wasSwapped_ = SwapMouseButton(TRUE);
        swapped_ = true;
        ASSERT_TRUE(GetSystemMetrics(SM_SWAPBUTTON));
        injectedSwapped_ = InjectedPressesSwapped();
        std::printf("[ note     ] injected presses arrive %s\n",
                    injectedSwapped_ ? "swapped (as on Windows): the physical left button is the right one"
                                     : "unswapped (as under this wine): the physical right button is the right one");
    }
    void TearDown() override {
        test::ReleaseAllInput();
        if (swapped_) SwapMouseButton(wasSwapped_);
    }
    bool InjectedSwapped() const { return injectedSwapped_; }

private:
    // Whether an injected left press arrives as the right one, on a window of
    // the test's own away from the host's status bar, so that no later press
    // counts as a double click with it.
    static bool InjectedPressesSwapped() {
        ForeignWindow probe({600, 500, 680, 580});
        test::MoveCursorTo(640, 540);
        test::PumpIdle(nullptr, 50);
        test::LeftDown();
        test::LeftUp();
        EXPECT_TRUE(test::PumpUntil(nullptr, [&] { return probe.Presses() + probe.LeftPresses() > 0; }))
            << "the probe's left press never arrived";
        return probe.Presses() > 0;
    }

    BOOL wasSwapped_ = FALSE;
    bool swapped_ = false;
    bool injectedSwapped_ = false;
};

TEST_F(SwappedButtons, TheButtonDeliveredAsRightTypesChordsAndHoldsTheTabList) {
    // The physical buttons that arrive as the right one and as the left one.
    void (*rightDown)() = InjectedSwapped() ? test::LeftDown : test::RightDown;
    void (*rightUp)() = InjectedSwapped() ? test::LeftUp : test::RightUp;
    void (*leftDown)() = InjectedSwapped() ? test::RightDown : test::LeftDown;
    void (*leftUp)() = InjectedSwapped() ? test::RightUp : test::LeftUp;
    test::DeliveryLog log;
    test::LoadedHost lh(popup::WithChildren({host::PlainChild("A", "A"), host::PlainChild("B", "B"),
                                             host::PlainChild("C", "C")},
                                            0),
                        "[Rollvix]\r\nMOD0=4\r\nKEY0=124\r\nTL1=1\r\n");
    host::StandInHost& h = lh.Host();
    KeyRecorder keys;
    test::MoveCursorToWindow(h.Status(), 40, 12);
    Settle(lh);
    h.ClearReceived();
    // Pressed right after this thread read the button (under wine 8 it reads
    // up for a while yet), a notch 0.2 s later is still the press's chord.
    GetAsyncKeyState(VK_RBUTTON);
    std::jthread(rightDown).join();
    test::PumpUntil(&h, [] { return false; }, 200);
    test::Wheel(kNotch);
    EXPECT_TRUE(test::PumpUntil(&h, [&] { return keys.Count() >= 4; })) << "the chord of a notch up";
    rightUp();
    Settle(lh);
    ExpectMouseReceived(h, "delivered as right", {});

    // Open while the button is held, closed at its release: the popup's loop
    // watches the physical button that made the press.
    // A chord typed while it is open leaves it its capture.
    popup::PopupView opened, moved;
    HWND afterChord = nullptr;
    popup::Script script({popup::See(opened), popup::Do([] { test::Wheel(-kNotch); }),
                          popup::SeeWhen(moved, [](const popup::PopupView& v) { return v.sel == 1; }),
                          popup::Do([&] { keys.Clear(), test::Wheel(kNotch); }),
                          [&](HWND) { return keys.Count() >= 4 && (afterChord = GetCapture(), true); },
                          popup::Do(rightUp)});
    log.Clear();
    popup::RunGesture(lh, popup::CursorOverStatusBar(h), script, -kNotch, rightDown);
    EXPECT_EQ(opened.sel, 0);
    EXPECT_EQ(h.CurrentTab(), 1);
    EXPECT_EQ(afterChord, h.MdiClient());
    // Whichever loop takes them, the popup's included.
    EXPECT_TRUE(test::SequenceEquals("delivered as right, TabList", log.DeliveredTo(h.Main()), {}));

    // The other button makes no gesture, and the host gets all of it.
    keys.Clear();
    test::MoveCursorToWindow(h.Status(), 200, 12);
    Settle(lh);
    h.ClearReceived();
    leftDown();
    Settle(lh);
    test::Wheel(kNotch);
    Settle(lh);
    leftUp();
    Settle(lh);
    EXPECT_TRUE(keys.Keys().empty());
    const LPARAM at = test::Point(200, 12);
    ExpectMouseReceived(h, "delivered as left", {{WM_LBUTTONDOWN, MK_LBUTTON, at},
                                                 {WM_MOUSEWHEEL, MAKEWPARAM(MK_LBUTTON, kNotch),
                                                  ScreenPoint(h.Status(), 200, 12)},
                                                 {WM_LBUTTONUP, 0, at}});
}

}  // namespace

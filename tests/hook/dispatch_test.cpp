// The hook procedure called directly, and the small decisions it relies on.
#include <windows.h>

#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "frame/mouse_capture.h"
#include "frame/plugin_state.h"
#include "hook/wheel_hook.h"
#include "hook/wheel_run.h"
#include "support/test_support.h"

namespace {

struct Event {
    BYTE vk;
    DWORD flags;
    bool operator==(const Event&) const = default;
};

std::vector<Event> EventsOf(BYTE mod, BYTE key) {
    KeyEvent events[kMaxChordEvents];
    const int n = ChordToKeyEvents(KeyChord{mod, key, 0}, events);
    std::vector<Event> out;
    for (int i = 0; i < n; ++i) out.push_back({events[i].vk, events[i].flags});
    return out;
}

constexpr DWORD kUp = KEYEVENTF_KEYUP;
constexpr DWORD kExt = KEYEVENTF_EXTENDEDKEY;

TEST(ChordToKeyEvents, ModifiersWrapTheKeyInPressOrder) {
    EXPECT_EQ(EventsOf(0x86, VK_PRIOR),
              (std::vector<Event>{{VK_CONTROL, 0}, {VK_SHIFT, 0}, {VK_PRIOR, kExt}, {VK_PRIOR, kExt | kUp},
                                  {VK_CONTROL, kUp}, {VK_SHIFT, kUp}}));
    EXPECT_EQ(EventsOf(0x07, 'A'),
              (std::vector<Event>{{VK_CONTROL, 0}, {VK_SHIFT, 0}, {VK_MENU, 0}, {'A', 0}, {'A', kUp},
                                  {VK_CONTROL, kUp}, {VK_SHIFT, kUp}, {VK_MENU, kUp}}));
    EXPECT_EQ(EventsOf(0x01, VK_LEFT), (std::vector<Event>{{VK_MENU, 0}, {VK_LEFT, 0}, {VK_LEFT, kUp}, {VK_MENU, kUp}}));
    // Bits outside the four known ones add nothing.
    EXPECT_EQ(EventsOf(0x78, 'B'), (std::vector<Event>{{'B', 0}, {'B', kUp}}));
}

TEST(ChordToKeyEvents, NoKeyStillTypesTwoEvents) {
    EXPECT_EQ(EventsOf(0, 0), (std::vector<Event>{{0, 0}, {0, kUp}}));
    EXPECT_EQ(EventsOf(0xFF, 0).size(), static_cast<size_t>(kMaxChordEvents));
}

TEST(WheelAndPoints, SignsAndSixteenBitCuts) {
    EXPECT_EQ(WheelDelta(MAKEWPARAM(MK_RBUTTON, static_cast<WORD>(-120))), -120);
    EXPECT_EQ(WheelDelta(MAKEWPARAM(0, 240)), 240);
    EXPECT_TRUE(WheelUp(WheelDelta(MAKEWPARAM(MK_CONTROL, 0))));
    EXPECT_FALSE(WheelUp(-1));

    EXPECT_EQ(PackClientPoint(POINT{-3, 12}), static_cast<LPARAM>(0x000CFFFD));
    EXPECT_EQ(PackClientPoint(POINT{0x12345, -2}), static_cast<LPARAM>(0xFFFE2345));
    EXPECT_EQ(ReplayedRDownKeys(0), static_cast<WPARAM>(MK_RBUTTON));
    EXPECT_EQ(ReplayedRDownKeys(MK_RBUTTON | MK_SHIFT), static_cast<WPARAM>(MK_RBUTTON | MK_SHIFT));
}

// The physical buttons a right press may have come from, for the watch and
// the popup's loop: Windows swaps left-handed users' presses, injected ones
// included (the physical left button), wine 8 delivers injected ones
// unswapped; the message cannot tell, so with swapped buttons both count.
TEST(GestureButton, TheRightButtonOrWhereSwappedEither) {
    const GestureButtons plain = GestureButtonsFor(false), swapped = GestureButtonsFor(true);
    EXPECT_EQ(plain.first, VK_RBUTTON);
    EXPECT_EQ(plain.second, VK_RBUTTON);
    EXPECT_EQ(swapped.first + swapped.second, VK_LBUTTON + VK_RBUTTON);
    EXPECT_NE(swapped.first, swapped.second);
}

// Steps of a sequence of deltas in one run (same gesture and window, 10 ms apart).
std::vector<int> StepsOf(std::initializer_list<int> deltas, WheelRun& run) {
    std::vector<int> steps;
    DWORD time = 1000;
    for (int d : deltas) steps.push_back(WheelSteps(run, d, WheelGesture::Cycle, nullptr, time += 10));
    return steps;
}

TEST(WheelSteps, EveryDeltaGathersAndEachWholeNotchIsAStep) {
    WheelRun run = {};
    // A notched wheel: a step per notch, however many one message carries;
    // 0 turns nothing.
    EXPECT_EQ(StepsOf({120, -120, 0, 240, 360, -1199}, run), (std::vector<int>{1, 1, 0, 2, 3, 9}));
    EXPECT_EQ(run.rotation, -119);
    // A touchpad: a step each time 120 is gathered, the rest kept; a 0 keeps it too.
    run = {};
    EXPECT_EQ(StepsOf({40, 40, 0, 40, 30, 30, 30, 30, 50, 250}, run), (std::vector<int>{0, 0, 0, 1, 0, 0, 0, 1, 0, 2}));
    EXPECT_EQ(run.rotation, 60);
    // Turning back drops what was gathered.
    EXPECT_EQ(StepsOf({-100, -19, -1, 100, 241, 20}, run), (std::vector<int>{0, 0, 1, 0, 2, 1}));
    EXPECT_EQ(run.rotation, 1);
}

TEST(WheelSteps, NoMessageTakesMoreThanTenSteps) {
    WheelRun run = {};
    EXPECT_EQ(StepsOf({-32767, -60, 1200, 1320, 32767, 100}, run), (std::vector<int>{10, 0, 10, 10, 10, 0}));
    // What a capped message leaves is dropped, not saved for the next one.
    EXPECT_EQ(run.rotation, 100);
    run = {};
    EXPECT_EQ(StepsOf({1400, 119}, run), (std::vector<int>{10, 0}));
    // Ten notches and a rest stay under the cap: the rest is kept.
    run = {};
    EXPECT_EQ(StepsOf({1230, 90}, run), (std::vector<int>{10, 1}));
}

TEST(WheelSteps, AnotherGestureWindowOrAPauseDropsTheRest) {
    const HWND a = reinterpret_cast<HWND>(0x100), b = reinterpret_cast<HWND>(0x200);
    auto after = [a](WheelGesture g, HWND w, DWORD t) {
        WheelRun run = {};
        WheelSteps(run, 100, WheelGesture::Chord, a, 5000);
        return WheelSteps(run, 20, g, w, t);
    };
    EXPECT_EQ(after(WheelGesture::Chord, a, 5000 + kWheelPauseMs), 1);
    EXPECT_EQ(after(WheelGesture::TabList, a, 5010), 0);
    EXPECT_EQ(after(WheelGesture::Chord, b, 5010), 0);
    EXPECT_EQ(after(WheelGesture::Chord, a, 5001 + kWheelPauseMs), 0);
}

// Every message the hook handles, with the key bits of a genuine press.
const MSG kHandled[] = {
    {nullptr, WM_LBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, 0, 0, {}},
    {nullptr, WM_RBUTTONDOWN, MK_RBUTTON | MK_SHIFT, 0, 0, {}},
    {nullptr, WM_RBUTTONDOWN, 0, 0x00050004, 0, {}},
    {nullptr, WM_RBUTTONUP, 0, 0x00050004, 0, {}},
    {nullptr, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0, 0, {}},
    {nullptr, kWmuSelectTab, 1, 0, 0, {}},
};

bool SameMsg(const MSG& a, const MSG& b) {
    return a.hwnd == b.hwnd && a.message == b.message && a.wParam == b.wParam && a.lParam == b.lParam;
}

class DirectHook : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = g_plugin;
        g_plugin.savedRDownKeys = 0x77;
        g_plugin.hold.stage = HoldStage::GestureDone;
    }
    void TearDown() override { g_plugin = saved_; }

private:
    PluginState saved_;
};

TEST_F(DirectHook, NegativeCodeOrPeekLeavesEverythingAlone) {
    for (const MSG& original : kHandled) {
        for (auto [code, removal] : {std::pair{-1, PM_REMOVE}, std::pair{0, PM_NOREMOVE}}) {
            MSG msg = original;
            WheelHookProc(code, removal, reinterpret_cast<LPARAM>(&msg));
            EXPECT_TRUE(SameMsg(msg, original)) << "message 0x" << std::hex << original.message << " code " << code;
            EXPECT_EQ(g_plugin.savedRDownKeys, 0x77u);
            EXPECT_EQ(g_plugin.hold.stage, HoldStage::GestureDone);
        }
    }
    // The same press, removed, is held back.
    MSG press = kHandled[1];
    WheelHookProc(HC_ACTION, PM_REMOVE, reinterpret_cast<LPARAM>(&press));
    EXPECT_EQ(press.message, static_cast<UINT>(WM_NULL));
    EXPECT_EQ(g_plugin.savedRDownKeys, static_cast<DWORD>(MK_RBUTTON | MK_SHIFT));
}

// A held press ends at the first mouse message made with its button up, by
// that message's own key bits (unless the button reads down: a program
// posted it); with swapped buttons the physical left one counts as the
// press's. The click lands on the test's window.
TEST_F(DirectHook, APressEndsAtAMessageMadeWithItsButtonUpAndASwappedOneIsWatchedOnEitherButton) {
    HWND mdi = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 64, 64, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(mdi);
    test::MoveCursorTo(32, 32);
    g_plugin.hwndMdiClient = mdi;
    g_plugin.hookThreadId = GetCurrentThreadId();
    const BOOL wasSwapped = SwapMouseButton(TRUE);
    test::LeftDown();
    const auto hook = [](UINT message, WPARAM keys, DWORD time = GetTickCount()) {
        MSG msg = {nullptr, message, keys, 0, time, {}};
        WheelHookProc(HC_ACTION, PM_REMOVE, reinterpret_cast<LPARAM>(&msg));
        return msg.message;
    };
    EXPECT_EQ(hook(WM_RBUTTONDOWN, MK_RBUTTON, GetTickCount() - 2 * kReadsCurrentAfterMs), static_cast<UINT>(WM_NULL));
    EXPECT_EQ(GetCapture(), mdi) << "held";
    EXPECT_TRUE(test::PumpUntil(nullptr, [] { return GestureButtonHeld(); })) << "the physical left button is down";
    for (UINT message : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_MBUTTONUP, WM_MOUSEHWHEEL}) {
        hook(message, MK_RBUTTON | MK_LBUTTON);
        EXPECT_EQ(GetCapture(), mdi) << "made with the button down: 0x" << std::hex << message;
    }
    hook(WM_MOUSEWHEEL, 0);
    EXPECT_EQ(GetCapture(), mdi) << "said up, but the button reads down: a program posted it";
    test::LeftUp();
    EXPECT_TRUE(test::PumpUntil(nullptr, [] { return !GestureButtonHeld(); }));
    hook(WM_MOUSEMOVE, MK_RBUTTON);
    EXPECT_EQ(GetCapture(), mdi) << "made before the release, which may still come";
    EXPECT_EQ(hook(WM_LBUTTONUP, MK_SHIFT), static_cast<UINT>(WM_LBUTTONUP));
    EXPECT_EQ(g_plugin.hold.stage, HoldStage::None) << "made with the button up";
    EXPECT_EQ(GetCapture(), nullptr);
    // A press made just now, read up (as a stale read under wine 8), and a
    // notch a wheel utility posts without key bits: the press is still on.
    test::PumpIdle(nullptr, 50);
    ASSERT_FALSE(HIWORD(GetQueueStatus(QS_MOUSEBUTTON))) << "no button message may wait";
    EXPECT_EQ(hook(WM_RBUTTONDOWN, MK_RBUTTON), static_cast<UINT>(WM_NULL));
    hook(WM_MOUSEWHEEL, 0);
    EXPECT_EQ(GetCapture(), mdi) << "said up while a read of the button cannot yet be trusted";
    EndHold();
    SwapMouseButton(wasSwapped);
    DestroyWindow(mdi);
}

// A release wine delivers a second time (the same point and extra
// information, nothing since showing the button down) reaches the host once,
// or not at all as the first did; another release, or one after the button
// showed down again, is the host's.
TEST_F(DirectHook, AReleaseDeliveredAgainIsNoSecondRelease) {
    const auto hook = [](UINT message, POINT pt, WPARAM wParam = 0) {
        MSG msg = {nullptr, message, wParam, 0, 0, pt};
        WheelHookProc(HC_ACTION, PM_REMOVE, reinterpret_cast<LPARAM>(&msg));
        return msg.message;
    };
    EXPECT_EQ(hook(WM_RBUTTONUP, {5, 6}), static_cast<UINT>(WM_NULL)) << "the gesture's";
    EXPECT_EQ(hook(WM_RBUTTONUP, {5, 6}), static_cast<UINT>(WM_NULL)) << "the same again";
    EXPECT_EQ(hook(WM_RBUTTONUP, {7, 6}), static_cast<UINT>(WM_RBUTTONUP)) << "another";
    hook(WM_MOUSEMOVE, {7, 6}, MK_RBUTTON);
    EXPECT_EQ(hook(WM_RBUTTONUP, {7, 6}), static_cast<UINT>(WM_RBUTTONUP)) << "pressed elsewhere, carried back";
    hook(WM_NCRBUTTONDOWN, {7, 6}, HTCAPTION);
    EXPECT_EQ(hook(WM_NCRBUTTONUP, {7, 6}, HTCAPTION), static_cast<UINT>(WM_NCRBUTTONUP)) << "after a press";
}

// The hook knows its own replay by what it posted, not by a wParam of 0 that
// a press made elsewhere may carry: such a press is held like any other.
TEST_F(DirectHook, OnlyTheReplayItPostedPassesAsTheReplay) {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    g_plugin.hold.stage = HoldStage::None;
    g_plugin.hwndMdiClient = window;
    g_plugin.hookThreadId = GetCurrentThreadId();
    MSG stranger = {window, WM_RBUTTONDOWN, 0, 0x00050004, GetTickCount(), {}};
    WheelHookProc(HC_ACTION, PM_REMOVE, reinterpret_cast<LPARAM>(&stranger));
    EXPECT_EQ(stranger.message, static_cast<UINT>(WM_NULL)) << "held back";
    g_plugin.savedRDownKeys = MK_RBUTTON | MK_CONTROL;
    g_plugin.replay = {window, WM_RBUTTONDOWN, 0x00050004};
    for (LPARAM at : {LPARAM{0x00050005}, LPARAM{0x00050004}}) {
        MSG replay = {window, WM_RBUTTONDOWN, 0, at, GetTickCount(), {}};
        WheelHookProc(HC_ACTION, PM_REMOVE, reinterpret_cast<LPARAM>(&replay));
        EXPECT_EQ(replay.message, at == 0x00050004 ? static_cast<UINT>(WM_RBUTTONDOWN) : WM_NULL) << at;
    }
    EXPECT_EQ(g_plugin.replay.hwnd, nullptr) << "taken back";
    EndHold();
    DestroyWindow(window);
}

}  // namespace

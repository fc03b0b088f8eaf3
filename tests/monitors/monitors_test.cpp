// The TabList popup and the gestures on a desktop of two monitors, with the
// real plug-in in the stand-in host and real input. Under wine ctest runs the
// program on scripts/two-monitors.sh's desktop, which sets
// ROLLVIX_TWO_MONITORS: there the monitors' rectangles are known, and fewer
// than two monitors is a failure. Elsewhere (the kit on Windows) it takes the
// monitors it finds and skips where there is only one.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/popup_driver.h"
#include "support/test_support.h"

namespace {

using test::kNotch;

struct Monitor {
    HMONITOR handle;
    RECT rect;
    RECT work;
    bool primary;
};

BOOL CALLBACK AddMonitor(HMONITOR handle, HDC, LPRECT, LPARAM list) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (GetMonitorInfoA(handle, &info))
        reinterpret_cast<std::vector<Monitor>*>(list)->push_back(
            {handle, info.rcMonitor, info.rcWork, (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
    return TRUE;
}

std::vector<Monitor> Monitors() {
    std::vector<Monitor> found;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::string Text(const RECT& r) {
    char text[80];
    std::snprintf(text, sizeof text, "(%ld,%ld)-(%ld,%ld)", r.left, r.top, r.right, r.bottom);
    return text;
}

std::string Text(POINT p) {
    char text[40];
    std::snprintf(text, sizeof text, "(%ld,%ld)", p.x, p.y);
    return text;
}

// "whole" or "shrunk" (the primary's work area) on scripts/two-monitors.sh's
// desktop; empty anywhere else.
std::string TestDesktop() {
    char value[16] = "";
    const DWORD n = GetEnvironmentVariableA("ROLLVIX_TWO_MONITORS", value, sizeof value);
    return n > 0 && n < sizeof value ? value : "";
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

void Settle(test::LoadedHost& lh) { test::PumpIdle(&lh.Host(), 80); }

class TwoMonitors : public ::testing::Test {
protected:
    void SetUp() override {
        monitors_ = Monitors();
        std::string list;
        for (const Monitor& m : monitors_) {
            // Appended piece by piece: " " + a string trips GCC 12's -Wrestrict at -O2.
            list += ' ';
            list += Text(m.rect);
            if (m.primary) list += " (primary)";
        }
        if (TestDesktop().empty() && monitors_.size() < 2)
            GTEST_SKIP() << "this desktop shows one monitor:" << list << "; these tests need two";
        ASSERT_GE(monitors_.size(), 2u) << "scripts/two-monitors.sh's desktop, yet wine shows" << list
                                        << " (does 32-bit wine have libXrandr and libXinerama?)";
        for (const Monitor& m : monitors_) {
            if (m.primary) primary_ = &m;
            else if (!other_) other_ = &m;
        }
        ASSERT_TRUE(primary_ && other_) << "no primary among" << list;
    }
    void TearDown() override { test::ReleaseAllInput(); }

    // A host of 900 x 640 pixels at most, inside the monitor's work area.
    static host::HostOptions HostOn(const Monitor& m) {
        host::HostOptions o;
        const RECT& w = m.work;
        const LONG width = w.right - w.left - 80 < 900 ? w.right - w.left - 80 : 900;
        const LONG height = w.bottom - w.top - 80 < 640 ? w.bottom - w.top - 80 : 640;
        o.frame = {w.left + 40, w.top + 40, w.left + 40 + width, w.top + 40 + height};
        return o;
    }

    std::vector<Monitor> monitors_;
    const Monitor* primary_ = nullptr;
    const Monitor* other_ = nullptr;  // on the test desktop, the left one
};

// --------------------------------------------------------------- the desktop

TEST_F(TwoMonitors, WineReportsTheTestDesktopsRectangles) {
    const std::string desktop = TestDesktop();
    if (desktop.empty()) GTEST_SKIP() << "the rectangles are those of scripts/two-monitors.sh's desktop";
    ASSERT_EQ(monitors_.size(), 2u);
    EXPECT_EQ(Text(primary_->rect), "(0,0)-(1280,1024)");
    EXPECT_EQ(Text(primary_->work), desktop == "shrunk" ? "(0,0)-(1180,984)" : "(0,0)-(1280,1024)");
    EXPECT_EQ(Text(other_->rect), "(-1024,256)-(0,1024)");
    EXPECT_EQ(Text(other_->work), "(-1024,256)-(0,1024)");
}

// ------------------------------------------------------------------ the popup

// Where the cursor stands for one gesture.
struct Spot {
    const char* name;
    POINT cursor;
};

// The four corner pixels of the work area, and a point in the middle of each
// band the work area leaves out of the monitor: only on scripts/two-monitors.sh's
// desktop, since on Windows the taskbar lies there, on top of the host.
std::vector<Spot> SpotsOf(const Monitor& m, bool bands) {
    const RECT& w = m.work;
    const RECT& r = m.rect;
    std::vector<Spot> spots = {
        {"top left", {w.left, w.top}},
        {"top right", {w.right - 1, w.top}},
        {"bottom left", {w.left, w.bottom - 1}},
        {"bottom right", {w.right - 1, w.bottom - 1}},
    };
    if (!bands) return spots;
    const LONG midX = (w.left + w.right) / 2, midY = (w.top + w.bottom) / 2;
    if (r.bottom > w.bottom) spots.push_back({"bar below", {midX, (w.bottom + r.bottom) / 2}});
    if (r.right > w.right) spots.push_back({"bar at the right", {(w.right + r.right) / 2, midY}});
    if (r.top < w.top) spots.push_back({"bar above", {midX, (r.top + w.top) / 2}});
    if (r.left < w.left) spots.push_back({"bar at the left", {(r.left + w.left) / 2, midY}});
    return spots;
}

// The host is moved for each spot so that the cursor lies in the middle of
// its frame, over an MDI child, whatever part of the host that leaves off
// the screen. Where on the monitor it goes is the placement's own unit
// tests' concern; here, that it takes this monitor's work area.
TEST_F(TwoMonitors, ThePopupNearEachCornerOfEachMonitorOpensInsideItsWorkArea) {
    test::LoadedHost lh(popup::WithChildren({host::PlainChild("A", "A"), host::PlainChild("B", "B"),
                                             host::PlainChild("C", "C")},
                                            0),
                        popup::kTabListIni);
    host::StandInHost& h = lh.Host();
    RECT frame;
    GetWindowRect(h.Main(), &frame);
    const LONG halfWidth = (frame.right - frame.left) / 2, halfHeight = (frame.bottom - frame.top) / 2;
    int bars = 0;
    for (const Monitor& m : monitors_) {
        const std::vector<Spot> spots = SpotsOf(m, TestDesktop() == "shrunk");
        bars += static_cast<int>(spots.size()) - 4;
        for (const Spot& spot : spots) {
            const POINT p = spot.cursor;
            const std::string where = std::string(spot.name) + " of " + Text(m.work) + ", cursor " + Text(p);
            SetWindowPos(h.Main(), nullptr, p.x - halfWidth, p.y - halfHeight, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            Settle(lh);
            const HWND under = WindowFromPoint(p);
            ASSERT_EQ(GetAncestor(under, GA_ROOT), h.Main()) << where;
            ASSERT_EQ(MonitorFromPoint(p, MONITOR_DEFAULTTONULL), m.handle) << where;

            popup::PopupView view;
            HMONITOR shownOn = nullptr;
            popup::Script script({popup::See(view),
                                  [&](HWND popup) {
                                      shownOn = MonitorFromWindow(popup, MONITOR_DEFAULTTONULL);
                                      return true;
                                  },
                                  popup::Do(test::RightUp)});
            popup::RunGesture(lh, p, script);
            ASSERT_EQ(view.rows, 3) << where << ": no popup";
            const RECT& d = view.dialog;
            EXPECT_TRUE(Inside(d, m.work)) << where << ": popup at " << Text(d);
            EXPECT_EQ(shownOn, m.handle) << where;
        }
    }
    if (TestDesktop() == "shrunk") {
        EXPECT_EQ(bars, 2) << "the bars below and right of the primary";
    }
}

// ----------------------------------------------- gestures on the other monitor

// On the test desktop the host then lies wholly at negative coordinates.
void ExpectOnMonitor(host::StandInHost& h, const Monitor& m) {
    RECT frame;
    GetWindowRect(h.Main(), &frame);
    ASSERT_EQ(MonitorFromWindow(h.Main(), MONITOR_DEFAULTTONULL), m.handle) << Text(frame);
    if (!TestDesktop().empty()) {
        ASSERT_LT(frame.right, 0) << Text(frame);
    }
}

// Down and right are the next child, up and left the previous; elsewhere the
// notch is the host's, with its screen point.
TEST_F(TwoMonitors, OnTheOtherMonitorNotchesOverTheTabBarCycleTheChildren) {
    test::LoadedHost lh(HostOn(*other_));
    host::StandInHost& h = lh.Host();
    ASSERT_NO_FATAL_FAILURE(ExpectOnMonitor(h, *other_));
    test::MoveCursorToWindow(h.Tab(), 60, 14);
    h.ActivateChild(0);
    Settle(lh);
    h.ClearReceived();
    const HWND below = GetWindow(h.Child(0), GW_HWNDNEXT);
    const HWND bottom = GetWindow(h.Child(0), GW_HWNDLAST);

    const struct {
        void (*turn)(int);
        int delta;
        HWND active;
        const char* what;
    } kNotches[] = {{test::Wheel, -kNotch, below, "down"}, {test::Wheel, kNotch, h.Child(0), "up"},
                    {test::HWheel, kNotch, below, "right"}, {test::HWheel, -kNotch, h.Child(0), "left"},
                    {test::HWheel, -kNotch, bottom, "left of the first"}};
    for (const auto& notch : kNotches) {
        notch.turn(notch.delta);
        Settle(lh);
        EXPECT_EQ(h.ActiveChild(), notch.active) << "a notch " << notch.what;
    }
    ExpectMouseReceived(h, "over the tab bar", {});

    test::MoveCursorToWindow(h.View(), 30, 30);
    Settle(lh);
    h.ClearReceived();
    test::Wheel(-kNotch);
    Settle(lh);
    EXPECT_EQ(h.ActiveChild(), bottom);
    POINT screen = {30, 30};
    ClientToScreen(h.View(), &screen);
    ExpectMouseReceived(h, "over the view", {{WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-kNotch)),
                                              MAKELPARAM(static_cast<WORD>(screen.x), static_cast<WORD>(screen.y))}});
}

// The right button pressed over the status bar, and nothing recorded yet.
void PressOverStatusBar(test::LoadedHost& lh) {
    test::MoveCursorToWindow(lh.Host().Status(), 40, 12);
    Settle(lh);
    lh.Host().ClearReceived();
    test::RightDown();
    Settle(lh);
}

// Pressed over the status bar and released over the message view: the click
// reaches the view, at its client point of the release.
TEST_F(TwoMonitors, OnTheOtherMonitorAPlainRightClickIsReplayedToTheWindowUnderTheCursor) {
    test::LoadedHost lh(HostOn(*other_));
    host::StandInHost& h = lh.Host();
    ASSERT_NO_FATAL_FAILURE(ExpectOnMonitor(h, *other_));
    PressOverStatusBar(lh);
    ExpectMouseReceived(h, "the press is held back", {});
    test::MoveCursorToWindow(h.View(), 70, 25);
    Settle(lh);
    test::RightUp();
    Settle(lh);
    const std::vector<host::Received> got = h.TakeReceived();
    std::vector<test::Expected> seen;
    for (const host::Received& r : got) seen.push_back({r.message, r.wParam, r.lParam});
    EXPECT_TRUE(test::SequenceEquals("released over the view", seen, {{WM_RBUTTONDOWN, MK_RBUTTON, test::Point(70, 25)}}));
    if (got.size() == 1) {
        EXPECT_EQ(got[0].hwnd, h.View());
    }
}

}  // namespace

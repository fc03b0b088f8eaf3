// Many gestures, no growth: after thousands of same-sender walks and a
// thousand TabList popups the host process holds what it held before.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/popup_driver.h"

namespace {

using popup::kNotch;

constexpr char kIni[] = "[Rollvix]\r\nTL0=1\r\nTL1=1\r\nMOVE_NEXTFROM=1\r\n";
constexpr int kWalks = 10000;
// Of them, walks through real input; the rest are posted wheel messages
// with Ctrl held through keybd_event (the hook reads the key's state).
constexpr int kRealInputWalks = 200;
constexpr int kPopups = 1000;
// Warm-up before the first figures: allocator pools, window caches.
constexpr int kWarmUpWalks = 500;
constexpr int kWarmUpPopups = 50;
// Allowed growth. A sender key lost per walk would add 10,000 blocks of at
// least 16 bytes to the heaps: well past their tolerance.
constexpr SIZE_T kHeapBytesTolerance = 128 * 1024;
// Counted in whole pages and moved by wine's own caches.
constexpr SIZE_T kPrivateBytesTolerance = 1024 * 1024;
constexpr DWORD kHandleTolerance = 4;
constexpr DWORD kGuiObjectTolerance = 4;

struct Figures {
    SIZE_T privateBytes = 0;  // PrivateUsage, or PagefileUsage where that is 0
    SIZE_T workingSet = 0;
    SIZE_T heapBytes = 0;  // busy blocks of every heap of the process
    DWORD handles = 0;
    ULONG_PTR nextHandle = 0;  // value a new kernel handle gets: grows with leaks
    DWORD gdiObjects = 0;
    DWORD userObjects = 0;
    int threadWindows = 0;
};

// Wine reports neither PrivateUsage nor a handle count; the heaps' busy
// bytes and the slot of a new handle show the same growth.
SIZE_T HeapBytes() {
    HANDLE heaps[64];
    DWORD n = GetProcessHeaps(64, heaps);
    SIZE_T total = 0;
    for (DWORD i = 0; i < n && i < 64; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

ULONG_PTR NextHandleValue() {
    HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ULONG_PTR value = reinterpret_cast<ULONG_PTR>(probe);
    CloseHandle(probe);
    return value;
}

BOOL CALLBACK CountWindow(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

Figures Measure() {
    Figures f;
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters))
    {
        f.privateBytes = counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
        f.workingSet = counters.WorkingSetSize;
    }
    f.heapBytes = HeapBytes();
    f.nextHandle = NextHandleValue();
    GetProcessHandleCount(GetCurrentProcess(), &f.handles);
    f.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    f.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&f.threadWindows));
    return f;
}

void Print(const char* when, const Figures& f) {
    std::printf("[ figures  ] %s: private %lu bytes, working set %lu, heap busy %lu bytes, handles %lu "
                "(next handle 0x%lx), GDI %lu, USER %lu, thread windows %d\n",
                when, static_cast<unsigned long>(f.privateBytes), static_cast<unsigned long>(f.workingSet),
                static_cast<unsigned long>(f.heapBytes), static_cast<unsigned long>(f.handles),
                static_cast<unsigned long>(f.nextHandle),
                static_cast<unsigned long>(f.gdiObjects), static_cast<unsigned long>(f.userObjects),
                f.threadWindows);
}

class Driver {
public:
    explicit Driver(test::LoadedHost& lh) : h_(lh.Host()) {
        RECT r;
        GetWindowRect(h_.List(), &r);
        overList_ = {r.left + 60, r.top + 40};
        overStatus_ = popup::CursorOverStatusBar(h_);
    }

    // Walks between two messages of one sender and, every third walk, up
    // from the top, where nothing is found. Returns whether each ended where
    // it should.
    bool Walks(int count, int realInput) {
        test::MoveCursorTo(overList_.x, overList_.y);
        test::PumpIdle(&h_, 50);
        test::CtrlDown();
        bool ok = true;
        for (int i = 0; i < count; ++i) {
            const int phase = i % 3;  // 0: down 0->1, 1: up 1->0, 2: up from 0, not found
            const int delta = phase == 0 ? -kNotch : kNotch;
            const int to = phase == 0 ? 1 : 0;
            if (i < realInput) {
                test::Wheel(delta);
            } else {
                POINT screen = overList_;
                PostMessageA(h_.List(), WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, static_cast<WORD>(delta)),
                             MAKELPARAM(screen.x, screen.y));
            }
            if (!test::PumpUntil(&h_, [&] { return h_.SelectedItem() == to && !h_.Calls().empty(); }) ||
                h_.StatusText() != (phase == 2 ? "not found" : "")) {
                ok = false;
                break;
            }
            test::PumpIdle(&h_, 0);
            // The host's own records would grow otherwise.
            h_.ClearCalls();
            h_.ClearReceived();
            h_.ClearWindowEvents();
        }
        test::CtrlUp();
        test::PumpIdle(&h_, 20);
        return ok;
    }

    // TabList gestures closed by the right button's release. Returns how
    // many ended with the popup gone and the capture released.
    int Popups(int count) {
        int good = 0;
        for (int i = 0; i < count; ++i) {
            // Two places in turn, so that no press counts as a double click.
            test::MoveCursorTo(overStatus_.x + (i % 2 ? 40 : -40), overStatus_.y);
            bool seen = false;
            popup::Script script({[&](HWND popup) { return seen = popup != nullptr; }, popup::Do(test::RightUp)}, 10,
                               test::kDefaultTimeoutMs);
            script.Start();
            test::RightDown();
            test::Wheel(i % 2 ? kNotch : -kNotch);
            bool ended = test::PumpUntil(&h_, [&] { return script.Done() && !popup::FindPopup(); });
            script.Stop();
            test::PumpIdle(&h_, 0);
            if (ended && seen && !script.TimedOut() && !GetCapture()) ++good;
            h_.ClearReceived();
        }
        test::ReleaseAllInput();
        test::PumpIdle(&h_, 20);
        return good;
    }

private:
    host::StandInHost& h_;
    POINT overList_;
    POINT overStatus_;
};

TEST(Memory, ThousandsOfWalksAndPopupsLeaveNothingBehind) {
    host::HostOptions options;
    options.messages = {popup::Mail("Same <same@example.jp>"), popup::Mail("same@example.jp")};
    test::LoadedHost lh(options, kIni);
    host::StandInHost& h = lh.Host();
    h.SelectItem(0);
    Driver driver(lh);

    DWORD start = GetTickCount();
    ASSERT_TRUE(driver.Walks(kWarmUpWalks, 0));
    ASSERT_EQ(driver.Popups(kWarmUpPopups), kWarmUpPopups);
    const Figures before = Measure();
    Print("after warm-up", before);

    start = GetTickCount();
    EXPECT_TRUE(driver.Walks(kWalks, kRealInputWalks));
    std::printf("[ figures  ] %d walks: %lu ms\n", kWalks, static_cast<unsigned long>(GetTickCount() - start));
    const Figures afterWalks = Measure();
    Print("after the walks", afterWalks);

    start = GetTickCount();
    EXPECT_EQ(driver.Popups(kPopups), kPopups);
    std::printf("[ figures  ] %d popups: %lu ms\n", kPopups, static_cast<unsigned long>(GetTickCount() - start));
    const Figures after = Measure();
    Print("after the popups", after);

    EXPECT_LE(after.privateBytes, before.privateBytes + kPrivateBytesTolerance);
    EXPECT_LE(afterWalks.privateBytes, before.privateBytes + kPrivateBytesTolerance);
    EXPECT_LE(after.heapBytes, before.heapBytes + kHeapBytesTolerance);
    EXPECT_LE(afterWalks.heapBytes, before.heapBytes + kHeapBytesTolerance);
    EXPECT_LE(after.handles, before.handles + kHandleTolerance);
    // Only where the count is missing: wine hands out the lowest free slot,
    // Windows reuses freed slots in an order of its own.
    if (before.handles == 0)
        EXPECT_LE(after.nextHandle, before.nextHandle + 4 * kHandleTolerance);
    else
        std::printf("[ note     ] the handle count is checked, not the slot of a new handle (wine only)\n");
    EXPECT_LE(after.gdiObjects, before.gdiObjects + kGuiObjectTolerance);
    EXPECT_LE(after.userObjects, before.userObjects + kGuiObjectTolerance);
    EXPECT_EQ(after.threadWindows, before.threadWindows);
    EXPECT_EQ(h.OutstandingTexts(), 0);
    EXPECT_TRUE(h.Faults().empty());
}

}  // namespace

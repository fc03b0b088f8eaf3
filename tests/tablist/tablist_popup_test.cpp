// The TabList popup: placement and selection decisions called directly, a
// dialog that cannot be created, and the gestures through the plug-in's hook
// with real input. The popup's modal loop runs inside the host's pump, so a
// thread timer plays the steps of each gesture and looks at the popup.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frame/plugin_state.h"
#include "res/resource.h"
#include "support/popup_driver.h"
#include "support/test_support.h"
#include "tablist/tab_list_popup.h"

namespace {

using host::PlainChild;

using popup::CursorOverStatusBar;
using popup::Do;
using popup::FindPopup;
using popup::kNotch;
using popup::kTabListIni;
using popup::PopupView;
using popup::RunGesture;
using popup::Script;
using popup::See;
using popup::SeeWhen;
using popup::SelectTabRecorder;
using popup::WithChildren;

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

// Rows of 15 pixels at 96 DPI, above it as many scaled pixels, rounded up;
// at any DPI at least the font's height, so that every row shows whole.
void ExpectRowHeight(const PopupView& v) {
    const int scaled = v.dpi <= 96 ? 15 : (15 * v.dpi + 95) / 96;
    EXPECT_EQ(v.itemHeight, scaled > v.fontHeight ? scaled : v.fontHeight) << v.dpi << " DPI, font " << v.fontHeight;
}

// The listbox shows `rows` whole rows (20 at most), the dialog a frame around it.
void ExpectRowsShown(const PopupView& v, int rows) {
    EXPECT_EQ(Height(v.list), (rows < 20 ? rows : 20) * v.itemHeight) << rows << " rows";
    EXPECT_EQ(Height(v.dialog), Height(v.list) + v.Px(10)) << rows << " rows";
}

void Click() {
    test::LeftDown();
    test::LeftUp();
}

void Key(BYTE vk) {
    test::KeyDown(vk);
    test::KeyUp(vk);
}

// --- Decisions, called directly ---

TEST(TabListPlacement, BelowRightOfTheCursorUnlessAnEdgeIsInTheWay) {
    const RECT work = {0, 0, 1280, 1000};
    const SIZE size = {200, 55};
    POINT at = TabListPopupPosition({100, 100}, size, work);
    EXPECT_EQ(at.x, 110);
    EXPECT_EQ(at.y, 110);
    // Exactly at the edge still fits.
    at = TabListPopupPosition({1070, 935}, size, work);
    EXPECT_EQ(at.x, 1080);
    EXPECT_EQ(at.y, 945);
    // Only the axis that overflows moves to the cursor's other side.
    at = TabListPopupPosition({1200, 100}, size, work);
    EXPECT_EQ(at.x, 1200 - 10 - 200);
    EXPECT_EQ(at.y, 110);
    at = TabListPopupPosition({100, 990}, size, work);
    EXPECT_EQ(at.x, 110);
    EXPECT_EQ(at.y, 990 - 10 - 55);
}

TEST(TabListPlacement, AlwaysWhollyInsideTheWorkArea) {
    // A work area that leaves out a bar on the left and on top.
    const RECT work = {60, 40, 1280, 1000};
    const SIZE size = {300, 200};
    // Cursor over the bars: pushed right and down into the work area.
    POINT at = TabListPopupPosition({5, 5}, size, work);
    EXPECT_EQ(at.x, 60);
    EXPECT_EQ(at.y, 40);
    // Room on neither side of the cursor: inside, against the edge it left.
    at = TabListPopupPosition({1200, 150}, SIZE{1180, 900}, work);
    EXPECT_EQ(at.x, 60);
    EXPECT_EQ(at.y, 40);
    // Cursor over a bar below the work area: above it, clear of the bar.
    at = TabListPopupPosition({300, 1030}, SIZE{200, 100}, work);
    EXPECT_EQ(at.y, 1000 - 100);
    // Larger than the work area: its top-left corner stays visible.
    at = TabListPopupPosition({600, 500}, SIZE{2000, 1500}, work);
    EXPECT_EQ(at.x, 60);
    EXPECT_EQ(at.y, 40);
    // The gap grows with the DPI.
    at = TabListPopupPosition({100, 100}, size, work, 15);
    EXPECT_EQ(at.x, 115);
}

TEST(TabListPlacement, AShrunkPopupKeepsItsSideOfTheCursor) {
    const RECT work = {0, 0, 1280, 1000};
    // Too high for the room below the cursor: above it.
    POINT at = TabListPopupPosition({100, 700}, SIZE{200, 400}, work);
    EXPECT_EQ(at.y, 700 - 10 - 400);
    // Rows fewer it would fit below, yet it stays above, its bottom kept.
    at = TabListPopupPosition({100, 700}, SIZE{200, 250}, work, 10, PopupSide{false, true});
    EXPECT_EQ(at.y, 700 - 10 - 250);
    at = TabListPopupPosition({1100, 700}, SIZE{150, 250}, work, 10, PopupSide{true, false});
    EXPECT_EQ(at.x, 1100 - 10 - 150);
    EXPECT_EQ(at.y, 710);
    // A side without room is left all the same.
    at = TabListPopupPosition({100, 100}, SIZE{150, 250}, work, 10, PopupSide{true, true});
    EXPECT_EQ(at.x, 110);
    EXPECT_EQ(at.y, 110);
}

// Rows never come out shorter than 15 pixels scaled, rounded up, nor than the font.
TEST(TabListRows, HeightRoundsUpWhereTheScaledRowIsNotWhole) {
    const struct {
        int dpi, font, rows;
    } kCases[] = {{96, 14, 15}, {120, 16, 19}, {144, 16, 23}, {168, 16, 27}, {192, 16, 30}, {120, 24, 24}};
    for (const auto& c : kCases) EXPECT_EQ(TabRowHeightFor(c.dpi, c.font), c.rows) << c.dpi << " DPI";
}

// A list font larger than the row, as a per-monitor aware host's popup gets
// on a monitor above the system's DPI, sets the height at 96 DPI and below.
TEST(TabListRows, NeverShorterThanTheFontAtAnyDpi) {
    const struct {
        int dpi, font, rows;
    } kCases[] = {{96, 24, 24}, {96, 15, 15}, {96, 12, 15}, {72, 20, 20}, {72, 10, 15}};
    for (const auto& c : kCases)
        EXPECT_EQ(TabRowHeightFor(c.dpi, c.font), c.rows) << c.dpi << " DPI, font " << c.font;
}

// The host always has a current tab, so the gestures never start without one.
TEST(TabListSelection, WithoutSelectionUpTakesTheLastRowAndDownTheFirst) {
    EXPECT_EQ(WrapTabListSelection(-1, true, 3), 2);
    EXPECT_EQ(WrapTabListSelection(-1, false, 3), 0);
}

TEST(TabListPopupFailure, APopupThatNeverRanChoosesNoTab) {
    host::StandInHost h(WithChildren({PlainChild("Inbox", "Inbox"), PlainChild("Outbox", "Outbox")}, 0));
    HMODULE templates = LoadLibraryExA(test::PluginCopy().DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(templates, nullptr);
    HWND gone = CreateWindowA("STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    DestroyWindow(gone);
    g_plugin.hwndTab = h.Tab();
    g_plugin.hwndMdiClient = gone;  // the owner is no window: the dialog never starts
    g_plugin.hModule = templates;
    EXPECT_EQ(OpenTabListPopup(100, 100), -1);
    EXPECT_EQ(activeTabListPopup, nullptr);
    g_plugin = PluginState();
    FreeLibrary(templates);
}

TEST(TabListPopupFailure, NoDialogReturnsMinusOneAndLeavesNoCaptureOrPopup) {
    host::StandInHost h(WithChildren({PlainChild("Inbox", "Inbox"), PlainChild("Outbox", "Outbox")}, 0));
    g_plugin.hwndTab = h.Tab();
    g_plugin.hwndMdiClient = h.MdiClient();
    // The test program has no IDD_FORMVIEW among its resources.
    g_plugin.hModule = GetModuleHandleA(nullptr);
    g_plugin.hookThreadId = GetCurrentThreadId();
    TakeGestureCapture();
    ASSERT_EQ(GetCapture(), h.MdiClient());
    EXPECT_EQ(OpenTabListPopup(100, 100), -1);
    EXPECT_EQ(activeTabListPopup, nullptr);
    EXPECT_EQ(GetCapture(), nullptr);
    g_plugin = PluginState();
}

// Something else destroys the open popup's dialog (the host tearing windows
// down, another plug-in): nothing was chosen, and the host's main window,
// which the dialog manager enables again only at the popup's own end, takes
// input again.
TEST(TabListPopupFailure, APopupDestroyedByOthersChoosesNothingAndFreesTheHost) {
    test::LoadedHost lh(WithChildren({PlainChild("A", "A"), PlainChild("B", "B"), PlainChild("C", "C")}, 1),
                        kTabListIni);
    host::StandInHost& h = lh.Host();
    SelectTabRecorder selected;
    PopupView again;
    Script script({[](HWND popup) { return popup && DestroyWindow(popup); }});
    RunGesture(lh, CursorOverStatusBar(h), script);
    EXPECT_TRUE(selected.rows.empty());
    EXPECT_EQ(h.CurrentTab(), 1);
    EXPECT_TRUE(IsWindowEnabled(h.Main()));
    Script later({See(again), Do(test::RightUp)});
    RunGesture(lh, CursorOverStatusBar(h), later);
    EXPECT_EQ(again.rows, 3);
}

// --- Gestures through the plug-in ---

// A window of another thread, standing for another program's.
struct OtherProgram {
    HWND hwnd = nullptr;
    test::LoopThread thread{[this] { hwnd = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 700, 500, 40, 40,
                                                            nullptr, nullptr, GetModuleHandleA(nullptr), nullptr); },
                            [this] { DestroyWindow(hwnd); }};
};

// The awarenesses a host may declare. The rows of a table run the host's
// thread with each: the popup's place and sizes are then in that host's own
// coordinates, at the DPI it sees (96 for an unaware one at 144 DPI, which
// the system scales).
constexpr host::DpiAwareness kAwarenesses[] = {host::DpiAwareness::Unaware, host::DpiAwareness::System,
                                               host::DpiAwareness::PerMonitor};

host::HostOptions Declaring(host::HostOptions o, host::DpiAwareness awareness) {
    o.awareness = awareness;
    return o;
}

TEST(TabListPopup, ListsTheTabsBesideTheCursorWithTheCurrentOneSelected) {
    for (const host::DpiAwareness awareness : kAwarenesses) {
        if (!test::CanRunHostDeclaring(awareness)) continue;
        SCOPED_TRACE(host::DpiAwarenessName(awareness));
        host::HostOptions o = WithChildren(
            {PlainChild("Inbox", "12 Inbox"), PlainChild("Outbox - note", "Outbox"), PlainChild("Drafts", "Drafts")}, 1);
        // Room below the status bar on the smallest screen a host sees: 853 x
        // 683 when unaware at 144 DPI.
        o.frame = {0, 0, 760, 560};
        test::LoadedHost lh(Declaring(o, awareness), kTabListIni);
        host::StandInHost& h = lh.Host();
        const POINT cursor = CursorOverStatusBar(h);
        PopupView view;
        HWND captureWhileOpen = nullptr;
        // A new press, or one on a caption, leaves the open popup its capture.
        Script script({See(view), Do([&] { PostMessageA(h.Status(), WM_RBUTTONDOWN, MK_RBUTTON, 0); }),
                       Do([&] { PostMessageA(h.Status(), WM_NCRBUTTONDOWN, HTNOWHERE, 0); }),
                       // A tick later: the posted presses were taken meanwhile.
                       [&, ticks = 0](HWND) mutable { return (captureWhileOpen = GetCapture(), ++ticks == 2); },
                       Do(test::RightUp)});
        RunGesture(lh, cursor, script);

        ASSERT_EQ(view.rows, 3);
        EXPECT_EQ(view.texts, (std::vector<std::string>{"Inbox", "Outbox - note", "Drafts"}));
        EXPECT_EQ(view.sel, 1);
        ExpectRowHeight(view);
        ExpectRowsShown(view, 3);
        EXPECT_EQ(Width(view.list), view.widestText + GetSystemMetrics(SM_CXVSCROLL) + view.Px(24));
        EXPECT_EQ(view.dialog.left, cursor.x + view.Px(10));
        EXPECT_EQ(view.dialog.top, cursor.y + view.Px(10));
        EXPECT_EQ(Width(view.dialog), Width(view.list) + view.Px(10));
        EXPECT_EQ(view.list.left - view.dialog.left, view.Px(4) + 1);  // one pixel of border
        EXPECT_EQ(view.list.top - view.dialog.top, view.Px(5) + 1);
        EXPECT_EQ(captureWhileOpen, h.MdiClient());
        EXPECT_EQ(GetCapture(), nullptr);
        EXPECT_EQ(h.CurrentTab(), 1);
        // A notch the host takes late opens it where it turned, though the cursor went on.
        PopupView late;
        Script lateScript({See(late), Do(test::RightUp)});
        RunGesture(lh, cursor, lateScript, 0, [] {
            test::RightDown();
            test::Wheel(-kNotch);
            test::MoveCursorTo(5, 5);
        });
        EXPECT_EQ(late.dialog.left, view.dialog.left);
        EXPECT_EQ(late.dialog.top, view.dialog.top);
    }
}

TEST(TabListPopup, WheelStepsMoveTheSelectionAndWrapAndTheChosenTabBecomesCurrent) {
    test::LoadedHost lh(WithChildren({PlainChild("A", "A"), PlainChild("B", "B"), PlainChild("C", "C")}, 1), kTabListIni);
    host::StandInHost& h = lh.Host();
    SelectTabRecorder selected;
    std::vector<int> sels;
    PopupView view;
    auto changed = [&](const PopupView& v) { return v.sel != sels.back(); };
    auto keep = [&] { sels.push_back(view.sel); };
    Script script({See(view), Do(keep),
                   Do([] { test::Wheel(kNotch); }), SeeWhen(view, changed), Do(keep),
                   Do([] { test::Wheel(kNotch); }), SeeWhen(view, changed), Do(keep),
                   Do([] { test::Wheel(-kNotch); }), SeeWhen(view, changed), Do(keep),
                   Do(test::RightUp)});
    RunGesture(lh, CursorOverStatusBar(h), script);

    // The opening notch (down) leaves the current tab selected.
    EXPECT_EQ(sels, (std::vector<int>{1, 0, 2, 0}));
    EXPECT_EQ(selected.rows, (std::vector<LPARAM>{0}));
    EXPECT_EQ(h.CurrentTab(), 0);
}

// Partial rotation: the popup opens once a notch is gathered, and each
// further notch gathered moves the selection one row.
TEST(TabListPopup, PartialRotationOpensAndMovesPerWholeNotch) {
    test::LoadedHost lh(
        WithChildren({PlainChild("A", "A"), PlainChild("B", "B"), PlainChild("C", "C"), PlainChild("D", "D")}, 0),
        kTabListIni);
    host::StandInHost& h = lh.Host();
    SelectTabRecorder selected;
    PopupView opened, partly, moved;
    Script script({Do([] { test::Wheel(-60); }), See(opened), Do([] { test::Wheel(-50); }),
                   Do([] { test::Wheel(-50); }), SeeWhen(partly, [](const PopupView& v) { return v.rows == 4; }),
                   Do([] { test::Wheel(-20); }), SeeWhen(moved, [](const PopupView& v) { return v.sel == 1; }),
                   Do(test::RightUp)});
    RunGesture(lh, CursorOverStatusBar(h), script, -60);

    EXPECT_EQ(opened.sel, 0);
    EXPECT_EQ(partly.sel, 0) << "100 of 120 move nothing";
    EXPECT_EQ(selected.rows, (std::vector<LPARAM>{1}));
    EXPECT_EQ(h.CurrentTab(), 1);
}

TEST(TabListPopup, ReleaseSeenByTimerAndHookRequestsTheCloseOnce) {
    test::LoadedHost lh(WithChildren({PlainChild("A", "A"), PlainChild("B", "B"), PlainChild("C", "C")}, 2), kTabListIni);
    host::StandInHost& h = lh.Host();
    SelectTabRecorder selected;
    int cancels = -1;
    PopupView view;
    Script script({See(view), Do([] { test::Wheel(kNotch); }),
                   SeeWhen(view, [](const PopupView& v) { return v.sel == 1; }), [&](HWND popup) {
                       // No read of the button this soon after the press is trusted.
                       Sleep(kReadsCurrentAfterMs);
                       test::RightUp();
                       MSG msg;
                       bool queued = false;
                       DWORD start = GetTickCount();
                       while (!(queued = PeekMessageA(&msg, nullptr, WM_RBUTTONUP, WM_RBUTTONUP, PM_NOREMOVE)) &&
                              GetTickCount() - start < test::kDefaultTimeoutMs)
                           MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_MOUSEBUTTON);
                       EXPECT_TRUE(queued);
                       // The poll sees the button up, then the hook takes the
                       // button-up from the queue: two requests.
                       SendMessageA(popup, WM_TIMER, TIMER_RBUTTON_POLL, 0);
                       // Read from the button: the thread's state knows only the messages taken.
                       EXPECT_TRUE(PeekMessageA(&msg, popup, WM_COMMAND, WM_COMMAND, PM_NOREMOVE));
                       if (PeekMessageA(&msg, nullptr, WM_RBUTTONUP, WM_RBUTTONUP, PM_REMOVE))
                           DispatchMessageA(&msg);
                       cancels = 0;
                       while (PeekMessageA(&msg, popup, WM_COMMAND, WM_COMMAND, PM_REMOVE)) {
                           if (LOWORD(msg.wParam) == IDCANCEL) ++cancels;
                           DispatchMessageA(&msg);
                       }
                       return true;
                   }});
    RunGesture(lh, CursorOverStatusBar(h), script);

    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(selected.rows, (std::vector<LPARAM>{1}));
    EXPECT_EQ(h.CurrentTab(), 1);
}

TEST(TabListPopup, LeftClickClosesTheSelectedTabAndKeepsTheWidth) {
    const std::string longTitle = "A rather long window title that is the widest row";
    test::LoadedHost lh(
        WithChildren({PlainChild(longTitle, longTitle), PlainChild("B", "B"), PlainChild("C", "C"), PlainChild("D", "D")}, 0),
        kTabListIni);
    host::StandInHost& h = lh.Host();
    const HWND first = h.Child(0);
    const HWND second = h.Child(1);
    PopupView opened, afterFirst, afterLast;
    // After the first close the row that followed (now row 0) is selected.
    Script script({See(opened), Do(Click),
                   SeeWhen(afterFirst, [](const PopupView& v) { return v.rows == 3 && v.sel == 0; }),
                   Do([] { test::Wheel(kNotch); }),
                   SeeWhen(afterFirst, [](const PopupView& v) { return v.sel == 2; }), Do(Click),
                   SeeWhen(afterLast, [](const PopupView& v) { return v.rows == 2; }), Do(test::RightUp)});
    RunGesture(lh, CursorOverStatusBar(h), script);

    EXPECT_EQ(opened.rows, 4);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(afterFirst.texts, (std::vector<std::string>{"B", "C", "D"}));
    // The width was measured with the long row and stays.
    EXPECT_EQ(Width(afterFirst.list), Width(opened.list));
    ExpectRowsShown(afterFirst, 3);
    // Closing the last row selects the new last row.
    EXPECT_EQ(afterLast.texts, (std::vector<std::string>{"B", "C"}));
    EXPECT_EQ(afterLast.sel, 1);
    ExpectRowsShown(afterLast, 2);
    EXPECT_EQ(h.ChildCount(), 2);
    EXPECT_EQ(h.CurrentTab(), 1);
    EXPECT_TRUE(IsWindow(second));
}

host::ChildSetup Closing(const std::string& title, host::CloseAnswer answer) {
    host::ChildSetup c = PlainChild(title, title);
    c.onClose = answer;
    return c;
}

int ClosesAsked(host::StandInHost& h, HWND child) {
    int n = 0;
    for (const auto& e : h.WindowEvents()) n += e.hwnd == child && e.message == WM_CLOSE;
    return n;
}

auto RowsAre(int rows) {
    return [rows](const PopupView& v) { return v.rows == rows; };
}
auto SelectionIs(int row) {
    return [row](const PopupView& v) { return v.sel == row; };
}
Script::Step Notch(int delta) {
    return Do([delta] { test::Wheel(delta); });
}

// A tab closes through its window's own close handling: a draft asks first
// (here No, then Yes), a window may refuse, a plain one just closes. The
// question is answered with real clicks while the right button is held.
TEST(TabListPopup, ClosingATabLetsItsWindowAskOrRefuse) {
    test::LoadedHost lh(WithChildren({Closing("Busy", host::CloseAnswer::Refuse), Closing("Draft", host::CloseAnswer::Ask),
                                      Closing("Plain", host::CloseAnswer::Close)},
                                     1),
                        kTabListIni);
    host::StandInHost& h = lh.Host();
    SelectTabRecorder selected;
    const HWND draft = h.Child(1);
    std::vector<HWND> captureWhileAsked;
    bool draftAfterNo = false;
    PopupView opened, kept, movedWhileAsked, afterYes, refused, last;
    // Once the question is over, the capture is the MDI client's again.
    auto noQuestion = [&](HWND popup) { return popup && !popup::FindOtherDialog() && GetCapture() == h.MdiClient(); };
    auto asking = [](HWND popup) { return popup && popup::FindOtherDialog() != nullptr; };
    // Another program may come to the front while the draft asks: the
    // popup's capture is still its own afterwards.
    OtherProgram other;
    auto otherInFront = [&, ticks = 0](HWND) mutable { return SetForegroundWindow(other.hwnd) && ++ticks == 5; };
    // The click on No is made with the right button held: no second close.
    Script script({See(opened), Do(Click), popup::ClickAnswer(IDNO, &captureWhileAsked), noQuestion,
                   Do([&] { draftAfterNo = IsWindow(draft); }), Notch(-kNotch), SeeWhen(kept, SelectionIs(2)),
                   Notch(kNotch), SeeWhen(kept, SelectionIs(1)),
                   // A step taken while the draft asks is not lost.
                   Do(Click), asking, Notch(kNotch), SeeWhen(movedWhileAsked, SelectionIs(0)),
                   otherInFront, popup::ClickAnswer(IDYES, &captureWhileAsked), SeeWhen(afterYes, RowsAre(2)), noQuestion,
                   Do(Click), Notch(-kNotch), SeeWhen(refused, SelectionIs(1)), Do(Click), SeeWhen(last, RowsAre(1)),
                   Do([] { Key(VK_ESCAPE); })});
    RunGesture(lh, CursorOverStatusBar(h), script);

    EXPECT_EQ(opened.sel, 1);
    EXPECT_TRUE(draftAfterNo) << "the draft stayed after No";
    EXPECT_EQ(kept.rows, 3);
    EXPECT_EQ(ClosesAsked(h, draft), 2) << "one close per click on the popup";
    EXPECT_EQ(afterYes.texts, (std::vector<std::string>{"Busy", "Plain"}));
    EXPECT_EQ(afterYes.sel, 0) << "the row the wheel chose while the draft asked";
    EXPECT_FALSE(IsWindow(draft));
    EXPECT_EQ(refused.rows, 2) << "the busy window refused";
    EXPECT_EQ(last.texts, (std::vector<std::string>{"Busy"}));
    EXPECT_EQ(h.ChildCount(), 1);
    // While the host asks, the mouse is the question's; then the MDI client's again.
    EXPECT_EQ(captureWhileAsked.size(), 2u);
    for (HWND c : captureWhileAsked) EXPECT_NE(c, h.MdiClient());
    // Lent before the window is asked: under wine the question's own box
    // takes the capture anyway, so only this moment shows the lend.
    for (const auto& e : h.WindowEvents()) {
        if (e.hwnd == draft && e.message == WM_CLOSE) {
            EXPECT_NE(e.capture, h.MdiClient()) << "the capture at WM_CLOSE";
        }
    }
    // Esc reached the popup: the activation came back to it after the questions.
    EXPECT_EQ(selected.rows, (std::vector<LPARAM>{0}));
}

// Released while the draft asks: the question stays, and once it is
// answered the popup ends on the selected tab; the release is the gesture's.
// Pressed again (on the question) before the answer, the popup still ends
// then: the close asked for meanwhile is kept.
void ReleaseWhileAWindowAsks(bool pressAgain) {
    test::DeliveryLog log;
    test::LoadedHost lh(WithChildren({PlainChild("A", "A"), Closing("Draft", host::CloseAnswer::Ask), PlainChild("C", "C")}, 1),
                        kTabListIni);
    host::StandInHost& h = lh.Host();
    SelectTabRecorder selected;
    const HWND draft = h.Child(1), third = h.Child(2);
    DWORD released = 0;
    bool stayed = false;
    PopupView opened;
    Script script({See(opened), Do(Click), [](HWND popup) { return popup && popup::FindOtherDialog() != nullptr; },
                   Do([&] {
                       test::RightUp();
                       released = GetTickCount();
                   }),
                   // The popup's poll and the hook have both had their turn.
                   [&](HWND popup) {
                       if (GetTickCount() - released < 300) return false;
                       stayed = popup && popup::FindOtherDialog() != nullptr;
                       if (!pressAgain || !stayed) return true;
                       // On the question itself, whose clicks stay its own.
                       test::MoveCursorToWindow(popup::FindOtherDialog(), 40, 20);
                       test::RightDown();
                       return true;
                   },
                   popup::ClickAnswer(IDYES)});
    RunGesture(lh, CursorOverStatusBar(h), script);

    EXPECT_TRUE(stayed) << "the question and the popup stay after the release";
    EXPECT_FALSE(IsWindow(draft));
    EXPECT_EQ(selected.rows, (std::vector<LPARAM>{1}));
    EXPECT_EQ(h.ActiveChild(), third);
    if (pressAgain) return;  // a click of its own, then
    for (const test::Expected& e : log.DeliveredTo(h.Main()))
        EXPECT_TRUE(e.message != WM_RBUTTONUP && e.message != WM_CONTEXTMENU && e.message != WM_RBUTTONDOWN)
            << test::MessageName(e.message);
}

TEST(TabListPopup, ReleasedWhileAWindowAsksThePopupEndsAfterTheAnswer) { ReleaseWhileAWindowAsks(false); }
TEST(TabListPopup, PressedAgainWhileAWindowAsksThePopupStillEnds) { ReleaseWhileAWindowAsks(true); }

// A question without an owner window, and a popup repainted while the
// question is up (as when it is dragged over it): the real click still
// answers the question, and the popup goes on.
TEST(TabListPopup, AQuestionWithoutOwnerOrARepaintStillTakesTheClick) {
    const struct {
        const char* label;
        host::CloseAnswer ask;
        bool repaint;
        int answer;
    } kCases[] = {{"no owner", host::CloseAnswer::AskUnowned, false, IDNO},
                  {"repainted", host::CloseAnswer::Ask, true, IDYES}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.label);
        test::LoadedHost lh(WithChildren({Closing("Draft", c.ask), PlainChild("B", "B"), PlainChild("C", "C")}, 0),
                            kTabListIni);
        host::StandInHost& h = lh.Host();
        SelectTabRecorder selected;
        const HWND draft = h.Child(0);
        HWND captureAfterRepaint = nullptr;
        auto repaint = [&](HWND popup) {
            if (!popup || !popup::FindOtherDialog()) return false;
            if (c.repaint) {
                HWND list = GetDlgItem(popup, IDC_TABLIST_LIST);
                InvalidateRect(list, nullptr, TRUE);
                UpdateWindow(list);
            }
            captureAfterRepaint = GetCapture();
            return true;
        };
        PopupView opened, after;
        Script script({See(opened), Do(Click), repaint, popup::ClickAnswer(c.answer),
                       [](HWND popup) { return popup && !popup::FindOtherDialog(); }, Notch(-kNotch),
                       SeeWhen(after, SelectionIs(1)), Do(test::RightUp)});
        RunGesture(lh, CursorOverStatusBar(h), script);

        EXPECT_NE(captureAfterRepaint, h.MdiClient());
        EXPECT_EQ(ClosesAsked(h, draft), 1);
        EXPECT_EQ(IsWindow(draft) != FALSE, c.answer == IDNO);
        EXPECT_EQ(selected.rows, (std::vector<LPARAM>{1}));
    }
}

// The right button's release is the gesture's, whether the hook or the
// popup's poll sees it first: no host window gets it or a context menu.
TEST(TabListPopup, TheReleaseNeverReachesTheHost) {
    test::DeliveryLog log;
    test::LoadedHost lh(WithChildren({PlainChild("A", "A"), PlainChild("B", "B")}, 0), kTabListIni);
    host::StandInHost& h = lh.Host();
    PopupView view;
    Script byHook({See(view), Do(test::RightUp)});
    RunGesture(lh, CursorOverStatusBar(h), byHook);
    // The poll closes the popup before the release leaves the queue.
    Script byPoll({See(view), [](HWND popup) {
                       test::RightUp();
                       SendMessageA(popup, WM_TIMER, TIMER_RBUTTON_POLL, 0);
                       return true;
                   }});
    RunGesture(lh, CursorOverStatusBar(h), byPoll);
    EXPECT_TRUE(test::SequenceEquals("host windows", log.DeliveredTo(h.Main()), {}));
}

TEST(TabListPopup, RowsWithAnImageOrWithoutAWindowAreNotClosed) {
    test::LoadedHost lh(WithChildren({PlainChild("Alpha", "Zeta"), PlainChild("Img", "Img", true), PlainChild("C", "C")}, 0),
                        kTabListIni);
    host::StandInHost& h = lh.Host();
    PopupView opened, onImage, after;
    // A wheel step after each click shows that the click has been handled.
    Script script({See(opened), Do(Click), Do([] { test::Wheel(-kNotch); }),
                   SeeWhen(onImage, [](const PopupView& v) { return v.sel == 1; }), Do(Click),
                   Do([] { test::Wheel(-kNotch); }), SeeWhen(after, [](const PopupView& v) { return v.sel == 2; }),
                   Do(test::RightUp)});
    RunGesture(lh, CursorOverStatusBar(h), script);

    EXPECT_EQ(opened.texts, (std::vector<std::string>{"Zeta", "Img", "C"}));
    EXPECT_EQ(onImage.rows, 3);
    EXPECT_EQ(after.rows, 3);
    EXPECT_EQ(h.ChildCount(), 3);
    ExpectRowsShown(after, 3);
    EXPECT_EQ(Width(after.list), Width(opened.list));
}

// The capture as the popup's window hides: EndDialog may wait for the window
// to be withdrawn (2 s under wine), and the mouse must not stay held by then.
struct CaptureAtHide {
    static inline std::vector<HWND> captures;
    static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam) {
        const auto* c = reinterpret_cast<const CWPSTRUCT*>(lParam);
        char cls[16] = "";
        if (code == HC_ACTION && c->message == WM_WINDOWPOSCHANGING &&
            (reinterpret_cast<const WINDOWPOS*>(c->lParam)->flags & SWP_HIDEWINDOW) &&
            GetClassNameA(c->hwnd, cls, sizeof cls) && std::string(cls) == "#32770")
            captures.push_back(GetCapture());
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK hook = (captures.clear(), SetWindowsHookExA(WH_CALLWNDPROC, Proc, nullptr, GetCurrentThreadId()));
    ~CaptureAtHide() { UnhookWindowsHookEx(hook); }
};

TEST(TabListPopup, ClosingTheOnlyRowLeavesAnEmptyListAndNoChoice) {
    test::LoadedHost lh(WithChildren({PlainChild("Solo", "Solo")}, 0), kTabListIni);
    host::StandInHost& h = lh.Host();
    SelectTabRecorder selected;
    CaptureAtHide hidden;
    PopupView after;
    Script script({See(after), Do(Click), SeeWhen(after, [](const PopupView& v) { return v.rows == 0; }),
                   Do(test::RightUp)});
    RunGesture(lh, CursorOverStatusBar(h), script);

    EXPECT_EQ(after.sel, -1);
    ExpectRowsShown(after, 0);
    EXPECT_EQ(h.ChildCount(), 0);
    EXPECT_TRUE(selected.rows.empty());
    EXPECT_EQ(hidden.captures, (std::vector<HWND>{nullptr})) << "the mouse let go before the popup hides";
}

TEST(TabListPopup, TwentyFiveTabsScrollAndShrinkOnlyBelowTwentyRows) {
    std::vector<host::ChildSetup> children;
    for (int i = 0; i < 25; ++i) children.push_back(PlainChild("Tab" + std::to_string(i), "Tab" + std::to_string(i)));
    test::LoadedHost lh(WithChildren(children, 0), kTabListIni);
    host::StandInHost& h = lh.Host();
    PopupView opened, last, oneClosed, down19;
    std::vector<Script::Step> steps = {See(opened), Do([] { test::Wheel(kNotch); }),
                                       SeeWhen(last, [](const PopupView& v) { return v.sel == 24; }), Do(Click),
                                       SeeWhen(oneClosed, [](const PopupView& v) { return v.rows == 24; })};
    for (int rows = 23; rows >= 19; --rows) {
        steps.push_back(Do(Click));
        steps.push_back(SeeWhen(down19, [rows](const PopupView& v) { return v.rows == rows; }));
    }
    steps.push_back(Do(test::RightUp));
    Script script(std::move(steps));
    RunGesture(lh, CursorOverStatusBar(h), script);

    EXPECT_EQ(opened.rows, 25);
    ExpectRowsShown(opened, 25);
    EXPECT_EQ(opened.topIndex, 0);
    // Wrapping up to the last row scrolls it into view.
    EXPECT_GT(last.topIndex, 0);
    ExpectRowsShown(oneClosed, 24);
    EXPECT_EQ(oneClosed.sel, 23);
    EXPECT_EQ(down19.rows, 19);
    ExpectRowsShown(down19, 19);
    EXPECT_EQ(h.ChildCount(), 19);
}

TEST(TabListPopup, EscClosesWithTheSelectedRowAndEnterDoesNothing) {
    test::LoadedHost lh(WithChildren({PlainChild("A", "A"), PlainChild("B", "B"), PlainChild("C", "C")}, 0), kTabListIni);
    host::StandInHost& h = lh.Host();
    SelectTabRecorder selected;
    PopupView view;
    // The wheel step after Enter shows that the popup was still open.
    Script script({See(view), Do([] { Key(VK_RETURN); }), Do([] { test::Wheel(-kNotch); }),
                   SeeWhen(view, [](const PopupView& v) { return v.sel == 1; }), Do([] { Key(VK_ESCAPE); })});
    RunGesture(lh, CursorOverStatusBar(h), script);

    EXPECT_EQ(selected.rows, (std::vector<LPARAM>{1}));
    EXPECT_EQ(h.CurrentTab(), 1);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST(TabListPopup, LosingActivationClosesWithTheSelectedRow) {
    test::LoadedHost lh(WithChildren({PlainChild("A", "A"), PlainChild("B", "B"), PlainChild("C", "C")}, 0), kTabListIni);
    host::StandInHost& h = lh.Host();
    SelectTabRecorder selected;
    OtherProgram other;
    PopupView view;
    Script script({See(view), Do([] { test::Wheel(kNotch); }),
                   SeeWhen(view, [](const PopupView& v) { return v.sel == 2; }),
                   Do([&] { SetForegroundWindow(other.hwnd); })});
    RunGesture(lh, CursorOverStatusBar(h), script);

    EXPECT_EQ(selected.rows, (std::vector<LPARAM>{2}));
    EXPECT_EQ(selected.captures, (std::vector<HWND>{nullptr})) << "the button held, but another program in front";
    EXPECT_EQ(h.CurrentTab(), 2);
}

TEST(TabListPopup, RepaintGivesAStolenCaptureBackToTheMdiClient) {
    test::LoadedHost lh(WithChildren({PlainChild("A", "A"), PlainChild("B", "B")}, 0), kTabListIni);
    host::StandInHost& h = lh.Host();
    HWND stolen = nullptr, after = nullptr;
    Script script({[&](HWND popup) {
                       if (!popup) return false;
                       SetCapture(h.Toolbar());
                       stolen = GetCapture();
                       HWND list = GetDlgItem(popup, IDC_TABLIST_LIST);
                       InvalidateRect(list, nullptr, TRUE);
                       UpdateWindow(list);
                       after = GetCapture();
                       return true;
                   },
                   Do(test::RightUp)});
    RunGesture(lh, CursorOverStatusBar(h), script);

    EXPECT_EQ(stolen, h.Toolbar());
    EXPECT_EQ(after, h.MdiClient());
}

TEST(TabListPopup, NearTheWorkAreaEdgeItOpensOnTheCursorsOtherSide) {
    for (const host::DpiAwareness awareness : kAwarenesses) {
        if (!test::CanRunHostDeclaring(awareness)) continue;
        SCOPED_TRACE(host::DpiAwarenessName(awareness));
        // The work area as this host sees it.
        host::ScopedThreadDpiAwareness as(awareness);
        host::HostOptions o = Declaring(WithChildren({PlainChild("A", "A"), PlainChild("B", "B")}, 0), awareness);
        MONITORINFO monitor = {};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoA(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
        const RECT work = monitor.rcWork;
        o.frame = {work.right - 500, work.bottom - 400, work.right, work.bottom};
        test::LoadedHost lh(o, kTabListIni);
        host::StandInHost& h = lh.Host();
        RECT bar;
        GetWindowRect(h.Status(), &bar);
        POINT cursor = {bar.right - 20, bar.bottom - 5};
        // Clear of the size grip, which grows with the DPI: a press there is the
        // host's (WM_NCRBUTTONDOWN) and makes no gesture.
        while (cursor.x > bar.left &&
               SendMessageA(h.Status(), WM_NCHITTEST, 0, MAKELPARAM(cursor.x, cursor.y)) != HTCLIENT)
            --cursor.x;
        ASSERT_GT(cursor.y + 10 + 30, work.bottom);  // any popup would hang off
        ASSERT_GT(cursor.x + 10 + 30, work.right);
        PopupView view;
        Script script({See(view), Do(test::RightUp)});
        RunGesture(lh, cursor, script);

        EXPECT_EQ(view.dialog.right, cursor.x - view.Px(10));
        EXPECT_EQ(view.dialog.bottom, cursor.y - view.Px(10));
        EXPECT_GE(view.dialog.left, work.left);
        EXPECT_GE(view.dialog.top, work.top);
        ExpectRowsShown(view, 2);
    }
}

// Opened above the cursor for want of room below, the popup stays above
// when a closed row leaves it short enough to fit below.
TEST(TabListPopup, AfterAClosePopupKeepsItsSideOfTheCursor) {
    host::HostOptions o =
        WithChildren({PlainChild("A", "A"), PlainChild("B", "B"), PlainChild("C", "C"), PlainChild("D", "D")}, 0);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT work = monitor.rcWork;
    o.frame = {work.left, work.bottom - 600, work.left + 900, work.bottom};
    test::LoadedHost lh(o, kTabListIni);
    host::StandInHost& h = lh.Host();
    PopupView probe, opened, after;
    Script first({See(probe), Do(test::RightUp)});
    RunGesture(lh, {work.left + 300, work.bottom - 300}, first);
    // Room below for all rows but half of one.
    const int gap = probe.Px(10);
    const POINT cursor = {work.left + 300, work.bottom - gap - Height(probe.dialog) + probe.itemHeight / 2};
    Script script({See(opened), Do(Click), SeeWhen(after, RowsAre(3)), Do(test::RightUp)});
    RunGesture(lh, cursor, script);

    EXPECT_EQ(opened.dialog.bottom, cursor.y - gap);
    EXPECT_EQ(after.dialog.bottom, cursor.y - gap);
    EXPECT_EQ(h.ChildCount(), 3);
}

}  // namespace

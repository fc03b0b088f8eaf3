// Driving the TabList popup in tests: finding and reading it,
// a thread timer that plays steps inside the popup's modal loop, the gesture
// that opens it, and small builders of host options.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace popup {

using test::kNotch;
// TabList for both wheel directions, closing tabs with a left click.
constexpr char kTabListIni[] = "[Rollvix]\r\nTL0=1\r\nTL1=1\r\nTAB_CLOSE=1\r\n";
constexpr char kNavigationIni[] = "[Rollvix]\r\nMOVE_NEXTFROM=1\r\n";

// The open TabList popup of this thread, or null.
HWND FindPopup();
// A visible dialog of this thread other than the popup (a question), or null.
HWND FindOtherDialog();

struct PopupView {
    int rows = -1;
    int sel = -2;
    int topIndex = -1;
    int itemHeight = 0;
    std::vector<std::string> texts;
    RECT dialog = {};    // screen coordinates
    RECT list = {};      // screen coordinates
    int widestText = 0;  // widest row in the listbox's font
    int fontHeight = 0;  // of the listbox's font
    int dpi = 96;        // of the listbox's device context
    // A length given at 96 DPI, at the popup's DPI.
    int Px(int pixels) const { return MulDiv(pixels, dpi, 96); }
};
PopupView ViewPopup(HWND popup);

// Steps played one after another by a thread timer, inside whatever loop
// pumps the thread (the popup's modal loop included). A step returns true
// when done, false to be tried again at the next tick. After the timeout the
// script releases the input, ends menus and questions left up and cancels
// a popup still open, destroying it if the cancel does not end it.
class Script {
public:
    using Step = std::function<bool(HWND popup)>;
    explicit Script(std::vector<Step> steps, UINT tickMs = 20, DWORD timeoutMs = 10000);
    ~Script();
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;
    void Start();
    void Stop();
    bool Done() const { return timedOut_ || next_ >= steps_.size(); }
    bool TimedOut() const { return timedOut_; }
    size_t StepIndex() const { return next_; }
    DWORD TimeoutMs() const { return timeoutMs_; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    std::vector<Step> steps_;
    UINT tickMs_;
    DWORD timeoutMs_;
    size_t next_ = 0;
    DWORD start_ = 0;
    UINT_PTR timer_ = 0;
    bool busy_ = false;
    bool timedOut_ = false;
};

Script::Step Do(std::function<void()> action);
// Waits for the popup, then keeps what it shows.
Script::Step See(PopupView& view);
// Waits until the popup shows what `until` asks for, then keeps it.
Script::Step SeeWhen(PopupView& view, std::function<bool(const PopupView&)> until);

// Once the host's question is up, answers it with a real click on this
// button (IDYES, IDNO), noting who held the capture just before.
Script::Step ClickAnswer(int button, std::vector<HWND>* captures = nullptr);

// Holds the right button (or what `press` presses) at `cursor`, turns the
// wheel to open the popup and pumps the host until the script has run and
// the popup has gone.
void RunGesture(host::StandInHost& h, POINT cursor, Script& script, int openingDelta = -kNotch,
                void (*press)() = test::RightDown);
inline void RunGesture(test::LoadedHost& lh, POINT cursor, Script& script, int openingDelta = -kNotch,
                       void (*press)() = test::RightDown) {
    RunGesture(lh.Host(), cursor, script, openingDelta, press);
}

// Records the WMU_SELECTTAB rows the thread takes from its queue, before the
// plug-in's hook (installed earlier, so called later) swallows them.
class SelectTabRecorder {
public:
    SelectTabRecorder();
    ~SelectTabRecorder();
    SelectTabRecorder(const SelectTabRecorder&) = delete;
    SelectTabRecorder& operator=(const SelectTabRecorder&) = delete;
    std::vector<LPARAM> rows;
    std::vector<HWND> captures;  // as each was taken, right after its popup

private:
    static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam);
    HHOOK hook_;
};

// The middle of the host's status bar: a right-button release there opens no
// context menu.
POINT CursorOverStatusBar(host::StandInHost& h);

host::HostOptions WithChildren(std::vector<host::ChildSetup> children, int active);
host::MailMessage Mail(const std::string& from);

}  // namespace popup

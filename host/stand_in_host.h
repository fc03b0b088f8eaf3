// The stand-in host: the mail client's window tree, tab/MDI behaviour, menus,
// plug-in events and the 47 exported QMA_ services, written from what the
// plug-in relies on. Used by the tests and by samplehost.exe.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "host_dpi.h"

namespace host {

// One message of a folder. Texts are CP932 with CRLF line ends.
struct MailMessage {
    std::string text;
    bool unreadable = false;  // QMA_GetMessage returns null for it
    std::string subject;      // shown in the list's first column
};

enum class ChildKind {
    MessageList,  // the list view, the message view pane and two later siblings
    Plain,        // a plain view
    Composition,  // a pane holding "宛先(&T):" + edit and "件名(&S):" + edit
};

// What a child does when asked to close (WM_CLOSE).
enum class CloseAnswer {
    Close,   // the default MDI child handling destroys it
    Refuse,  // stays, as a window that cannot close now
    Ask,     // an unsaved draft: asks in a modal message box, closes on Yes
    AskUnowned,  // the same, the message box without an owner window
};

struct ChildSetup {
    ChildKind kind = ChildKind::Plain;
    std::string title;     // MDI child window text
    std::string tabText;   // text of its tab ("12 Inbox", "Outbox", ...)
    bool tabImage = false; // the tab carries an image
    std::string to;        // Composition: recipient field text
    std::string subject;   // Composition: subject field text
    bool paneHidden = false;  // Composition: the pane with the labels is hidden
    bool noSubjectLabel = false;  // Composition: leave out "件名(&S):"
    CloseAnswer onClose = CloseAnswer::Close;
};

// The tools menu's address book item, also chosen by the host's one
// accelerator, Ctrl with this key; each choice is a window event.
constexpr UINT kCmdAddressBook = 1003;
constexpr BYTE kAddressBookKey = VK_F13;

// The question a CloseAnswer::Ask child shows, and its caption is the title.
constexpr char kDiscardDraftQuestion[] = "この下書きを破棄しますか?";

struct HostOptions {
    bool toolbar = true;
    bool tabControl = true;
    bool mdiClient = true;
    bool statusBar = true;
    bool tabButtons = false;  // TCS_BUTTONS on the tab control
    int tabAnswerLimit = -1;  // >= 0: TCM_GETITEMA fails from this index on
    // Main window, screen coordinates. Inside its client area: the toolbar
    // across the top (34 high) holding the tab bar at (3, 3), 28 high, with
    // 48 pixels of bare toolbar to its right; the status bar at the bottom;
    // the MDI client between them, each child filling it. The message list
    // child: the list in the top 45 %, the view below it. The default fits
    // the smallest screen a host sees (853 x 683: unaware at 144 DPI) with
    // room to its right for another program's window.
    RECT frame = {0, 0, 720, 540};
    std::vector<ChildSetup> children;     // in tab order; empty: DefaultChildren()
    std::vector<MailMessage> messages;   // the folder shown by the message list
    int activeChild = 0;  // index of the child active after creation
    // The list's right-click menu (kind 7) is shown with TrackPopupMenu, a
    // modal loop; off by default so that right clicks in tests cannot block.
    bool listContextMenu = false;
    bool quitOnClose = false;  // closing the main window posts WM_QUIT
    // QMA_GetStaticWindows reports mainSlot as the main window instead of
    // the real one (a host that hands out no window, a stale one, another
    // program's).
    bool replaceMainSlot = false;
    HWND mainSlot = nullptr;
    // The DPI awareness the host's thread runs with while the host lives, as
    // a program declaring it would: its windows, the plug-in's among them,
    // and its coordinates follow it.
    DpiAwareness awareness = DpiAwareness::AsProcess;
};

// A message list child, two plain views and a composition window.
std::vector<ChildSetup> DefaultChildren();
// A plain view behind a tab, and a composition window behind a tab.
ChildSetup PlainChild(const std::string& title, const std::string& tabText, bool tabImage = false);
ChildSetup CompositionChild(const std::string& title, const std::string& tabText, const std::string& to,
                           const std::string& subject);

// What one of the host's windows took from its message loop (mouse and key
// messages only, WM_MOUSEMOVE and WM_NCMOUSEMOVE left out). A message that a
// hook swallowed arrives as WM_NULL and is not recorded.
struct Received {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// One call of an exported service, with its arguments as text: integers in
// decimal, handles and pointers as 0x%08X, strings in double quotes, joined
// by ", " (e.g. QMA_GetNextMessagePath "-1, 0x0022F6A4, 1",
// QMA_DispMessageOnStatusBar "\"not found\", -1").
struct ServiceCall {
    std::string name;
    std::string args;
};

class StandInHost {
public:
    explicit StandInHost(const HostOptions& options = HostOptions());
    ~StandInHost();
    StandInHost(const StandInHost&) = delete;
    StandInHost& operator=(const StandInHost&) = delete;

    // The instance the exported services act on (the last one created).
    static StandInHost* Current();

    // Windows.
    HWND Main() const;
    HWND MdiClient() const;  // null when left out
    HWND Toolbar() const;
    HWND Tab() const;
    HWND Status() const;
    HWND List() const;  // the message list view
    HWND View() const;  // the message view pane (slot 4)
    HWND Child(int index) const;     // MDI child in tab order (creation order)
    int ChildCount() const;
    HWND ActiveChild() const;
    void ActivateChild(int index);
    int CurrentTab() const;          // TCM_GETCURSEL
    int TabCount() const;
    std::string TabText(int index) const;
    std::string StatusText() const;  // last text shown through the service
    int IndexOfChild(HWND child) const;  // -1 when it is not one of the children
    HMENU ToolsMenu() const;  // the menu bar's tools menu (kind 3 on WM_INITMENUPOPUP)

    // Message list: the focused and selected item, or -1.
    int SelectedItem() const;
    void SelectItem(int index);      // focused and selected, others cleared
    UINT ItemState(int index, UINT mask) const;
    void SetItemState(int index, UINT state, UINT mask);
    void SetMessages(const std::vector<MailMessage>& messages);
    // The path QMA_GetNextMessagePath reports for a message of the folder.
    std::string MessagePath(int index) const;

    // Plug-ins. Loaded modules receive events and menu commands.
    HMODULE LoadPlugin(const std::string& dllPath);  // LoadLibraryA; null on failure
    void UnloadPlugin(HMODULE module);
    int LoadPluginsFrom(const std::string& folder);  // every *.dll; returns how many loaded
    const std::vector<HMODULE>& Plugins() const;     // loaded, in load order
    // Event 1000 into a zeroed record of recordSize bytes; returns the result.
    int RequestPluginInfo(HMODULE plugin, std::vector<BYTE>& record, size_t recordSize = 32 * 1024);
    // Builds an empty popup menu and raises event 1001 with this kind for
    // every loaded plug-in, as the host does before showing a menu: the items
    // are the plug-ins' alone. Caller destroys it.
    HMENU OfferMenu(int kind);
    // Sends WM_COMMAND with this identifier to the main window; identifiers from
    // QMA_GetTempID are routed to their plug-in's QMH_OnCmdProc.
    void ChooseCommand(UINT id);

    // Records.
    std::vector<Received> TakeReceived();  // returns and clears
    void ClearReceived();
    const std::vector<ServiceCall>& Calls() const;
    void ClearCalls();
    std::vector<std::string> Faults() const;  // calls of unused services, release faults
    int OutstandingTexts() const;
    // Messages of interest seen by a window (WM_SETREDRAW, WM_PAINT, a
    // child's WM_CLOSE, the address book's WM_COMMAND), in order, with the thread's capture at that moment.
    struct WindowEvent { HWND hwnd; UINT message; WPARAM wParam; HWND capture; };
    const std::vector<WindowEvent>& WindowEvents() const;
    void ClearWindowEvents();

    // One turn of the host's message loop: PeekMessage(PM_REMOVE), record,
    // TranslateMessage/DispatchMessage. Returns false when the queue was empty.
    bool PumpOne();
    // GetMessage loop for the sample application, until WM_QUIT; records nothing.
    int RunMessageLoop();

    // Service implementations, called by the exported QMA_ functions.
    int GetStaticWindows(HWND* s1, HWND* s2, HWND* s3, HWND* s4, HWND* s5);
    int GetTempID(HINSTANCE module, int command);
    int GetNextMessagePath(int from, char* buffer, int flags);
    const char* GetMessageText(const char* path);
    int ReleaseQuilmBuffer();
    int DispMessageOnStatusBar(const char* text, int part);
    void UnusedServiceCalled(const char* name);

    struct Impl;
private:
    Impl* impl_;
};

}  // namespace host

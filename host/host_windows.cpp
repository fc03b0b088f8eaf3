// The host's window tree: frame, toolbar with its tab bar, MDI client, status
// bar and the MDI children, plus the tab/child bookkeeping between them.
#include <windows.h>
#include <commctrl.h>

#include "host_internal.h"

namespace host {

namespace {

constexpr char kFrameClass[] = "StandInHostFrame";
constexpr char kChildClass[] = "StandInHostChild";
constexpr char kPaneClass[] = "StandInHostPane";
constexpr char kViewClass[] = "StandInHostView";
// The view paints at most this much of the message: a screenful.
constexpr int kViewPaintBytes = 8192;

constexpr int kToolbarHeight = 34;
constexpr int kTabHeight = 28;
constexpr int kToolbarFreeRight = 48;  // bare toolbar right of the tab bar
constexpr UINT kFirstMdiChildId = 0xFF00;  // above every QMA_GetTempID identifier

// Control identifiers inside the children.
enum : int {
    kIdList = 100,
    kIdView,
    kIdSplitter,
    kIdAttachBar,
    kIdPane = 110,
    kIdToLabel,
    kIdToEdit,
    kIdSubjectLabel,
    kIdSubjectEdit,
    kIdBody,
    kIdPlain = 120,
};

enum : UINT {
    kCmdExit = 1001,
    kCmdOptions,
    kCmdAbout = kCmdAddressBook + 1,
    kCmdReply,
    kCmdForward,
    kCmdDelete,
};

constexpr UINT_PTR kSubclassToolbar = 1;
constexpr UINT_PTR kSubclassTab = 2;
constexpr UINT_PTR kSubclassWatched = 3;

struct ChildCreate {
    StandInHost::Impl* impl;
    const ChildSetup* setup;
};

StandInHost::Impl* ImplOf(HWND hwnd) {
    return reinterpret_cast<StandInHost::Impl*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

void SetGuiFont(HWND hwnd) {
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
}

HWND MakeControl(DWORD exStyle, const char* cls, const char* text, DWORD style, HWND parent, int id) {
    HWND hwnd = CreateWindowExA(exStyle, cls, text, WS_CHILD | style, 0, 0, 10, 10, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                                nullptr);
    SetGuiFont(hwnd);
    return hwnd;
}

// The toolbar hands its tab control's notifications on to the frame, as the
// real host's toolbar does.
LRESULT CALLBACK ToolbarSubclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    auto* impl = reinterpret_cast<StandInHost::Impl*>(ref);
    if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lp)->hwndFrom == impl->tab)
        return SendMessageA(impl->main, WM_NOTIFY, wp, lp);
    return DefSubclassProc(hwnd, msg, wp, lp);
}

// A tab control that stops answering item queries from some index on.
LRESULT CALLBACK TabSubclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    auto* impl = reinterpret_cast<StandInHost::Impl*>(ref);
    int limit = impl->options.tabAnswerLimit;
    if (msg == TCM_GETITEMA && limit >= 0 && static_cast<int>(wp) >= limit && !impl->answerAllTabs) return 0;
    return DefSubclassProc(hwnd, msg, wp, lp);
}

// Windows whose redrawing a walk over the list switches off.
LRESULT CALLBACK WatchedSubclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    auto* impl = reinterpret_cast<StandInHost::Impl*>(ref);
    if (msg == WM_SETREDRAW || (msg == WM_PAINT && hwnd == impl->list)) impl->NoteWindowEvent(hwnd, msg, wp);
    LRESULT result = DefSubclassProc(hwnd, msg, wp, lp);
    // As Windows' controls do, a pane that stops drawing also hides from the
    // window manager. Wine's list view keeps its own flag only, and goes on
    // scrolling and painting its scroll bar for every focus change meanwhile.
    if (msg == WM_SETREDRAW) DefWindowProcA(hwnd, msg, wp, lp);
    return result;
}

// The message view: keeps the text as the window's own and paints its start.
// An edit control would lay out the whole message for every selection change
// (11 ms for a few KB under wine, half a second for 1 MB), which would drown
// what the plug-in does in a walk across the list.
LRESULT CALLBACK ViewProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_SETTEXT: {
            LRESULT result = DefWindowProcA(hwnd, msg, wp, lp);
            InvalidateRect(hwnd, nullptr, TRUE);
            return result;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            static char text[kViewPaintBytes];
            int length = GetWindowTextA(hwnd, text, kViewPaintBytes);
            RECT area;
            GetClientRect(hwnd, &area);
            InflateRect(&area, -4, -2);
            HGDIOBJ font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
            SetBkMode(dc, TRANSPARENT);
            DrawTextA(dc, text, length, &area, DT_NOPREFIX | DT_EXPANDTABS | DT_WORDBREAK | DT_EDITCONTROL);
            SelectObject(dc, font);
            EndPaint(hwnd, &ps);
            return 0;
        }
        default:
            return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

void RegisterClasses() {
    static bool done = false;
    if (done) return;
    done = true;
    const struct {
        const char* name;
        WNDPROC proc;
        int background;  // system colour
        bool icon;       // the frame and the MDI children show one
    } classes[] = {
        {kFrameClass, FrameProc, COLOR_APPWORKSPACE, true},
        {kChildClass, ChildProc, COLOR_BTNFACE, true},
        {kPaneClass, DefWindowProcA, COLOR_BTNFACE, false},
        {kViewClass, ViewProc, COLOR_WINDOW, false},
    };
    for (const auto& c : classes) {
        WNDCLASSA wc = {};
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hIcon = c.icon ? LoadIcon(nullptr, IDI_APPLICATION) : nullptr;
        wc.lpfnWndProc = c.proc;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(c.background + 1));
        wc.lpszClassName = c.name;
        RegisterClassA(&wc);
    }

    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
}

HMENU BuildMenuBar(HMENU* tools, int* toolsHostItems) {
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, kCmdExit, "終了(&X)");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "ファイル(&F)");
    *tools = CreatePopupMenu();
    AppendMenuA(*tools, MF_STRING, kCmdOptions, "オプション(&O)...");
    AppendMenuA(*tools, MF_STRING, kCmdAddressBook, "アドレス帳(&A)");
    *toolsHostItems = GetMenuItemCount(*tools);
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(*tools), "ツール(&T)");
    HMENU help = CreatePopupMenu();
    AppendMenuA(help, MF_STRING, kCmdAbout, "バージョン情報(&A)");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "ヘルプ(&H)");
    return bar;
}

void BuildMessageList(StandInHost::Impl* impl, HWND child) {
    impl->list = MakeControl(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                             WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, child, kIdList);
    SendMessageA(impl->list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    const struct {
        const char* title;
        int width;
    } columns[] = {{"件名", 330}, {"差出人", 190}, {"日時", 220}};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNA col = {};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.pszText = const_cast<char*>(columns[i].title);
        col.cx = columns[i].width;
        SendMessageA(impl->list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&col));
    }
    // The view pane and, after it, two more siblings: all are frozen together.
    impl->view = MakeControl(WS_EX_CLIENTEDGE, kViewClass, "", WS_VISIBLE | WS_TABSTOP, child, kIdView);
    MakeControl(0, "STATIC", "", WS_VISIBLE | SS_ETCHEDHORZ, child, kIdSplitter);
    MakeControl(0, "STATIC", "添付ファイル: なし", WS_VISIBLE | SS_LEFT | SS_CENTERIMAGE, child, kIdAttachBar);
    DWORD_PTR ref = reinterpret_cast<DWORD_PTR>(impl);
    SetWindowSubclass(impl->list, WatchedSubclass, kSubclassWatched, ref);
    for (HWND w = impl->view; w; w = GetWindow(w, GW_HWNDNEXT)) SetWindowSubclass(w, WatchedSubclass, kSubclassWatched, ref);
}

void BuildComposition(const ChildSetup& setup, HWND child) {
    HWND pane = MakeControl(0, kPaneClass, "", setup.paneHidden ? 0 : WS_VISIBLE, child, kIdPane);
    // Each label is immediately followed by its field among the siblings.
    MakeControl(0, "STATIC", "宛先(&T):", WS_VISIBLE | SS_RIGHT, pane, kIdToLabel);
    MakeControl(WS_EX_CLIENTEDGE, "EDIT", setup.to.c_str(), WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, pane, kIdToEdit);
    if (!setup.noSubjectLabel) MakeControl(0, "STATIC", "件名(&S):", WS_VISIBLE | SS_RIGHT, pane, kIdSubjectLabel);
    MakeControl(WS_EX_CLIENTEDGE, "EDIT", setup.subject.c_str(), WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, pane,
                kIdSubjectEdit);
    MakeControl(WS_EX_CLIENTEDGE, "EDIT", "", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL,
                child, kIdBody);
}

void Place(HWND parent, int id, int x, int y, int w, int h) {
    if (HWND c = GetDlgItem(parent, id)) MoveWindow(c, x, y, w > 0 ? w : 0, h > 0 ? h : 0, TRUE);
}

}  // namespace

void StandInHost::Impl::CreateWindows() {
    RegisterClasses();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    const RECT& f = options.frame;
    HMENU bar = BuildMenuBar(&toolsMenu, &toolsMenuHostItems);
    ACCEL addressBook = {FCONTROL | FVIRTKEY, kAddressBookKey, kCmdAddressBook};
    accelerators = CreateAcceleratorTableA(&addressBook, 1);
    main = CreateWindowExA(0, kFrameClass, "StandInHost", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, f.left, f.top,
                           f.right - f.left, f.bottom - f.top, nullptr, bar, instance, this);
    DWORD_PTR ref = reinterpret_cast<DWORD_PTR>(this);

    if (options.toolbar) {
        toolbar = MakeControl(0, TOOLBARCLASSNAMEA, "",
                              WS_VISIBLE | WS_CLIPCHILDREN | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER |
                                  TBSTYLE_FLAT,
                              main, 200);
        SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
        SetWindowSubclass(toolbar, ToolbarSubclass, kSubclassToolbar, ref);
    }
    if (options.tabControl) {
        // Without a toolbar the tab bar sits on the frame, where no plug-in looks.
        DWORD style = WS_VISIBLE | WS_CLIPSIBLINGS | TCS_FOCUSNEVER | (options.tabButtons ? TCS_BUTTONS : 0);
        tab = MakeControl(0, WC_TABCONTROLA, "", style, toolbar ? toolbar : main, 201);
        tabImages = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1);
        ImageList_AddIcon(tabImages, LoadIcon(nullptr, IDI_INFORMATION));
        SendMessageA(tab, TCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(tabImages));
        SetWindowSubclass(tab, TabSubclass, kSubclassTab, ref);
    }
    if (options.statusBar) {
        status = MakeControl(0, STATUSCLASSNAMEA, "", WS_VISIBLE | SBARS_SIZEGRIP, main, 202);
        SetWindowSubclass(status, WatchedSubclass, kSubclassWatched, ref);
    }
    if (options.mdiClient) {
        CLIENTCREATESTRUCT ccs = {nullptr, kFirstMdiChildId};
        mdiClient = CreateWindowExA(WS_EX_CLIENTEDGE, "MDICLIENT", nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                                    0, 10, 10, main, nullptr, instance, &ccs);
    }
    Layout();

    const std::vector<ChildSetup>& setups = options.children;
    for (size_t i = 0; i < setups.size(); ++i) CreateChild(setups[i], static_cast<int>(i));
    FillList();
    ShowWindow(main, SW_SHOWNORMAL);
    UpdateWindow(main);
    if (!children.empty()) {
        int first = options.activeChild >= 0 && options.activeChild < static_cast<int>(children.size())
                        ? options.activeChild
                        : 0;
        self->ActivateChild(first);
    }
}

void StandInHost::Impl::CreateChild(const ChildSetup& setup, int index) {
    if (tab) {
        TCITEMA item = {};
        item.mask = TCIF_TEXT | TCIF_IMAGE;
        item.pszText = const_cast<char*>(setup.tabText.c_str());
        item.iImage = setup.tabImage ? 0 : -1;
        SendMessageA(tab, TCM_INSERTITEMA, index, reinterpret_cast<LPARAM>(&item));
    }
    ChildCreate create = {this, &setup};
    RECT area;
    GetClientRect(mdiClient ? mdiClient : main, &area);
    int y = 0, h = area.bottom;
    if (!mdiClient) {
        // Children then fill the frame's free band like an MDI client would.
        RECT r;
        if (toolbar || tab) {
            GetWindowRect(toolbar ? toolbar : tab, &r);
            y = r.bottom - r.top;
        }
        if (status) {
            GetWindowRect(status, &r);
            h -= r.bottom - r.top;
        }
        h -= y;
    }
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    HWND child;
    if (mdiClient) {
        child = CreateWindowExA(WS_EX_MDICHILD, kChildClass, setup.title.c_str(), style | WS_OVERLAPPEDWINDOW, 0, 0,
                                area.right, area.bottom, mdiClient, nullptr, GetModuleHandleA(nullptr), &create);
    } else {
        child = CreateWindowExA(0, kChildClass, setup.title.c_str(), style, 0, y, area.right, h, main, nullptr,
                                GetModuleHandleA(nullptr), &create);
    }
    children.push_back(child);
    closeAnswers[child] = setup.onClose;
}

void StandInHost::Impl::Layout() {
    RECT rc;
    GetClientRect(main, &rc);
    int top = 0, bottom = rc.bottom;
    if (toolbar) {
        MoveWindow(toolbar, 0, 0, rc.right, kToolbarHeight, TRUE);
        top = kToolbarHeight;
    }
    if (tab) {
        int inset = toolbar ? 3 : 0;
        int width = rc.right - (toolbar ? kToolbarFreeRight : 0) - inset;
        MoveWindow(tab, inset, inset, width, kTabHeight, TRUE);
        if (!toolbar) top = kTabHeight;
    }
    if (status) {
        SendMessageA(status, WM_SIZE, 0, 0);
        RECT sr;
        GetWindowRect(status, &sr);
        bottom -= sr.bottom - sr.top;
    }
    if (mdiClient) MoveWindow(mdiClient, 0, top, rc.right, bottom - top, TRUE);
}

void StandInHost::Impl::LayoutChild(HWND child) {
    RECT rc;
    GetClientRect(child, &rc);
    int w = rc.right, h = rc.bottom;
    if (GetDlgItem(child, kIdList)) {
        int listH = h * 45 / 100, barH = 22;
        Place(child, kIdList, 0, 0, w, listH);
        Place(child, kIdSplitter, 0, listH, w, 4);
        Place(child, kIdView, 0, listH + 4, w, h - listH - 4 - barH);
        Place(child, kIdAttachBar, 4, h - barH, w - 8, barH);
    } else if (HWND pane = GetDlgItem(child, kIdPane)) {
        int paneH = 58;
        Place(child, kIdPane, 0, 0, w, paneH);
        Place(pane, kIdToLabel, 4, 7, 72, 20);
        Place(pane, kIdToEdit, 80, 4, w - 86, 24);
        Place(pane, kIdSubjectLabel, 4, 33, 72, 20);
        Place(pane, kIdSubjectEdit, 80, 30, w - 86, 24);
        int bodyTop = IsWindowVisible(pane) ? paneH : 0;
        Place(child, kIdBody, 0, bodyTop, w, h - bodyTop);
    } else {
        Place(child, kIdPlain, 0, 0, w, h);
    }
}

int StandInHost::Impl::ChildIndex(HWND child) const {
    for (size_t i = 0; i < children.size(); ++i)
        if (children[i] == child) return static_cast<int>(i);
    return -1;
}

HWND StandInHost::Impl::Active() const {
    if (mdiClient) return reinterpret_cast<HWND>(SendMessageA(mdiClient, WM_MDIGETACTIVE, 0, 0));
    if (activeWithoutMdi >= 0 && activeWithoutMdi < static_cast<int>(children.size())) return children[activeWithoutMdi];
    return nullptr;
}

void StandInHost::Impl::SelectTabOfActive() {
    int index = ChildIndex(Active());
    if (index < 0) return;
    if (tab && SendMessageA(tab, TCM_GETCURSEL, 0, 0) != index) SendMessageA(tab, TCM_SETCURSEL, index, 0);
    // Stack the children in tab order from the active one on, so that the MDI
    // client's next and previous child are the next and previous tab.
    int n = static_cast<int>(children.size());
    for (int k = 1; mdiClient && k < n; ++k) {
        SetWindowPos(children[(index + k) % n], children[(index + k - 1) % n], 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    }
}

void StandInHost::Impl::OnTabChosen() {
    int index = static_cast<int>(SendMessageA(tab, TCM_GETCURSEL, 0, 0));
    if (index >= 0 && index < static_cast<int>(children.size())) self->ActivateChild(index);
}

void StandInHost::Impl::OnChildDestroyed(HWND child) {
    if (destroying) return;
    int index = ChildIndex(child);
    if (index < 0) return;
    if (list && IsChild(child, list)) list = view = nullptr;
    children.erase(children.begin() + index);
    if (tab) SendMessageA(tab, TCM_DELETEITEM, index, 0);
    if (!mdiClient && activeWithoutMdi >= index) {
        activeWithoutMdi = activeWithoutMdi > 0 ? activeWithoutMdi - 1 : (children.empty() ? -1 : 0);
    }
    // The MDI client has already activated another child; its tab follows.
    SelectTabOfActive();
}

void StandInHost::Impl::ShowListContextMenu(int x, int y) {
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, kCmdReply, "返信(&R)");
    AppendMenuA(menu, MF_STRING, kCmdForward, "転送(&F)");
    AppendMenuA(menu, MF_STRING, kCmdDelete, "削除(&D)");
    RaiseMenuEvent(menu, 7);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, x, y, 0, main, nullptr);
    DestroyMenu(menu);
}

LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    StandInHost::Impl* impl = ImplOf(hwnd);
    HWND client = impl ? impl->mdiClient : nullptr;
    if (!impl) return DefFrameProcA(hwnd, client, msg, wp, lp);
    switch (msg) {
        case WM_SIZE:
            // The frame places the MDI client itself, between the bars.
            impl->Layout();
            return 0;
        case WM_NOTIFY: {
            auto* nm = reinterpret_cast<NMHDR*>(lp);
            if (nm->hwndFrom == impl->tab && nm->code == TCN_SELCHANGE) impl->OnTabChosen();
            return 0;
        }
        case WM_INITMENUPOPUP:
            if (reinterpret_cast<HMENU>(wp) == impl->toolsMenu) {
                // Plug-ins extend the menu anew each time it opens.
                while (GetMenuItemCount(impl->toolsMenu) > impl->toolsMenuHostItems)
                    DeleteMenu(impl->toolsMenu, impl->toolsMenuHostItems, MF_BYPOSITION);
                impl->RaiseMenuEvent(impl->toolsMenu, 3);
            }
            break;
        case WM_COMMAND:
            if (LOWORD(wp) == kCmdAddressBook) impl->NoteWindowEvent(hwnd, msg, wp);
            if (impl->RouteCommand(LOWORD(wp))) return 0;
            if (LOWORD(wp) == kCmdExit) {
                PostMessageA(hwnd, WM_CLOSE, 0, 0);
                return 0;
            }
            break;
        case WM_DESTROY:
            impl->destroying = true;
            if (impl->options.quitOnClose) PostQuitMessage(0);
            break;
    }
    return DefFrameProcA(hwnd, client, msg, wp, lp);
}

LRESULT CALLBACK ChildProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
        void* param = cs->lpCreateParams;
        if (GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_MDICHILD)
            param = reinterpret_cast<void*>(reinterpret_cast<MDICREATESTRUCTA*>(param)->lParam);
        auto* create = static_cast<ChildCreate*>(param);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->impl));
        switch (create->setup->kind) {
            case ChildKind::MessageList:
                if (!create->impl->list) {
                    BuildMessageList(create->impl, hwnd);
                    break;
                }
                [[fallthrough]];
            case ChildKind::Plain:
                MakeControl(WS_EX_CLIENTEDGE, "EDIT", create->setup->title.c_str(),
                            WS_VISIBLE | ES_MULTILINE | ES_READONLY, hwnd, kIdPlain);
                break;
            case ChildKind::Composition:
                BuildComposition(*create->setup, hwnd);
                break;
        }
        create->impl->LayoutChild(hwnd);
    }
    StandInHost::Impl* impl = ImplOf(hwnd);
    bool mdi = (GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_MDICHILD) != 0;
    if (impl) {
        switch (msg) {
            case WM_SIZE:
                impl->LayoutChild(hwnd);
                break;
            case WM_MDIACTIVATE:
                if (reinterpret_cast<HWND>(lp) == hwnd) impl->SelectTabOfActive();
                break;
            case WM_NOTIFY: {
                auto* nm = reinterpret_cast<NMHDR*>(lp);
                if (nm->hwndFrom != impl->list) break;
                if (nm->code == LVN_ITEMCHANGED) {
                    auto* lv = reinterpret_cast<NMLISTVIEW*>(lp);
                    const UINT both = LVIS_FOCUSED | LVIS_SELECTED;
                    // The view follows the focused and selected message at once.
                    if ((lv->uChanged & LVIF_STATE) && (lv->uNewState & both) == both && (lv->uOldState & both) != both)
                        impl->ShowMessage(lv->iItem);
                } else if (nm->code == NM_RCLICK && impl->options.listContextMenu) {
                    POINT p;
                    GetCursorPos(&p);
                    impl->ShowListContextMenu(p.x, p.y);
                    return 1;
                }
                break;
            }
            case WM_CLOSE: {
                impl->NoteWindowEvent(hwnd, msg, wp);
                auto it = impl->closeAnswers.find(hwnd);
                CloseAnswer answer = it == impl->closeAnswers.end() ? CloseAnswer::Close : it->second;
                if (answer == CloseAnswer::Refuse) return 0;
                if (answer == CloseAnswer::Ask || answer == CloseAnswer::AskUnowned) {
                    char title[256] = {};
                    GetWindowTextA(hwnd, title, sizeof title);
                    HWND owner = answer == CloseAnswer::Ask ? hwnd : nullptr;
                    if (MessageBoxA(owner, kDiscardDraftQuestion, title, MB_YESNO | MB_ICONQUESTION) != IDYES) return 0;
                }
                break;
            }
            case WM_DESTROY:
                impl->closeAnswers.erase(hwnd);
                impl->OnChildDestroyed(hwnd);
                break;
        }
    }
    return mdi ? DefMDIChildProcA(hwnd, msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace host

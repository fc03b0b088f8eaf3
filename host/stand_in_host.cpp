// The stand-in host's public face: windows, message list, plug-ins, menus,
// records and its message loop.
#include "stand_in_host.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "host_internal.h"

namespace host {

namespace {

StandInHost* g_current = nullptr;

constexpr char kUnreadableText[] = "(このメッセージは読み出せません)";

using HandleEventFn = int(__cdecl*)(LPARAM unread, int event, int kind, LPARAM data);
using CmdProcFn = void(__cdecl*)(LPARAM unread, int command);

constexpr int kEventPluginInfo = 1000;
constexpr int kEventMenuInit = 1001;

bool IsRecordedInput(UINT message) {
    if (message == WM_MOUSEMOVE || message == WM_NCMOUSEMOVE) return false;
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

}  // namespace

ChildSetup PlainChild(const std::string& title, const std::string& tabText, bool tabImage) {
    ChildSetup c;
    c.title = title;
    c.tabText = tabText;
    c.tabImage = tabImage;
    return c;
}

ChildSetup CompositionChild(const std::string& title, const std::string& tabText, const std::string& to,
                           const std::string& subject) {
    ChildSetup c = PlainChild(title, tabText);
    c.kind = ChildKind::Composition;
    c.to = to;
    c.subject = subject;
    return c;
}

std::vector<ChildSetup> DefaultChildren() {
    ChildSetup list = PlainChild("Inbox", "12 Inbox", true);
    list.kind = ChildKind::MessageList;
    return {list, PlainChild("Outbox", "123 Outbox"), PlainChild("Sent", "Sent"),
            CompositionChild("Reply re: plan", "編 Reply re: plan", "sales", "plan")};
}

StandInHost::StandInHost(const HostOptions& options) : impl_(new Impl) {
    impl_->self = this;
    impl_->options = options;
    if (impl_->options.children.empty()) impl_->options.children = DefaultChildren();
    impl_->messages = options.messages;
    g_current = this;
    impl_->awareness = std::make_unique<ScopedThreadDpiAwareness>(options.awareness);
    impl_->CreateWindows();
}

StandInHost::~StandInHost() {
    // Plug-ins go first: their unload still talks to the windows.
    while (!impl_->plugins.empty()) UnloadPlugin(impl_->plugins.back());
    impl_->destroying = true;
    if (IsWindow(impl_->main)) DestroyWindow(impl_->main);
    if (impl_->tabImages) ImageList_Destroy(impl_->tabImages);
    if (impl_->accelerators) DestroyAcceleratorTable(impl_->accelerators);
    if (g_current == this) g_current = nullptr;
    delete impl_;  // the thread's awareness back as it was
}

StandInHost* StandInHost::Current() { return g_current; }

HWND StandInHost::Main() const { return impl_->main; }
HWND StandInHost::MdiClient() const { return impl_->mdiClient; }
HWND StandInHost::Toolbar() const { return impl_->toolbar; }
HWND StandInHost::Tab() const { return impl_->tab; }
HWND StandInHost::Status() const { return impl_->status; }
HWND StandInHost::List() const { return impl_->list; }
HWND StandInHost::View() const { return impl_->view; }
HMENU StandInHost::ToolsMenu() const { return impl_->toolsMenu; }

HWND StandInHost::Child(int index) const {
    return index >= 0 && index < ChildCount() ? impl_->children[index] : nullptr;
}
int StandInHost::ChildCount() const { return static_cast<int>(impl_->children.size()); }
int StandInHost::IndexOfChild(HWND child) const { return impl_->ChildIndex(child); }
HWND StandInHost::ActiveChild() const { return impl_->Active(); }

void StandInHost::ActivateChild(int index) {
    HWND child = Child(index);
    if (!child) return;
    if (impl_->mdiClient) {
        SendMessageA(impl_->mdiClient, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(child), 0);
    } else {
        impl_->activeWithoutMdi = index;
        SetWindowPos(child, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
    impl_->SelectTabOfActive();
}

int StandInHost::CurrentTab() const {
    return impl_->tab ? static_cast<int>(SendMessageA(impl_->tab, TCM_GETCURSEL, 0, 0)) : -1;
}

int StandInHost::TabCount() const {
    return impl_->tab ? static_cast<int>(SendMessageA(impl_->tab, TCM_GETITEMCOUNT, 0, 0)) : 0;
}

std::string StandInHost::TabText(int index) const {
    if (!impl_->tab) return std::string();
    char text[256] = {};
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    // Past the limit that the subclass may set on answers.
    impl_->answerAllTabs = true;
    SendMessageA(impl_->tab, TCM_GETITEMA, index, reinterpret_cast<LPARAM>(&item));
    impl_->answerAllTabs = false;
    return item.pszText ? item.pszText : "";
}

std::string StandInHost::StatusText() const { return impl_->statusText; }

int StandInHost::SelectedItem() const {
    if (!impl_->list) return -1;
    return static_cast<int>(SendMessageA(impl_->list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                         LVNI_FOCUSED | LVNI_SELECTED));
}

void StandInHost::SelectItem(int index) {
    if (!impl_->list) return;
    SetItemState(-1, 0, LVIS_FOCUSED | LVIS_SELECTED);
    SetItemState(index, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    SendMessageA(impl_->list, LVM_ENSUREVISIBLE, index, FALSE);
}

UINT StandInHost::ItemState(int index, UINT mask) const {
    if (!impl_->list) return 0;
    return static_cast<UINT>(SendMessageA(impl_->list, LVM_GETITEMSTATE, index, mask));
}

void StandInHost::SetItemState(int index, UINT state, UINT mask) {
    if (!impl_->list) return;
    LVITEMA item = {};
    item.state = state;
    item.stateMask = mask;
    SendMessageA(impl_->list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

void StandInHost::SetMessages(const std::vector<MailMessage>& messages) {
    impl_->messages = messages;
    impl_->FillList();
}

std::string StandInHost::MessagePath(int index) const {
    char path[64];
    std::snprintf(path, sizeof path, "C:\\Mail\\Inbox\\%05d.eml", index + 1);
    return path;
}

void StandInHost::Impl::FillList() {
    if (!list) return;
    // Filled with drawing off: otherwise wine repaints the list for every
    // item, and a folder of 100,000 messages would take minutes.
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    SendMessageA(list, LVM_SETITEMCOUNT, messages.size(), 0);
    if (view) SetWindowTextA(view, "");
    shownText.clear();
    for (size_t i = 0; i < messages.size(); ++i) {
        ListEntry entry = DescribeMessage(messages[i]);
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<char*>(entry.subject.c_str());
        item.lParam = static_cast<LPARAM>(i);
        int row = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.iSubItem = 1;
        item.pszText = const_cast<char*>(entry.from.c_str());
        SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        item.iSubItem = 2;
        item.pszText = const_cast<char*>(entry.date.c_str());
        SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

void StandInHost::Impl::ShowMessage(int item) {
    if (!view) return;
    LVITEMA lv = {};
    lv.mask = LVIF_PARAM;
    lv.iItem = item;
    if (!SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&lv))) return;
    size_t index = static_cast<size_t>(lv.lParam);
    if (index >= messages.size()) return;
    const MailMessage& m = messages[index];
    const std::string& text = m.unreadable ? kUnreadableText : m.text;
    // A walk over a long list of like messages keeps the view as it is.
    if (text == shownText) return;
    shownText = text;
    SetWindowTextA(view, text.c_str());
}

HMODULE StandInHost::LoadPlugin(const std::string& dllPath) {
    HMODULE module = LoadLibraryA(dllPath.c_str());
    if (module) impl_->plugins.push_back(module);
    return module;
}

void StandInHost::UnloadPlugin(HMODULE module) {
    auto& p = impl_->plugins;
    for (auto it = p.begin(); it != p.end(); ++it) {
        if (*it != module) continue;
        p.erase(it);
        for (auto c = impl_->tempCommands.begin(); c != impl_->tempCommands.end();)
            c = c->second.module == module ? impl_->tempCommands.erase(c) : std::next(c);
        FreeLibrary(module);
        return;
    }
}

int StandInHost::LoadPluginsFrom(const std::string& folder) {
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((folder + "\\*.dll").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return 0;
    int loaded = 0;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && LoadPlugin(folder + "\\" + fd.cFileName)) ++loaded;
    } while (FindNextFileA(find, &fd));
    FindClose(find);
    return loaded;
}

const std::vector<HMODULE>& StandInHost::Plugins() const { return impl_->plugins; }

int StandInHost::RequestPluginInfo(HMODULE plugin, std::vector<BYTE>& record, size_t recordSize) {
    record.assign(recordSize, 0);
    auto handle = ProcAddress<HandleEventFn>(plugin, "QMH_OnHandleEvent");
    if (!handle) return 0;
    return handle(0, kEventPluginInfo, 0, reinterpret_cast<LPARAM>(record.data()));
}

HMENU StandInHost::OfferMenu(int kind) {
    HMENU menu = CreatePopupMenu();
    impl_->RaiseMenuEvent(menu, kind);
    return menu;
}

void StandInHost::Impl::RaiseMenuEvent(HMENU menu, int kind) {
    for (HMODULE plugin : plugins) {
        auto handle = ProcAddress<HandleEventFn>(plugin, "QMH_OnHandleEvent");
        if (handle) handle(0, kEventMenuInit, kind, reinterpret_cast<LPARAM>(menu));
    }
}

bool StandInHost::Impl::RouteCommand(UINT id) {
    auto it = tempCommands.find(id);
    if (it == tempCommands.end()) return false;
    TempCommand target = it->second;
    auto cmdProc = ProcAddress<CmdProcFn>(target.module, "QMH_OnCmdProc");
    // The plug-in gets back its own command number, not the identifier.
    if (cmdProc) cmdProc(0, target.command);
    return true;
}

void StandInHost::ChooseCommand(UINT id) { SendMessageA(impl_->main, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

std::vector<Received> StandInHost::TakeReceived() {
    std::vector<Received> taken;
    taken.swap(impl_->received);
    return taken;
}
void StandInHost::ClearReceived() { impl_->received.clear(); }
const std::vector<ServiceCall>& StandInHost::Calls() const { return impl_->calls; }
void StandInHost::ClearCalls() { impl_->calls.clear(); }
std::vector<std::string> StandInHost::Faults() const { return impl_->faults; }
int StandInHost::OutstandingTexts() const { return static_cast<int>(impl_->outstanding.size()); }
const std::vector<StandInHost::WindowEvent>& StandInHost::WindowEvents() const { return impl_->windowEvents; }
void StandInHost::ClearWindowEvents() { impl_->windowEvents.clear(); }

void StandInHost::Impl::NoteWindowEvent(HWND hwnd, UINT message, WPARAM wParam) {
    windowEvents.push_back({hwnd, message, wParam, GetCapture()});
}

void StandInHost::Impl::Record(const MSG& msg) {
    // A message the plug-in swallowed arrives as WM_NULL and is not recorded.
    if (!msg.hwnd || !IsRecordedInput(msg.message)) return;
    if (msg.hwnd != main && !IsChild(main, msg.hwnd)) return;
    received.push_back({msg.hwnd, msg.message, msg.wParam, msg.lParam});
}

static void Deliver(StandInHost::Impl* impl, MSG& msg) {
    if (impl->mdiClient && TranslateMDISysAccel(impl->mdiClient, &msg)) return;
    if (TranslateAcceleratorA(impl->main, impl->accelerators, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

bool StandInHost::PumpOne() {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    impl_->Record(msg);
    Deliver(impl_, msg);
    return true;
}

int StandInHost::RunMessageLoop() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) Deliver(impl_, msg);
    return static_cast<int>(msg.wParam);
}

}  // namespace host

// The services a plug-in calls, with the bookkeeping that lets tests see
// every call and every misuse.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "host_internal.h"

namespace host {

namespace {

std::string Hex(const void* p) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(p)));
    return buf;
}

std::string Quoted(const char* s) { return s ? std::string("\"").append(s).append("\"") : "null"; }

}  // namespace

void StandInHost::Impl::Log(const char* name, const std::string& args) { calls.push_back({name, args}); }

void StandInHost::Impl::Fault(const std::string& text) { faults.push_back(text); }

int StandInHost::GetStaticWindows(HWND* s1, HWND* s2, HWND* s3, HWND* s4, HWND* s5) {
    impl_->Log("QMA_GetStaticWindows", Hex(s1) + ", " + Hex(s2) + ", " + Hex(s3) + ", " + Hex(s4) + ", " + Hex(s5));
    if (s1) *s1 = impl_->options.replaceMainSlot ? impl_->options.mainSlot : impl_->main;
    if (s2) *s2 = impl_->mdiClient;
    if (s3) *s3 = impl_->list;
    if (s4) *s4 = impl_->view;
    if (s5) *s5 = impl_->status;
    return 1;
}

int StandInHost::GetTempID(HINSTANCE module, int command) {
    impl_->Log("QMA_GetTempID", Hex(module) + ", " + std::to_string(command));
    UINT id = impl_->nextTempId;
    impl_->nextTempId = id >= Impl::kLastTempId ? Impl::kFirstTempId : id + 1;
    impl_->tempCommands[id] = {module, command};
    return static_cast<int>(id);
}

int StandInHost::GetNextMessagePath(int from, char* buffer, int flags) {
    impl_->Log("QMA_GetNextMessagePath", std::to_string(from) + ", " + Hex(buffer) + ", " + std::to_string(flags));
    if (from != -1 || flags != 1) impl_->Fault("QMA_GetNextMessagePath: arguments other than -1 and 1");
    if (!buffer) {
        impl_->Fault("QMA_GetNextMessagePath: null buffer");
        return 0;
    }
    // Asked at call time, so the answer follows every change of the list.
    int item = SelectedItem();
    if (item < 0) {
        buffer[0] = '\0';
        return 0;
    }
    LVITEMA lv = {};
    lv.mask = LVIF_PARAM;
    lv.iItem = item;
    SendMessageA(impl_->list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&lv));
    std::string path = MessagePath(static_cast<int>(lv.lParam));
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return 1;
}

const char* StandInHost::GetMessageText(const char* path) {
    impl_->Log("QMA_GetMessage", Quoted(path));
    if (!path) {
        impl_->Fault("QMA_GetMessage: null path");
        return nullptr;
    }
    // The path names its message's number: no scan, so folders of 100,000
    // messages stay quick to walk.
    int number = 0;
    char tail[8] = "";
    if (std::sscanf(path, "C:\\Mail\\Inbox\\%9d%7s", &number, tail) == 2 && number > 0 &&
        static_cast<size_t>(number) <= impl_->messages.size() && MessagePath(number - 1) == path) {
        const MailMessage& m = impl_->messages[static_cast<size_t>(number - 1)];
        if (m.unreadable) return nullptr;
        if (!impl_->outstanding.empty()) impl_->Fault("QMA_GetMessage: a text is still outstanding");
        impl_->outstanding.push_back(std::make_unique<std::string>(m.text));
        return impl_->outstanding.back()->c_str();
    }
    impl_->Fault("QMA_GetMessage: unknown path " + Quoted(path));
    return nullptr;
}

int StandInHost::ReleaseQuilmBuffer() {
    impl_->Log("QMA_ReleaseQuilmBuffer", "");
    if (impl_->outstanding.empty()) {
        impl_->Fault("QMA_ReleaseQuilmBuffer: no text outstanding");
        return 0;
    }
    // Kept a while, scribbled over, so that a reader of a released text sees
    // garbage instead of the message.
    std::unique_ptr<std::string> text = std::move(impl_->outstanding.back());
    impl_->outstanding.pop_back();
    text->assign(text->size(), '#');
    auto& released = impl_->released;
    if (released.size() >= 8) released.erase(released.begin());
    released.push_back(std::move(text));
    return 1;
}

int StandInHost::DispMessageOnStatusBar(const char* text, int part) {
    impl_->Log("QMA_DispMessageOnStatusBar", Quoted(text) + ", " + std::to_string(part));
    if (!text) {
        impl_->Fault("QMA_DispMessageOnStatusBar: null text");
        return 0;
    }
    impl_->statusText = text;
    if (impl_->status) SendMessageA(impl_->status, SB_SETTEXTA, part < 0 ? 0 : part, reinterpret_cast<LPARAM>(text));
    return 1;
}

void StandInHost::UnusedServiceCalled(const char* name) {
    impl_->Log(name, "");
    impl_->Fault(std::string(name) + ": a service the plug-in never calls was called");
}

}  // namespace host

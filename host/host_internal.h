// The stand-in host's state, shared by its window code and its services.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "stand_in_host.h"

namespace host {

struct TempCommand {
    HMODULE module;
    int command;
};

struct StandInHost::Impl {
    StandInHost* self = nullptr;
    HostOptions options;
    // Set before the first window and undone after the last.
    std::unique_ptr<ScopedThreadDpiAwareness> awareness;
    std::vector<MailMessage> messages;

    HWND main = nullptr;
    HWND mdiClient = nullptr;
    HWND toolbar = nullptr;
    HWND tab = nullptr;
    HWND status = nullptr;
    HWND list = nullptr;
    HWND view = nullptr;
    HMENU toolsMenu = nullptr;
    int toolsMenuHostItems = 0;  // items of the host's own; plug-ins' follow
    HIMAGELIST tabImages = nullptr;
    HACCEL accelerators = nullptr;
    std::vector<HWND> children;  // in tab order
    std::map<HWND, CloseAnswer> closeAnswers;
    int activeWithoutMdi = -1;   // the shown child when there is no MDI client
    bool destroying = false;
    bool answerAllTabs = false;  // lifts tabAnswerLimit for the host's own reads

    std::vector<HMODULE> plugins;
    std::map<UINT, TempCommand> tempCommands;
    UINT nextTempId = kFirstTempId;

    // Texts handed out by QMA_GetMessage and not yet released, oldest first.
    std::vector<std::unique_ptr<std::string>> outstanding;
    std::vector<std::unique_ptr<std::string>> released;  // the last few, scribbled over
    std::string statusText;
    std::string shownText;  // what the message view shows

    std::vector<Received> received;
    std::vector<ServiceCall> calls;
    std::vector<std::string> faults;
    std::vector<WindowEvent> windowEvents;

    // Identifiers handed out by QMA_GetTempID; far from the plug-ins' own
    // command numbers so that a mix-up shows.
    static constexpr UINT kFirstTempId = 50001;
    static constexpr UINT kLastTempId = 65000;

    // host_windows.cpp
    void CreateWindows();
    void Layout();
    void LayoutChild(HWND child);
    void CreateChild(const ChildSetup& setup, int index);
    int ChildIndex(HWND child) const;
    HWND Active() const;
    void SelectTabOfActive();
    void OnTabChosen();
    void OnChildDestroyed(HWND child);
    void FillList();
    void ShowMessage(int item);
    void ShowListContextMenu(int x, int y);

    // host_services.cpp
    void Log(const char* name, const std::string& args);
    void Fault(const std::string& text);
    void RaiseMenuEvent(HMENU menu, int kind);
    bool RouteCommand(UINT id);
    void Record(const MSG& msg);
    void NoteWindowEvent(HWND hwnd, UINT message, WPARAM wParam);
};

// An export of a module as the function type it has.
template <typename Fn>
Fn ProcAddress(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Window procedures and subclass procedures, in host_windows.cpp.
LRESULT CALLBACK FrameProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ChildProc(HWND, UINT, WPARAM, LPARAM);

// The message list's folder entry of a message: subject, sender and date
// taken from its header lines (host_mail.cpp).
struct ListEntry {
    std::string subject;
    std::string from;
    std::string date;
};
ListEntry DescribeMessage(const MailMessage& message);

}  // namespace host

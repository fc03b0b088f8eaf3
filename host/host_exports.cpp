// The host's 47 services, exported by name from the executable with the C
// calling convention. Six do what a plug-in needs; a call of any other one is
// recorded as a fault. HOST_WITHOUT_<name> leaves that export out, to build
// hosts a plug-in must refuse to load into.
#include <windows.h>

#include "stand_in_host.h"

using host::StandInHost;

#define EXPORT extern "C" __declspec(dllexport)

// Callers pass whatever arguments they like; the C convention makes the
// caller clean them up, so an empty parameter list takes any call.
#define UNUSED_SERVICE(name)                                                        \
    EXPORT int __cdecl name() {                                                     \
        if (StandInHost* h = StandInHost::Current()) h->UnusedServiceCalled(#name); \
        return 0;                                                                   \
    }

// 1
UNUSED_SERVICE(QMA_AppendMessage)
// 2
UNUSED_SERVICE(QMA_MakeLoginURLEncoding)
// 3
UNUSED_SERVICE(QMA_ReceiveArticleBbs)
// 4
UNUSED_SERVICE(QMA_GetWebDataEx)
// 5
EXPORT int __cdecl QMA_ReleaseQuilmBuffer() {
    StandInHost* h = StandInHost::Current();
    return h ? h->ReleaseQuilmBuffer() : 0;
}
// 6
EXPORT int __cdecl QMA_DispMessageOnStatusBar(const char* text, int part) {
    StandInHost* h = StandInHost::Current();
    return h ? h->DispMessageOnStatusBar(text, part) : 0;
}
// 7
UNUSED_SERVICE(QMA_WebLogin)
// 8
UNUSED_SERVICE(QMA_GetAindexFolderPath)
// 9
UNUSED_SERVICE(QMA_ListUpFiles)
// 10
UNUSED_SERVICE(QMA_ListUpAllFiles)
// 11
UNUSED_SERVICE(QMA_GetLayoutParam)
// 12
UNUSED_SERVICE(QMA_SetLayoutParam)
// 13
UNUSED_SERVICE(QMA_GetListColumnWidth)
// 14
UNUSED_SERVICE(QMA_SetListColumnWidth)
// 15
UNUSED_SERVICE(QMA_SetListColumnName)
// 16
UNUSED_SERVICE(QMA_GetCurrentCtxpath)
// 17
UNUSED_SERVICE(QMA_OpenTheUrl)
// 18
UNUSED_SERVICE(QMA_ConvUtf8ToSjis)
// 19
EXPORT int __cdecl QMA_GetTempID(HINSTANCE module, int command) {
    StandInHost* h = StandInHost::Current();
    return h ? h->GetTempID(module, command) : 0;
}
// 20
UNUSED_SERVICE(QMA_GetPointedUrl)
// 21
UNUSED_SERVICE(QMA_GetPointedMailAdr)
// 22
UNUSED_SERVICE(QMA_GetPointedMessageId)
// 23
UNUSED_SERVICE(QMA_GetMessageCount)
// 24
#ifndef HOST_WITHOUT_QMA_GetNextMessagePath
EXPORT int __cdecl QMA_GetNextMessagePath(int from, char* buffer, int flags) {
    StandInHost* h = StandInHost::Current();
    return h ? h->GetNextMessagePath(from, buffer, flags) : 0;
}
#endif
// 25
EXPORT const char* __cdecl QMA_GetMessage(const char* path) {
    StandInHost* h = StandInHost::Current();
    return h ? h->GetMessageText(path) : nullptr;
}
// 26
UNUSED_SERVICE(QMA_ReplaceMessage)
// 27
UNUSED_SERVICE(QMA_ReDispListAndView)
// 28
UNUSED_SERVICE(QMA_SelectMessage)
// 29
UNUSED_SERVICE(QMA_CopyMessage)
// 30
UNUSED_SERVICE(QMA_MoveMessage)
// 31
UNUSED_SERVICE(QMA_DeleteMessage)
// 32
UNUSED_SERVICE(QMA_OpenAllThread)
// 33
UNUSED_SERVICE(QMA_CloseAllThread)
// 34
UNUSED_SERVICE(QMA_CompactCurrentFolder)
// 35
EXPORT int __cdecl QMA_GetStaticWindows(HWND* s1, HWND* s2, HWND* s3, HWND* s4, HWND* s5) {
    StandInHost* h = StandInHost::Current();
    return h ? h->GetStaticWindows(s1, s2, s3, s4, s5) : 0;
}
// 36
UNUSED_SERVICE(QMA_GetTempWindows)
// 37
UNUSED_SERVICE(QMA_RunMacro)
// 38
UNUSED_SERVICE(QMA_GetCurAdrInfo)
// 39
UNUSED_SERVICE(QMA_SetCurAdrInfo)
// 40
UNUSED_SERVICE(QMA_GetAttachPaths)
// 41
UNUSED_SERVICE(QMA_AppendAttachPaths)
// 42
UNUSED_SERVICE(QMA_DeleteAttachPath)
// 43
UNUSED_SERVICE(QMA_GetEditCount)
// 44
UNUSED_SERVICE(QMA_GetEditText)
// 45
UNUSED_SERVICE(QMA_SetEditText)
// 46
UNUSED_SERVICE(QMA_IsCommunicatingNow)
// 47
#ifndef HOST_WITHOUT_QMA_GetQuilmVersion
UNUSED_SERVICE(QMA_GetQuilmVersion)
#endif

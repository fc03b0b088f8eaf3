// The host's exported services, bound once by name at start-up.
#pragma once
#include <windows.h>

// Signatures of the services the plug-in calls (C calling convention).
using QmaGetStaticWindowsFn = int(__cdecl*)(HWND* main, HWND* slot2, HWND* list, HWND* view, HWND* slot5);
using QmaGetTempIdFn = int(__cdecl*)(HINSTANCE module, int command);
using QmaGetNextMessagePathFn = int(__cdecl*)(int from, char* path, int flags);
using QmaGetMessageFn = const char*(__cdecl*)(const char* path);
using QmaReleaseQuilmBufferFn = int(__cdecl*)();
using QmaDispMessageOnStatusBarFn = int(__cdecl*)(const char* text, int part);
// Bound for the host's sake but never called.
using QmaUnusedFn = FARPROC;

struct HostApi {
    QmaUnusedFn QMA_AppendMessage;
    QmaUnusedFn QMA_MakeLoginURLEncoding;
    QmaUnusedFn QMA_ReceiveArticleBbs;
    QmaUnusedFn QMA_GetWebDataEx;
    QmaReleaseQuilmBufferFn QMA_ReleaseQuilmBuffer;
    QmaDispMessageOnStatusBarFn QMA_DispMessageOnStatusBar;
    QmaUnusedFn QMA_WebLogin;
    QmaUnusedFn QMA_GetAindexFolderPath;
    QmaUnusedFn QMA_ListUpFiles;
    QmaUnusedFn QMA_ListUpAllFiles;
    QmaUnusedFn QMA_GetLayoutParam;
    QmaUnusedFn QMA_SetLayoutParam;
    QmaUnusedFn QMA_GetListColumnWidth;
    QmaUnusedFn QMA_SetListColumnWidth;
    QmaUnusedFn QMA_SetListColumnName;
    QmaUnusedFn QMA_GetCurrentCtxpath;
    QmaUnusedFn QMA_OpenTheUrl;
    QmaUnusedFn QMA_ConvUtf8ToSjis;
    QmaGetTempIdFn QMA_GetTempID;
    QmaUnusedFn QMA_GetPointedUrl;
    QmaUnusedFn QMA_GetPointedMailAdr;
    QmaUnusedFn QMA_GetPointedMessageId;
    QmaUnusedFn QMA_GetMessageCount;
    QmaGetNextMessagePathFn QMA_GetNextMessagePath;
    QmaGetMessageFn QMA_GetMessage;
    QmaUnusedFn QMA_ReplaceMessage;
    QmaUnusedFn QMA_ReDispListAndView;
    QmaUnusedFn QMA_SelectMessage;
    QmaUnusedFn QMA_CopyMessage;
    QmaUnusedFn QMA_MoveMessage;
    QmaUnusedFn QMA_DeleteMessage;
    QmaUnusedFn QMA_OpenAllThread;
    QmaUnusedFn QMA_CloseAllThread;
    QmaUnusedFn QMA_CompactCurrentFolder;
    QmaGetStaticWindowsFn QMA_GetStaticWindows;
    QmaUnusedFn QMA_GetTempWindows;
    QmaUnusedFn QMA_RunMacro;
    QmaUnusedFn QMA_GetCurAdrInfo;
    QmaUnusedFn QMA_SetCurAdrInfo;
    QmaUnusedFn QMA_GetAttachPaths;
    QmaUnusedFn QMA_AppendAttachPaths;
    QmaUnusedFn QMA_DeleteAttachPath;
    QmaUnusedFn QMA_GetEditCount;
    QmaUnusedFn QMA_GetEditText;
    QmaUnusedFn QMA_SetEditText;
    QmaUnusedFn QMA_IsCommunicatingNow;
    QmaUnusedFn QMA_GetQuilmVersion;
};

constexpr int kHostServiceCount = 47;

// Name of the service at a binding position (0-based), or null past the end.
const char* HostServiceName(int index);

// Binds every service from the process's executable, in binding order,
// stopping at the first missing one. Nonzero when all 47 were found.
int BindHostApi(HostApi& api);

#include "frame/host_api.h"

#include <cstddef>
#include <cstring>

namespace {

struct ServiceSlot {
    const char* name;
    size_t offset;  // of the member in HostApi
};

#define SLOT(name) {#name, offsetof(HostApi, name)}
// Binding order: a host that lacks a name stops the binding at that row.
constexpr ServiceSlot kServices[kHostServiceCount] = {
    SLOT(QMA_AppendMessage),        SLOT(QMA_MakeLoginURLEncoding),  SLOT(QMA_ReceiveArticleBbs),
    SLOT(QMA_GetWebDataEx),         SLOT(QMA_ReleaseQuilmBuffer),    SLOT(QMA_DispMessageOnStatusBar),
    SLOT(QMA_WebLogin),             SLOT(QMA_GetAindexFolderPath),   SLOT(QMA_ListUpFiles),
    SLOT(QMA_ListUpAllFiles),       SLOT(QMA_GetLayoutParam),        SLOT(QMA_SetLayoutParam),
    SLOT(QMA_GetListColumnWidth),   SLOT(QMA_SetListColumnWidth),    SLOT(QMA_SetListColumnName),
    SLOT(QMA_GetCurrentCtxpath),    SLOT(QMA_OpenTheUrl),            SLOT(QMA_ConvUtf8ToSjis),
    SLOT(QMA_GetTempID),            SLOT(QMA_GetPointedUrl),         SLOT(QMA_GetPointedMailAdr),
    SLOT(QMA_GetPointedMessageId),  SLOT(QMA_GetMessageCount),       SLOT(QMA_GetNextMessagePath),
    SLOT(QMA_GetMessage),           SLOT(QMA_ReplaceMessage),        SLOT(QMA_ReDispListAndView),
    SLOT(QMA_SelectMessage),        SLOT(QMA_CopyMessage),           SLOT(QMA_MoveMessage),
    SLOT(QMA_DeleteMessage),        SLOT(QMA_OpenAllThread),         SLOT(QMA_CloseAllThread),
    SLOT(QMA_CompactCurrentFolder), SLOT(QMA_GetStaticWindows),      SLOT(QMA_GetTempWindows),
    SLOT(QMA_RunMacro),             SLOT(QMA_GetCurAdrInfo),         SLOT(QMA_SetCurAdrInfo),
    SLOT(QMA_GetAttachPaths),       SLOT(QMA_AppendAttachPaths),     SLOT(QMA_DeleteAttachPath),
    SLOT(QMA_GetEditCount),         SLOT(QMA_GetEditText),           SLOT(QMA_SetEditText),
    SLOT(QMA_IsCommunicatingNow),   SLOT(QMA_GetQuilmVersion),
};
#undef SLOT

static_assert(sizeof(HostApi) == kHostServiceCount * sizeof(FARPROC), "one pointer per service");

}  // namespace

const char* HostServiceName(int index) {
    return (index >= 0 && index < kHostServiceCount) ? kServices[index].name : nullptr;
}

int BindHostApi(HostApi& api) {
    HMODULE exe = GetModuleHandleA(nullptr);
    if (!exe) return 0;
    for (const ServiceSlot& slot : kServices) {
        FARPROC entry = GetProcAddress(exe, slot.name);
        // Stored at once, so the members before a missing name stay bound.
        std::memcpy(reinterpret_cast<char*>(&api) + slot.offset, &entry, sizeof entry);
        if (!entry) return 0;
    }
    return 1;
}

#include "tablist/tab_list_popup.h"

TabListPopup* activeTabListPopup = nullptr;

int OpenTabListPopup(int, int, int) { return -1; }
void CloseSelectedTab() {}
void RequestTabListClose() {}

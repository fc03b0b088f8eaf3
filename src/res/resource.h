// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDC_TABLIST_LIST 118

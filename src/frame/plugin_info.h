// The host's plug-in information record (event 1000).
#pragma once
#include <windows.h>

// Offsets of the record's fields, in bytes.
constexpr size_t kInfoHeadOffset = 0;
constexpr size_t kInfoNameOffset = 4;
constexpr size_t kInfoExtra5Offset = 21384;
// The host's record is at least this long; infoExtra5's size is the host's.
constexpr size_t kPluginInfoMinSize = kInfoExtra5Offset + 1;

constexpr char kMenuLabel[] = "Rollvix の設定";
constexpr char kDescriptionFirstLine[] = "マウスホイール機能拡張";

void FillPluginInfo(BYTE* record);

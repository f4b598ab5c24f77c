#pragma once
// Ids of the program's own resources and messages. The framework's ids and styles (commands,
// indicators, bars, window styles) come from AfxIds.h under their usual names.

#include "framework/AfxIds.h"

// Resources
#define IDR_MAINFRAME 128  // menu, accelerators, icon, toolbar bitmap and document string
#define IDD_ABOUTBOX 100
#define VS_VERSION_INFO 1

// Messages of the load/save driver
#define IDS_UNKNOWN_FORMAT 0xEF15       // 61205
#define IDS_LOAD_ERROR 0xEF16           // 61206
#define IDS_NOT_256_COLOR 0xEF17        // 61207
#define IDS_NO_FILE_LOADED 0xEF18       // 61208
#define IDS_NOT_256_OR_16_COLOR 0xEF19  // 61209

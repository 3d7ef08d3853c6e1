// Resource and command ids.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_NOTIFIER 102
#define IDR_MAINFRAME 128
#define IDB_DIBTEMPLATE 129
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// The popup's template: its size in dialog units and its font, which set its
// size in pixels (the skin is scaled against its size at 96 DPI).
#define NOTIFIER_DLU_WIDTH 91
#define NOTIFIER_DLU_HEIGHT 98
#define NOTIFIER_FONT_POINTS 9
#define NOTIFIER_FONT_FACE "ＭＳ Ｐゴシック"

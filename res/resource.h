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

#pragma once

// Numbers of the resources compiled into marrowby.exe (marrowby.rc).
#define IDI_MARROWBY 107
#define IDI_SMALL 108
#define IDB_ABOUT 133
#define IDB_TOOLBAR 136
#define IDD_ABOUTBOX 103
#define IDD_LOAD_FAILED 134
#define IDC_LOAD_FAILED_TEXT 1000
#define IDC_LOAD_FAILED_REASON 1001
#define IDC_ABOUT_PICTURE 1002
#define IDD_WRITE_FAILED 135
#define IDC_WRITE_FAILED_TEXT 1003
#define IDC_WRITE_FAILED_SAVE_AS 1004
#define IDC_WRITE_FAILED_DISCARD 1005

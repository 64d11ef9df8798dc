// Resource and control numbers of the program.
#pragma once

// Menus, accelerators, icons and bitmaps
#define IDM_MAIN_MENU             101
#define IDI_MAIN                  104
#define IDM_ENTRY_CONTEXT         113
#define IDI_TRAY_IDLE             114
#define IDI_TRAY_BUSY1            122
#define IDI_TRAY_BUSY2            123
#define IDA_ACCELERATORS          131
#define IDM_TRAY_MENU             135

// Dialogs
#define IDD_WINSOCK_INFO          116
#define IDD_CHANGE_NOTIFICATION   121

// Child windows of the main window
#define IDC_STATUS_BAR            2
#define IDC_OUTPUT_PANE           110

// Winsock information dialog
#define IDC_WINSOCK_VERSION       1047
#define IDC_WINSOCK_DESCRIPTION   1048
#define IDC_WINSOCK_STATUS        1049
#define IDC_WINSOCK_MAX_SOCKETS   1050
#define IDC_WINSOCK_OK            1051

// Output commands
#define IDM_OUTPUT_CLEAR          40055
#define IDM_OUTPUT_FIND           40056
#define IDM_OUTPUT_FIND_AGAIN     40057
#define IDM_OUTPUT_PRINT          40058
#define IDM_OUTPUT_SAVE           40059
#define IDM_OUTPUT_COPY           40101

// Change notification window
#define IDC_NOTIFY_TEXT           1083
#define IDC_NOTIFY_OK             1084

// Resource and control numbers of the program.
#pragma once

// Menus, accelerators, icons and bitmaps
#define IDM_MAIN_MENU             101
#define IDB_TOOLBAR               102
#define IDI_MAIN                  104
#define IDM_ENTRY_CONTEXT         113
#define IDI_TRAY_IDLE             114
#define IDI_TRAY_BUSY             122
#define IDI_TRAY_NOTIFY           123
#define IDA_ACCELERATORS          131
#define IDI_DEFAULT_ENTRY         134
#define IDM_TRAY_MENU             135

// String table: the entry list's column titles
#define IDS_COLUMN_DESCRIPTION    1
#define IDS_COLUMN_ADDRESS        2
#define IDS_COLUMN_COUNT          3
#define IDS_COLUMN_LAST_FINGERED  4
#define IDS_COLUMN_GROUPS         5

// Dialogs
#define IDD_ENTRY                 106
#define IDD_ENTRY_OPTIONS         108
#define IDD_WINSOCK_INFO          116
#define IDD_GROUP_NAME            118
#define IDD_GROUP_ASSIGN          119
#define IDD_CHANGE_NOTIFICATION   121

// Child windows of the main window, the timer and the tray icon
#define IDC_STATUS_BAR            2
#define IDC_OUTPUT_PANE           110
#define IDC_ENTRY_LIST            1000
#define IDT_MAIN_TIMER            102
#define IDC_TRAY_ICON             109

// Winsock information dialog
#define IDC_WINSOCK_VERSION       1047
#define IDC_WINSOCK_DESCRIPTION   1048
#define IDC_WINSOCK_STATUS        1049
#define IDC_WINSOCK_MAX_SOCKETS   1050
#define IDC_WINSOCK_OK            1051

// Entry dialog
#define IDC_ENTRY_OK              1000
#define IDC_ENTRY_CANCEL          1001
#define IDC_ENTRY_DESCRIPTION     1002
#define IDC_ENTRY_OPTIONS         1021
#define IDC_ENTRY_ADDRESS         1023
#define IDC_ENTRY_ASSIGN_GROUPS   1071
#define IDC_ENTRY_LONG_OUTPUT     1105

// Entry options dialog
#define IDC_ENTRY_OPT_FINGER_AT_START 1005
#define IDC_ENTRY_OPT_AUTO_FINGER 1006
#define IDC_ENTRY_OPT_INTERVAL    1009
#define IDC_ENTRY_OPT_NOTIFY      1014
#define IDC_ENTRY_OPT_RECYCLE     1015
#define IDC_ENTRY_OPT_ICON_SELECT 1024
#define IDC_ENTRY_OPT_LOG         1025
#define IDC_ENTRY_OPT_OK          1026
#define IDC_ENTRY_OPT_CANCEL      1027
#define IDC_ENTRY_OPT_FONT_CHANGE 1028
#define IDC_ENTRY_OPT_ADD_TIME    1029
#define IDC_ENTRY_OPT_ICON_DEFAULT 1030
#define IDC_ENTRY_OPT_SAMPLE      1033
#define IDC_ENTRY_OPT_PERIOD      1046
#define IDC_ENTRY_OPT_ICON_INDEX  1103
#define IDC_ENTRY_OPT_HTML_DETECT 1108
#define IDC_ENTRY_OPT_HTML_ALWAYS 1109
#define IDC_ENTRY_OPT_HTML_NEVER  1110

// Group name dialog
#define IDC_GROUP_NAME_EDIT       1057
#define IDC_GROUP_NAME_OK         1058
#define IDC_GROUP_NAME_CANCEL     1059

// Group assignment dialog: a three-state box per group, three rename buttons
#define IDC_GROUP_1               1060
#define IDC_GROUP_2               1061
#define IDC_GROUP_3               1062
#define IDC_GROUP_MAIL            1069
#define IDC_GROUP_STATUS          1070
#define IDC_GROUP_OK              1072
#define IDC_GROUP_CANCEL          1073
#define IDC_GROUP_1_NAME          1075
#define IDC_GROUP_2_NAME          1076
#define IDC_GROUP_3_NAME          1077

// Change notification window
#define IDC_NOTIFY_TEXT           1083
#define IDC_NOTIFY_OK             1084

// Options dialog
#define IDD_OPTIONS               109
#define IDC_OPT_START_WITH_WINDOWS 1028
#define IDC_OPT_START_MINIMISED   1029
#define IDC_OPT_HIDE_WHEN_MINIMISED 1030
#define IDC_OPT_CANCEL            1031
#define IDC_OPT_OK                1032
#define IDC_OPT_AUTO_HTML         1033
#define IDC_OPT_REMEMBER_POSITION 1034
#define IDC_OPT_LOGGING           1078
#define IDC_OPT_LOG_BROWSE        1079
#define IDC_OPT_LOG_FILE          1080
#define IDC_OPT_CLEAR_LOG         1082
#define IDC_OPT_ADVANCED          1086
#define IDC_OPT_DISPLAY_SPLIT     1102

// Advanced options dialog; the network time limit's numbers are clear of
// every other control number of the program
#define IDD_ADVANCED_OPTIONS      123
#define IDC_ADV_SIMULATE_NETWORK  1033
#define IDC_ADV_OK                1087
#define IDC_ADV_BUFFER_SIZE       1090
#define IDC_ADV_BUFFER_LABEL      1092
#define IDC_ADV_BUFFER_UNIT       1093
#define IDC_ADV_WHOIS_LABEL       1094
#define IDC_ADV_CANCEL            1096
#define IDC_ADV_BROWSER_BROWSE    1097
#define IDC_ADV_WHOIS_SERVER      1107
#define IDC_ADV_DEFAULT_BROWSER   1113
#define IDC_ADV_USER_BROWSER      1114
#define IDC_ADV_BROWSER_PATH      1115
#define IDC_ADV_NETWORK_TIMEOUT   1120
#define IDC_ADV_TIMEOUT_LABEL     1121
#define IDC_ADV_TIMEOUT_UNIT      1122
#define IDC_ADV_FETCH_LIMIT       1123
#define IDC_ADV_FETCH_LABEL       1124
#define IDC_ADV_FETCH_UNIT        1125
#define IDC_ADV_FOLLOW_REFERRALS  1126

// Find in Output dialog
#define IDD_FIND_OUTPUT           117
#define IDC_FIND_OK               1053
#define IDC_FIND_CANCEL           1054
#define IDC_FIND_TEXT             1055
#define IDC_FIND_GROUP            1056
#define IDC_FIND_MATCH_CASE       1099
#define IDC_FIND_WHOLE_WORD       1100

// Printing: the window with the Cancel button shown while a job runs
#define IDD_PRINT_CANCEL          130
#define IDC_PRINT_CANCEL          2

// Commands: the lowest and highest number the main window handles
#define IDM_FIRST_COMMAND         40003
#define IDM_LAST_COMMAND          40125

// File menu
#define IDM_SAVE_ENTRIES          40003
#define IDM_LOAD_ENTRIES          40004
#define IDM_EXIT                  40009
#define IDM_NEW_ENTRY             40017
#define IDM_DELETE                40020
#define IDM_PROPERTIES            40021
#define IDM_SET_GROUPS            40073
#define IDM_MERGE_ENTRIES         40088
#define IDM_SAVE_SELECTED         40089
#define IDM_SELECT_ALL            40091

// View menu
#define IDM_VIEW_LARGE_ICONS      40010
#define IDM_VIEW_SMALL_ICONS      40011
#define IDM_VIEW_LIST             40012
#define IDM_VIEW_DETAILS          40013
#define IDM_VIEW_LOG              40092
#define IDM_CLEAR_LOG             40098
#define IDM_VIEW_JOBS             40102

// Finger menu
#define IDM_FINGER                40023
#define IDM_QUICK_FINGER          40027
#define IDM_FINGER_MAIL           40038
#define IDM_FINGER_STATUS         40039
#define IDM_FINGER_GROUP1         40085
#define IDM_FINGER_GROUP2         40086
#define IDM_FINGER_GROUP3         40087

// Tools menu
#define IDM_CUSTOMIZE             40022
#define IDM_OPTIONS               40025
#define IDM_WINSOCK_INFO          40053
#define IDM_VIEW_LAST_OUTPUT      40054
#define IDM_KILL_JOBS             40081
#define IDM_PAUSE_JOBS            40083
#define IDM_WHOIS                 40099
#define IDM_CLEAR_FINGER_COUNT    40121
#define IDM_JUMP_TO_LAST_OUTPUT   40125

// Output menu
#define IDM_OUTPUT_CLEAR          40055
#define IDM_OUTPUT_FIND           40056
#define IDM_OUTPUT_FIND_AGAIN     40057
#define IDM_OUTPUT_PRINT          40058
#define IDM_OUTPUT_SAVE           40059
#define IDM_OUTPUT_COPY           40101

// Help menu
#define IDM_ABOUT                 40005
#define IDM_HELP                  40095
#define IDM_WHATS_NEW             40122

// Entry context menu
#define IDM_CTX_DELETE            40030
#define IDM_CTX_PROPERTIES        40033
#define IDM_CTX_FINGER            40034
#define IDM_CTX_SET_GROUPS        40075
#define IDM_CTX_VIEW_LAST_OUTPUT  40093
#define IDM_CTX_JUMP_TO_OUTPUT    40123

// Keys only
#define IDM_ESCAPE                40097
#define IDM_DUMP_LIST_VIEW        40105

// Tray menu
#define IDM_TRAY_OPTIONS          40107
#define IDM_TRAY_QUICK_FINGER     40108
#define IDM_TRAY_KILL_JOBS        40109
#define IDM_TRAY_CLOSE            40110
#define IDM_TRAY_PAUSE_JOBS       40111
#define IDM_TRAY_QUICK_WHOIS      40112
#define IDM_TRAY_VIEW_LOG         40113
#define IDM_TRAY_NEW_ENTRY        40114
#define IDM_TRAY_FINGER_MAIL      40115
#define IDM_TRAY_FINGER_GROUP2    40116
#define IDM_TRAY_FINGER_GROUP1    40117
#define IDM_TRAY_FINGER_GROUP3    40119
#define IDM_TRAY_FINGER_STATUS    40120

// Quick finger and quick whois dialogs, the about box
#define IDD_ABOUT                 107
#define IDD_QUICK_FINGER          111
#define IDD_QUICK_WHOIS           131
#define IDC_ABOUT_TEXT            1016
#define IDC_QUICK_ADDRESS         1034
#define IDC_QUICK_CANCEL          1036
#define IDC_QUICK_OK              1037
#define IDC_ABOUT_OK              1095
#define IDC_ABOUT_WEB_PAGE        1096
#define IDC_ABOUT_EMAIL           1097
#define IDC_QUICK_LOG             1098
#define IDC_QUICK_LONG_OUTPUT     1106

// The version as text, from the one number the build passes in (OMBRELANE_VERSION).
#define OMBRELANE_QUOTED(x)       #x
#define OMBRELANE_TEXT_OF(x)      OMBRELANE_QUOTED(x)
#define OMBRELANE_VERSION_TEXT    OMBRELANE_TEXT_OF(OMBRELANE_VERSION)

#pragma once
// Resource identifiers of Mirdex.exe. The numbers are fixed: pages, other
// programs and translations refer to them.

#define IDS_PROJNAME 100
#define IDS_CONNECTS_THE_WORLD 101
#define IDS_FAIL_FIRST_WINDOW 102
#define IDS_FAIL_CONTROLLER 103
#define IDS_FAIL_WINDOW 104
#define IDS_LOADING_URL 105
#define IDS_TRAY_ONLINE 106
#define IDS_TRAY_OFFLINE 107

#define IDI_ONLINE 206
#define IDR_TRAY_MENU 207
#define IDB_SPLASH 215
#define IDI_OFFLINE 224

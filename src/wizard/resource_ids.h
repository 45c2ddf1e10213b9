// Resource and control IDs shared by the resource script and the code; plain
// defines, because the resource compiler reads this file too.
#pragma once

#define IDI_WIZARD 101
#define IDD_FRAME 102
#define IDB_BANNER 103
#define IDD_WELCOME 104
#define IDD_DESTINATION 105
#define IDD_PROGRESS 106
#define IDR_HAND_CURSOR 123
#define IDB_LOGO 126

// Frame controls.
#define IDC_BACK 1000
#define IDC_NEXT 1003
#define IDC_CANCEL 1005
#define IDC_BUTTON_LINE 1013
#define IDC_TITLE 1015
#define IDC_SUBTITLE 1017
#define IDC_PRODUCT_LABEL 1019
#define IDC_HEADER_LINE 1022

// Page controls.
#define IDC_PATH_EDIT 1002
#define IDC_BROWSE 1004
#define IDC_PROGRESS 1007
#define IDC_WELCOME_TITLE 1009
#define IDC_LINK 1010
#define IDC_CREATE_BOX 1014
#define IDC_PAGE_TEXT 1016
#define IDC_WELCOME_TEXT 1017
#define IDC_STATUS 1018

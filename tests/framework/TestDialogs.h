// Identifiers of the test resources: a small wizard and a dialog with every kind of control.
#pragma once

#define IDD_T_WELCOME   200
#define IDD_T_FIRST     201
#define IDD_T_SECOND    202
#define IDD_T_THIRD     203
#define IDD_T_DONE      204
#define IDD_T_CONTROLS  300
#define IDD_T_PLAIN     301
#define IDD_T_FIELDS    302

#define IDB_T_HEADER    129
#define IDB_T_WATERMARK 130
#define IDI_T_ICON      131

#define IDC_T_NAME      1001
#define IDC_T_RADIO_A   1002
#define IDC_T_RADIO_B   1003
#define IDC_T_RADIO_C   1004
#define IDC_T_CHECK     1005
#define IDC_T_RADIO_D   1006
#define IDC_T_RADIO_E   1007
#define IDC_T_EDIT      1008
#define IDC_T_FILTERED  1009
#define IDC_T_SORTED    1010
#define IDC_T_UNSORTED  1011
#define IDC_T_EDITCOMBO 1012
#define IDC_T_PUSH      1013
#define IDC_T_LABEL     1014
#define IDC_T_DISABLED  1015
#define IDC_T_GROUPBOX  1016
#define IDC_T_NOPREFIX  1017
#define IDC_T_SHORT_LABEL 1018
#define IDC_T_LONG_LABEL  1019
#define IDC_T_SHORT     1020
#define IDC_T_LONG      1021
#define IDC_T_NOTES     1022

#define IDS_T_HELLO     100
#define IDS_T_ONLY_EN   101
#define IDS_T_LONG      117

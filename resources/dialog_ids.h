// Control ids of the four dialog templates, shared by the resource script and the dialog
// procedures. Plain macros: the resource compiler reads this file too.
#pragma once

// Program Options ("PROGRAMOPTIONS")
#define IDC_BAUD_RATE 13
#define IDC_BAUD_RATE_LABEL 14
#define IDC_COMMUNICATIONS_GROUP 12
#define IDC_PAN_TILT_GROUP 110
#define IDC_ZOOM_GROUP 111
#define IDC_PAN_TILT_SPEED_TEXT 112
#define IDC_PAN_TILT_SPEED_BAR 115
#define IDC_ZOOM_SPEED_BAR 116
#define IDC_IR_REMOTE 124
#define IDC_LARGE_WINDOW 125
#define IDC_ALWAYS_ON_TOP 126
#define IDC_ACCELERATED_SPEED 127

// Preset Cycle Mode ("PRESETDLG")
#define IDC_INTERVAL_FIRST 20 // radio buttons 20..26, one per interval
#define IDC_INTERVAL_LAST 26
#define IDC_SET_CYCLES 100
#define IDC_ACCUMULATED_CYCLES 101
#define IDC_CYCLE_START 102
#define IDC_CYCLE_STOP 103
#define IDC_CYCLE_RESET 104

// Image Control ("IMAGECONTROL")
#define IDC_WHITE_BALANCE_AUTO 20
#define IDC_WHITE_BALANCE_MANUAL 21
#define IDC_EXPOSURE_AUTO 22
#define IDC_EXPOSURE_MANUAL 23
#define IDC_WHITE_BALANCE_GROUP 111
#define IDC_EXPOSURE_GROUP 112
#define IDC_AGC_BAR 115
#define IDC_SHUTTER_BAR 116
#define IDC_IRIS_BAR 117
#define IDC_WHITE_BALANCE_BAR 118

// About ("ABOUTDLG")
#define IDC_ABOUT_ICON 2
#define IDC_SOFTWARE_VERSION 3
#define IDC_ABOUT_TITLE 4
#define IDC_NOTICE_FIRST 5
#define IDC_HEAD_VERSION 6
#define IDC_CCU_VERSION 7
#define IDC_PAN_TILTER_VERSION 8
#define IDC_HEAD_VERSION_LABEL 9
#define IDC_CCU_VERSION_LABEL 10
#define IDC_PAN_TILTER_VERSION_LABEL 11
#define IDC_SOFTWARE_VERSION_LABEL 12
#define IDC_VERSION_FRAME 102
#define IDC_NOTICE_SECOND 105

#define IDC_UNNAMED (-1) // labels and frames the program never addresses

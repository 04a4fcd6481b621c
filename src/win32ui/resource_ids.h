#pragma once

// Resource and control numbers of the Windows window, shared by the resource
// script and the code. The numbers are those the program has always used.

// Icons, bitmaps, the tray menu.
#define IDR_MAINFRAME 128
#define IDB_LOG_BACKGROUND 136
#define IDB_BUTTON_FACES 143
#define IDR_TRAY_MENU 142

// Dialog templates.
#define IDD_MAIN 102
#define IDD_SETTINGS 130
#define IDD_LOCAL_ADDRESS 132
#define IDD_ABOUT 144

// The main window.
#define IDC_LOG_LIST 1006
#define IDC_START 1021
#define IDC_STOP 1022
#define IDC_SETTINGS 1023
#define IDC_ABOUT 1024
#define IDC_ADDRESS 1025
#define ID_AUTO_START 1014
#define ID_STATUS_BAR 59393
#define ID_STATUS_TIME 104

// The settings dialog.
#define IDC_HOME_DIRECTORY 1007
#define IDC_BROWSE 1008
#define IDC_ALLOW_DOWNLOAD 1009
#define IDC_ALLOW_UPLOAD 1010
#define IDC_ALLOW_DELETE 1011
#define IDC_ALLOW_RENAME 1012
#define IDC_ALLOW_CREATE_DIR 1013
#define IDC_AUTO_START 1016

// The address and about dialogs.
#define IDC_ADDRESS_EDIT 1017
#define IDC_ADDRESS_LINK 1020
#define IDC_DOWNLOAD_LINK 1026
#define IDC_SUPPORT_LINK 1027
#define IDC_WEB_SITE_LINK 1036
#define IDC_MAIL_LINK 1037

// Labels without a number of their own in the window's design; the code
// needs one to give them their texts from the text table.
#define IDC_LABEL_GROUP 2001
#define IDC_LABEL_ROOT 2002
#define IDC_LABEL_LOCAL 2003
#define IDC_LABEL_PUBLIC 2004
#define IDC_LABEL_VERSION 2005
#define IDC_LABEL_NOTICE 2006
#define IDC_LABEL_WEB_SITE 2007
#define IDC_LABEL_MAIL 2008
#define IDC_LABEL_DOWNLOAD 2009
#define IDC_LABEL_SUPPORT 2010

// Commands of the tray menu, carried out by the application object.
#define ID_APP_ABOUT 57664
#define ID_APP_EXIT 57665
#define ID_SHOW_MAIN_WINDOW 32779
#define ID_SHOW_MAIN_WINDOW_ALT 101

// The tray icon's callback message: the first user message plus 111.
#define WM_TRAY_NOTIFY (0x0400 + 111)

/* Ids of the program's dialog templates, their controls, the icon and the
   about entry of the system menu: shared by the resource script, the dialog
   objects and the tests that drive the windows. Plain defines, so that the
   resource compiler reads them too. */
#ifndef OTU_RESOURCES_RESOURCE_IDS_H_
#define OTU_RESOURCES_RESOURCE_IDS_H_

#define IDD_ABOUTBOX 100
#define IDD_OPENTYPEUPDATER_DIALOG 102
#define IDD_START_DIALOG 129
#define IDD_PROGRESS_DIALOG 130
#define IDD_END_DIALOG 131
#define IDD_MESSAGE_DIALOG 132
#define IDD_OK_DIALOG 133
#define IDD_NORMALEND_DIALOG 134
#define IDD_WAIT_DIALOG 170

#define IDR_MAINFRAME 128

/* Controls whose text never changes. */
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

/* System-menu command of the about box; the system keeps the low four bits. */
#define IDM_ABOUTBOX 0x0010

/* Main dialog. */
#define IDC_FONT_LIST 1005
/* Progress dialog. */
#define IDC_PROGRESS_STOP 1006
#define IDC_OVERALL_BAR 1007
#define IDC_CURRENT_BAR 1008
#define IDC_OVERALL_PERCENT 1009
#define IDC_CURRENT_PERCENT 1010
#define IDC_STEP_TEXT 1011
#define IDC_FILE_TEXT 1012
/* Message dialogs: the static text of the end dialogs, the edit of the others. */
#define IDC_END_MESSAGE 1013
#define IDC_MESSAGE_EDIT 1017
/* Start dialog. */
#define IDC_START_TEXT 1023
/* Wait dialog. */
#define IDC_WAIT_STOP 1076
#define IDC_SEARCH_TEXT 1077
/* About box. */
#define IDC_ABOUT_VERSION 1100

#endif /* OTU_RESOURCES_RESOURCE_IDS_H_ */

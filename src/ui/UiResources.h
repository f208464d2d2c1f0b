#pragma once
// Resource identifiers of CmQuendrel.dll, in one place: the dialogs and their controls, the
// class description, the short description, the error texts of the component's own result
// codes and the version chooser's title.

// The Save As dialog.
#define IDD_SAVEAS                   105
#define IDC_SAVEAS_LIBRARIES_BUTTON  5      // "Libraries...": hidden, disabled, no action
#define IDC_SAVEAS_HELP              9
#define IDC_SAVEAS_NEW_SUBVERSION    202
#define IDC_SAVEAS_ATTACHMENT        203
#define IDC_SAVEAS_NEW_DOCUMENT      207
#define IDC_SAVEAS_REPLACE_ORIGINAL  208
#define IDC_SAVEAS_NEW_VERSION       209
#define IDC_SAVEAS_TYPE_LABEL        211
#define IDC_SAVEAS_NUMBER            212
#define IDC_SAVEAS_VERSION_LABEL     213
#define IDC_SAVEAS_DESCRIPTION       214
#define IDC_SAVEAS_FILE_TYPE         215    // placeholder whose rectangle the Save As Type control takes
#define IDC_SAVEAS_COMMENT           216
#define IDC_SAVEAS_LIBRARIES_LABEL   218
#define IDC_SAVEAS_BOTTOM_BAND       245
#define IDC_SAVEAS_LIBRARIES         1006
#define IDC_SAVEAS_INFO_GROUP        1007
#define IDC_SAVEAS_NUMBER_LABEL      1008
#define IDC_SAVEAS_VERSION_CAPTION   1009
#define IDC_SAVEAS_DESCRIPTION_LABEL 1010
#define IDC_SAVEAS_OPTIONS_GROUP     1011
#define IDC_SAVEAS_COMMENT_LABEL     1012
#define IDC_SAVEAS_SEPARATOR         1013

// The properties dialog and the page of its "General" tab.
#define IDD_CUSTOM_PROPERTIES        108
#define IDD_GENERAL_TAB              115
#define IDI_PROVIDER                 202
#define IDC_PROPERTIES_APPLY         3
#define IDC_PROPERTIES_TABS          224
#define IDC_GENERAL_STATUS           219
#define IDC_GENERAL_TITLE            234
#define IDC_GENERAL_VERSION          236
#define IDC_GENERAL_IDENTIFICATION   237
#define IDC_GENERAL_LOCATION         238
#define IDC_GENERAL_NOTES            240
#define IDC_GENERAL_ICON             1014
#define IDC_GENERAL_VERSION_LABEL    1015
#define IDC_GENERAL_ID_LABEL         1016
#define IDC_GENERAL_LOCATION_LABEL   1017
#define IDC_GENERAL_DETAILS_GROUP    1018
#define IDC_GENERAL_STATUS_LABEL     1019
#define IDS_GENERAL_TAB              5001
#define IDS_VERSION_NAME_KEY         5022   // the version-resource key of the client's product name
#define IDS_VERSION_VERSION_KEY      5023   // ... and of its product version

// The module's strings.
#define IDS_PROJNAME                 100
#define IDS_ERROR_FIRST              5003   // text of 0x801D0001; the codes up to 0x801D0013 follow
#define IDS_ERROR_LAST               5021
#define IDS_SHORT_DESCRIPTION        5025
#define IDS_CHOOSE_VERSION           5026   // title of the DMS's version chooser

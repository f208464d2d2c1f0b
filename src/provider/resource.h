#pragma once
// Resource identifiers of CmQuendrel.dll: the class description, the short description
// the error texts of the component's own result codes and the version chooser's title; the
// dialogs' identifiers come from the user interface's own header.
#include "ui/UiResources.h"

#define IDS_PROJNAME                 100
#define IDS_ERROR_FIRST              5003   // text of 0x801D0001; the codes up to 0x801D0013 follow
#define IDS_ERROR_LAST               5021
#define IDS_SHORT_DESCRIPTION        5025
#define IDS_CHOOSE_VERSION           5026   // title of the DMS's version chooser

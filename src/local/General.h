#pragma once
// CGeneral: shell folder lookups shared by the registry reader and the dialogs.
#include "framework/StdStr.h"

class CGeneral
{
public:
    // The file-system path of a shell special folder (26: the user's application-data folder).
    // A folder that cannot be located gives "" and one error line; never throws.
    static CStdStr GetSpecialFolderPath(int nFolder);
};

#pragma once
// The host's help file and the display of help topics.
#include "framework/StdStr.h"

// The host's help file without its extension: the option "ProgramLocation" (read once per
// process) followed by the edition name, "Corvane Lens" or "Corvane Studio".
CStdStr GetHelpFolder();

// True when the installed browser components can show HTML help (shdocvw 4.70 or later).
bool IsHtmlHelpAvailable();

// The help file to open: GetHelpFolder() for an empty name, with ".chm" (HTML help) or ".hlp"
// appended unless the name already holds it.
CStdStr CompleteHelpFilePath(const CStdStr& strHelpFile, bool bHtmlHelp);

// Shows the topic with the context identifier from the help file (see CompleteHelpFilePath),
// through HTML help when available, else through the older help engine. Returns true.
bool ShowHelp(long lContext, const CStdStr& strHelpFile);

#pragma once
// Writing one file's content over another in one step, so that a reader of the target sees the
// old content or the new, never a part of either.
#include <windows.h>

#include "framework/StdStr.h"

// The Windows error of the last failed call as an HRESULT; E_FAIL when the system kept none.
HRESULT LastErrorAsHResult();

// True when both paths name the same existing file (compared by volume and file index).
bool IsSameFile(const CStdStr& strFirst, const CStdStr& strSecond);

// Copies strSource to a temporary file beside strTarget, then moves it over strTarget. S_OK on
// success; S_FALSE, with nothing done, when both name the same file; otherwise the Windows error
// as an HRESULT, with strTarget untouched and no temporary file left behind.
HRESULT ReplaceFileContent(const CStdStr& strSource, const CStdStr& strTarget);

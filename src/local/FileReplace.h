#pragma once
// Local files: whether one exists, its extension, and writing one file's content over another in
// one step, so that a reader of the target sees the old content or the new, never a part of either.
#include <windows.h>

#include "framework/StdStr.h"

// True when the path names an existing file (not a folder).
bool FileExists(const CStdStr& strPath);

// The extension of a path's file name, after the last "." of its last element and without the
// dot; "" when it has none.
CStdStr FileExtensionOf(const CStdStr& strPath);

// The Windows error of the last failed call as an HRESULT; E_FAIL when the system kept none.
HRESULT LastErrorAsHResult();

// True when both paths name the same existing file (compared by volume and file index).
bool IsSameFile(const CStdStr& strFirst, const CStdStr& strSecond);

// Copies strSource to a temporary file beside strTarget, then moves it over strTarget. S_OK on
// success; S_FALSE, with nothing done, when both name the same file; otherwise the Windows error
// as an HRESULT, with strTarget untouched and no temporary file left behind.
HRESULT ReplaceFileContent(const CStdStr& strSource, const CStdStr& strTarget);

// Writes strSource over strTarget in the same way, first moving the target's old file aside to
// strKept (left empty when the target did not exist), so that PutBackKeptFile can undo the
// write. S_FALSE, with nothing done and nothing kept, when both name the same file; on a
// failure strTarget is as it was and nothing is kept.
HRESULT ReplaceFileKeepingOld(const CStdStr& strSource, const CStdStr& strTarget, CStdStr& strKept);
// Undoes ReplaceFileKeepingOld: moves the kept file back over the target, or deletes the target
// when nothing was kept.
HRESULT PutBackKeptFile(const CStdStr& strKept, const CStdStr& strTarget);

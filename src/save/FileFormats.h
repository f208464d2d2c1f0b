#pragma once
// CFileFormats: the host's list of file formats ("description|pattern|description|pattern..."),
// numbered from 1 by pattern, and the three-character extension that belongs to each format.
#include "framework/StdStr.h"

class CFileFormats
{
public:
    // Keeps a copy of the list; a list longer than the buffer is cut to its first 511 characters.
    explicit CFileFormats(const wchar_t* pszList);

    // The number of the first format whose extension equals strExtension ignoring case, else
    // nFallbackIndex.
    int FindFormat(const wchar_t* pszExtension, int nFallbackIndex) const;
    // The extension of format nIndex, or "" when the list has no such format.
    CStdStr GetExtForIndex(int nIndex) const;

    static constexpr size_t BUFFER_CHARS = 512;

private:
    wchar_t m_szList[BUFFER_CHARS];
};

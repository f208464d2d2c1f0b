#pragma once
// CStdStr: the component's value-semantic UTF-16 string. BSTRs appear only at the COM boundary.
#include <cwchar>
#include <string>

class CStdStr : public std::wstring
{
public:
    using std::wstring::wstring;
    CStdStr() = default;
    CStdStr(const std::wstring& s) : std::wstring(s) {}
    CStdStr(std::wstring&& s) noexcept : std::wstring(std::move(s)) {}
    // A null pointer gives the empty string (std::wstring would be undefined).
    CStdStr(const wchar_t* psz) : std::wstring(psz ? psz : L"") {}

    // printf-style formatting into a new string; the result grows as needed.
    static CStdStr Format(const wchar_t* pszFormat, ...);

    CStdStr& MakeLower();
    CStdStr& Trim();
    // Replaces every occurrence of strFrom (compared case-sensitively); returns the count.
    int Replace(const std::wstring& strFrom, const std::wstring& strTo);
};

// The text in lower case by the system's case mapping: the one lower-caser of IDs, libraries,
// extensions and paths.
inline CStdStr LowerCase(CStdStr str)
{
    return std::move(str.MakeLower());
}

// Converts text in the thread's ANSI code page to UTF-16.
CStdStr WideFromAnsi(const char* psz);

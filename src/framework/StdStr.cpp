#include "framework/StdStr.h"

#include <windows.h>
#include <cstdarg>
#include <cwctype>
#include <vector>

CStdStr CStdStr::Format(const wchar_t* pszFormat, ...)
{
    if (!pszFormat)
        return CStdStr();
    std::vector<wchar_t> buffer(256);
    for (;;)
    {
        va_list args;
        va_start(args, pszFormat);
        int n = _vsnwprintf(buffer.data(), buffer.size(), pszFormat, args);
        va_end(args);
        if (n >= 0 && static_cast<size_t>(n) < buffer.size())
            return CStdStr(buffer.data(), static_cast<size_t>(n));
        if (buffer.size() >= (1u << 24))
            return CStdStr(buffer.data(), buffer.size() - 1);
        buffer.resize(buffer.size() * 2);
    }
}

CStdStr& CStdStr::MakeLower()
{
    if (!empty())
        CharLowerBuffW(&(*this)[0], static_cast<DWORD>(size()));
    return *this;
}

CStdStr& CStdStr::Trim()
{
    size_t first = 0;
    while (first < size() && iswspace((*this)[first]))
        ++first;
    size_t last = size();
    while (last > first && iswspace((*this)[last - 1]))
        --last;
    assign(substr(first, last - first));
    return *this;
}

int CStdStr::Replace(const std::wstring& strFrom, const std::wstring& strTo)
{
    if (strFrom.empty())
        return 0;
    int count = 0;
    for (size_t pos = find(strFrom); pos != npos; pos = find(strFrom, pos + strTo.size()))
    {
        replace(pos, strFrom.size(), strTo);
        ++count;
    }
    return count;
}

CStdStr WideFromAnsi(const char* psz)
{
    if (!psz || !*psz)
        return CStdStr();
    int n = MultiByteToWideChar(CP_ACP, 0, psz, -1, nullptr, 0);
    if (n <= 0)
        return CStdStr();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, psz, -1, &out[0], n);
    out.resize(static_cast<size_t>(n - 1));
    return CStdStr(std::move(out));
}

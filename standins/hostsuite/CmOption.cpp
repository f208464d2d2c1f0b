// Stand-in for the host's option store (CmOption.dll).
// Options persist under HKEY_CURRENT_USER "SOFTWARE\Corvane\Options": global options (null or
// empty group) are values of that key, grouped ones values of its subkey "<group>\<subgroup>".
// Bools are REG_DWORD 0/1 (any non-zero DWORD reads as true), strings REG_SZ. A missing option,
// or one of another type, reads as false or as not set.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "StandInRegistry.h"
#include "framework/HostSuiteExports.h"

namespace {

const wchar_t OPTIONS_KEY[] = L"SOFTWARE\\Corvane\\Options";

std::wstring KeyPath(const wchar_t* pszGroup, const wchar_t* pszSubgroup)
{
    std::wstring strPath(OPTIONS_KEY);
    if (pszGroup && *pszGroup)
    {
        strPath += L'\\';
        strPath += pszGroup;
        if (pszSubgroup && *pszSubgroup)
        {
            strPath += L'\\';
            strPath += pszSubgroup;
        }
    }
    return strPath;
}

}  // namespace

namespace HostSuite {

BOOL __cdecl OptionGetBool(const wchar_t* pszGroup, const wchar_t* pszSubgroup, const wchar_t* pszName)
{
    CRegKey key = StandIn::OpenKey(HKEY_CURRENT_USER, KeyPath(pszGroup, pszSubgroup));
    return key && StandIn::GetDword(key.Get(), pszName, 0) != 0;
}

DWORD __cdecl OptionGetString(const wchar_t* pszGroup, const wchar_t* pszSubgroup, const wchar_t* pszName,
                              wchar_t* pszBuffer, DWORD cchBuffer)
{
    CRegKey key = StandIn::OpenKey(HKEY_CURRENT_USER, KeyPath(pszGroup, pszSubgroup));
    if (!key)
        return 0;
    DWORD cb = 0;
    if (RegGetValueW(key.Get(), nullptr, pszName, RRF_RT_REG_SZ, nullptr, nullptr, &cb) != ERROR_SUCCESS)
        return 0;
    // RegGetValueW null-terminates; the spare character covers a value stored without one.
    std::vector<wchar_t> value(cb / sizeof(wchar_t) + 1, L'\0');
    cb = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegGetValueW(key.Get(), nullptr, pszName, RRF_RT_REG_SZ, nullptr, value.data(), &cb) != ERROR_SUCCESS)
        return 0;
    DWORD cchNeeded = static_cast<DWORD>(wcslen(value.data()) + 1);
    if (pszBuffer && cchBuffer >= cchNeeded)
        std::memcpy(pszBuffer, value.data(), cchNeeded * sizeof(wchar_t));
    return cchNeeded;
}

void __cdecl OptionSetBool(const wchar_t* pszGroup, const wchar_t* pszSubgroup, const wchar_t* pszName, BOOL bValue)
{
    CRegKey key = StandIn::CreateKey(HKEY_CURRENT_USER, KeyPath(pszGroup, pszSubgroup));
    if (key)
        StandIn::SetDword(key.Get(), pszName, bValue ? 1 : 0);
}

void __cdecl OptionSetString(const wchar_t* pszGroup, const wchar_t* pszSubgroup, const wchar_t* pszName,
                             const wchar_t* pszValue)
{
    CRegKey key = StandIn::CreateKey(HKEY_CURRENT_USER, KeyPath(pszGroup, pszSubgroup));
    if (key)
        StandIn::SetString(key.Get(), pszName, pszValue);
}

BOOL __cdecl OptionGroupExists(const wchar_t* pszGroup, const wchar_t* pszSubgroup)
{
    return StandIn::OpenKey(HKEY_CURRENT_USER, KeyPath(pszGroup, pszSubgroup)).IsValid();
}

}  // namespace HostSuite

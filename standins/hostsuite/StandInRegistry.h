#pragma once
// Small registry helpers shared by the host-suite stand-ins (all state lives under
// HKEY_CURRENT_USER so that tests and cvhost can set it and read it back).
#include <windows.h>

#include <string>

#include "framework/Handles.h"

namespace StandIn {

// Opens an existing key for reading; invalid when it does not exist.
inline CRegKey OpenKey(HKEY hRoot, const std::wstring& strPath, REGSAM samDesired = KEY_READ)
{
    CRegKey key;
    RegOpenKeyExW(hRoot, strPath.c_str(), 0, samDesired, key.Receive());
    return key;
}

// Opens a key for writing, creating it and its parents as needed.
inline CRegKey CreateKey(HKEY hRoot, const std::wstring& strPath)
{
    CRegKey key;
    RegCreateKeyExW(hRoot, strPath.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.Receive(), nullptr);
    return key;
}

inline void SetDword(HKEY hKey, const wchar_t* pszName, DWORD dwValue)
{
    RegSetValueExW(hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue));
}

inline void SetString(HKEY hKey, const wchar_t* pszName, const wchar_t* pszValue)
{
    std::wstring strValue(pszValue ? pszValue : L"");
    RegSetValueExW(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(strValue.c_str()),
                   static_cast<DWORD>((strValue.size() + 1) * sizeof(wchar_t)));
}

// A REG_DWORD value, or dwDefault when it is missing or of another type.
inline DWORD GetDword(HKEY hKey, const wchar_t* pszName, DWORD dwDefault)
{
    DWORD dwValue = 0;
    DWORD cb = sizeof(dwValue);
    if (RegGetValueW(hKey, nullptr, pszName, RRF_RT_REG_DWORD, nullptr, &dwValue, &cb) != ERROR_SUCCESS)
        return dwDefault;
    return dwValue;
}

}  // namespace StandIn

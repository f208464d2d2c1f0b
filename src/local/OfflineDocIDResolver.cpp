#include "local/OfflineDocIDResolver.h"

#include <string>

#include "framework/Handles.h"
#include "framework/Logging.h"
#include "framework/OfflineDataStore.h"


namespace {

const DWORD kMaxKeyNameChars = 260;
const DWORD kNoRecord = 0xFFFFFFFF;

// Opens a key of the current user for reading and writing, as the offline component does. A
// name with an empty part (an ID without a library or number) cannot name a record.
bool OpenUserKey(const CStdStr& strKey, CRegKey& key)
{
    if (strKey.empty() || strKey.front() == L'\\' || strKey.back() == L'\\' ||
        strKey.find(L"\\\\") != CStdStr::npos)
        return false;
    return RegOpenKeyExW(HKEY_CURRENT_USER, strKey.c_str(), 0, KEY_READ | KEY_WRITE, key.Receive()) ==
           ERROR_SUCCESS;
}

// Calls visit(name) for each subkey in enumeration order until it returns true; answers whether
// one did. Stops at the end of the list and at any error other than an over-long name.
template <typename Visit>
bool ForEachSubKey(HKEY hKey, CStdStr& strName, Visit visit)
{
    for (DWORD dwIndex = 0;; ++dwIndex)
    {
        wchar_t szName[kMaxKeyNameChars + 1] = {};
        DWORD cchName = kMaxKeyNameChars;
        const LONG lResult = RegEnumKeyExW(hKey, dwIndex, szName, &cchName, nullptr, nullptr, nullptr, nullptr);
        if (lResult != ERROR_SUCCESS && lResult != ERROR_MORE_DATA)
            return false;
        // An over-long name is still visited, with what of it fits into the buffer.
        strName.assign(szName, wcsnlen(szName, kMaxKeyNameChars));
        if (visit(strName))
            return true;
    }
}

CStdStr ToLower(CStdStr str)
{
    return str.MakeLower();
}

}  // namespace

CStdStr OfflineDocIDResolver::GetAttacheLocation() const
{
    return L"Software\\Hummingbird\\PowerDOCS\\Core\\Plugins\\Attache";
}

CStdStr OfflineDocIDResolver::ResolveToOfflineDocID(const CStdStr& strDocID) const
{
    const CStdStr strDocNumber = GetDocNum(strDocID);
    const CStdStr strVersion = GetVersion(strDocID);
    const CStdStr strLibrary = GetLibrary(strDocID);

    CStdStr strOfflineNumber, strUser;
    if (!GetOfflineDocumentInfo(GetLibraryToSearch(strDocID), strDocNumber, strOfflineNumber, strUser))
        return strDocID;
    return L"powerdocs://" + strLibrary + L"_" + strUser + L"/" + strOfflineNumber + L"/" + strVersion;
}

CStdStr OfflineDocIDResolver::ResolveToOnlineDocID(const CStdStr& strDocID, const CStdStr& strUser) const
{
    const CStdStr strDocNumber = GetDocNum(strDocID);
    const CStdStr strVersion = GetVersion(strDocID);
    const CStdStr strOnlineLibrary = GetOnlineLibrary(strDocID, strUser);

    const DWORD dwOnlineNumber = GetDWORDValue(
        GetAttacheLocation() + L"\\" + strOnlineLibrary + L"\\" + strUser + L"\\" + strDocNumber, L"DocNumber");
    if (dwOnlineNumber == kNoRecord)
    {
        LOG_ERROR(L"OfflineDocIDResolver::ResolveToOnlineDocID",
                 L"Could not ResolveToOnlineDocID : " + strDocID + L"for user : " + strUser);
        return strDocID;
    }

    const CStdStr strOnlineID = L"powerdocs://" + strOnlineLibrary + L"/" +
                                std::to_wstring(static_cast<long>(dwOnlineNumber)) + L"/" + strVersion;
    if (IsDocOffline(strOnlineID))
        return L"offline://" + strOnlineID;
    return L"offline://" + strDocID;
}

bool OfflineDocIDResolver::IsDocOffline(const CStdStr& strDocID) const
{
    OfflineDataStore store;
    return store.IsDocOffline(strDocID);
}

CStdStr OfflineDocIDResolver::GetLibrary(const CStdStr& strDocID)
{
    const size_t posScheme = strDocID.find(L"//");
    if (posScheme == CStdStr::npos)
        return CStdStr();
    const size_t posStart = posScheme + 2;
    const size_t posEnd = strDocID.find(L'/', posStart);
    return strDocID.substr(posStart, posEnd == CStdStr::npos ? CStdStr::npos : posEnd - posStart);
}

CStdStr OfflineDocIDResolver::GetDocNum(const CStdStr& strDocID)
{
    const size_t posLast = strDocID.rfind(L'/');
    if (posLast == CStdStr::npos || posLast == 0)
        return CStdStr();
    const size_t posPrevious = strDocID.rfind(L'/', posLast - 1);
    if (posPrevious == CStdStr::npos)
        return CStdStr();
    return strDocID.substr(posPrevious + 1, posLast - posPrevious - 1);
}

CStdStr OfflineDocIDResolver::GetVersion(const CStdStr& strDocID)
{
    const size_t posLast = strDocID.rfind(L'/');
    return posLast == CStdStr::npos ? strDocID : CStdStr(strDocID.substr(posLast + 1));
}

CStdStr OfflineDocIDResolver::GetLibraryToSearch(const CStdStr& strDocID) const
{
    return GetAttacheLocation() + L"\\" + GetLibrary(strDocID);
}

CStdStr OfflineDocIDResolver::GetOnlineLibrary(const CStdStr& strDocID, const CStdStr& strUser)
{
    CStdStr strLibrary = ToLower(GetLibrary(strDocID));
    strLibrary.Replace(L"_" + ToLower(strUser), L"");
    return strLibrary;
}

bool OfflineDocIDResolver::GetOfflineDocumentInfo(const CStdStr& strLibraryKey, const CStdStr& strDocNumber,
                                                  CStdStr& strOfflineNumber, CStdStr& strUser) const
{
    CRegKey key;
    if (!OpenUserKey(strLibraryKey, key))
    {
        LOG_ERROR(L"OfflineDocIDResolver::GetOfflineDocumentInfo",
                 L"Failed to Open Key : HKCU\\" + strLibraryKey);
        return false;
    }
    return ForEachSubKey(key.Get(), strUser, [&](const CStdStr& strName) {
        return SearchOfflineLibrary(strLibraryKey + L"\\" + strName, strDocNumber, strOfflineNumber);
    });
}

bool OfflineDocIDResolver::SearchOfflineLibrary(const CStdStr& strUserKey, const CStdStr& strDocNumber,
                                                CStdStr& strOfflineNumber) const
{
    CRegKey key;
    if (!OpenUserKey(strUserKey, key))
    {
        LOG_ERROR(L"OfflineDocIDResolver::SearchOfflineLibrary",
                 L"Failed to Open Key : HKCU\\" + strUserKey);
        return false;
    }
    return ForEachSubKey(key.Get(), strOfflineNumber, [&](const CStdStr& strName) {
        const DWORD dwOnlineNumber = GetDWORDValue(strUserKey + L"\\" + strName, L"DocNumber");
        return std::to_wstring(static_cast<long>(dwOnlineNumber)) == strDocNumber;
    });
}

DWORD OfflineDocIDResolver::GetDWORDValue(const CStdStr& strKey, const CStdStr& strValueName)
{
    const wchar_t kFunction[] = L"OfflineDocIDResolver::GetDWORDValue";
    CRegKey key;
    if (!OpenUserKey(strKey, key))
    {
        LOG_ERROR(kFunction, L"Failed to Open Key : " + strKey);
        return kNoRecord;
    }
    DWORD dwType = 0;
    DWORD dwValue = 0;
    DWORD cbValue = sizeof(dwValue);
    if (RegQueryValueExW(key.Get(), strValueName.c_str(), nullptr, &dwType, reinterpret_cast<BYTE*>(&dwValue),
                         &cbValue) != ERROR_SUCCESS ||
        dwType != REG_DWORD || cbValue != sizeof(dwValue))
    {
        LOG_ERROR(kFunction, L"Failed to Read DWord value for key : " + strKey);
        return kNoRecord;
    }
    return dwValue;
}

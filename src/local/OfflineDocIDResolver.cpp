#include "local/OfflineDocIDResolver.h"

#include <string>

#include "framework/Handles.h"
#include "framework/Logging.h"
#include "framework/OfflineDataStore.h"
#include "local/ClientKeys.h"
#include "local/DocID.h"


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

}  // namespace

CStdStr OfflineDocIDResolver::GetAttacheLocation() const
{
    return CLIENT_OFFLINE_RECORDS_KEY;
}

CStdStr OfflineDocIDResolver::ResolveToOfflineDocID(const CStdStr& strDocID) const
{
    DocIDFields fields;
    ParseDocID(strDocID, fields);
    CStdStr strOfflineNumber, strUser;
    if (!GetOfflineDocumentInfo(GetAttacheLocation() + L"\\" + fields.strLibrary, fields.strNumber, strOfflineNumber,
                                strUser))
        return strDocID;
    return FormatDocID(DOCID_SCHEME_TRANSLATED, fields.strLibrary + L"_" + strUser, strOfflineNumber, fields.strVersion);
}

CStdStr OfflineDocIDResolver::ResolveToOnlineDocID(const CStdStr& strDocID, const CStdStr& strUser) const
{
    DocIDFields fields;
    ParseDocID(strDocID, fields);
    // The offline copy of a library is named after the library and the user.
    CStdStr strOnlineLibrary = LowerCase(fields.strLibrary);
    strOnlineLibrary.Replace(L"_" + LowerCase(strUser), L"");

    const DWORD dwOnlineNumber =
        GetDWORDValue(GetAttacheLocation() + L"\\" + strOnlineLibrary + L"\\" + strUser + L"\\" + fields.strNumber,
                      CLIENT_OFFLINE_DOC_NUMBER);
    if (dwOnlineNumber == kNoRecord)
    {
        LOG_ERROR(L"OfflineDocIDResolver::ResolveToOnlineDocID",
                 L"Could not ResolveToOnlineDocID : " + strDocID + L"for user : " + strUser);
        return strDocID;
    }

    const CStdStr strOnlineID = FormatDocID(DOCID_SCHEME_TRANSLATED, strOnlineLibrary,
                                            static_cast<long>(dwOnlineNumber), fields.strVersion);
    return DOCID_OFFLINE_PREFIX + (IsDocOffline(strOnlineID) ? strOnlineID : strDocID);
}

bool OfflineDocIDResolver::IsDocOffline(const CStdStr& strDocID) const
{
    OfflineDataStore store;
    return store.IsDocOffline(strDocID);
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

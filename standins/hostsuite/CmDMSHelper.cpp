// Stand-in for the host's offline data store (CmDMSHelper.dll).
// A document has an offline copy when its document ID is the name of a value (of any type;
// the data is ignored) under HKEY_CURRENT_USER "SOFTWARE\Corvane\StandIns\OfflineDocuments".
// IDs compare case-insensitively.
#include <windows.h>

#include <vector>

#include "StandInRegistry.h"
#include "framework/HostSuiteExports.h"

namespace {
const wchar_t OFFLINE_KEY[] = L"SOFTWARE\\Corvane\\StandIns\\OfflineDocuments";
const DWORD MAX_VALUE_NAME = 16383;  // the registry's limit, in characters
}  // namespace

namespace HostSuite {

BOOL __cdecl IsDocOffline(const wchar_t* pszDocID)
{
    if (!pszDocID || !*pszDocID)
        return FALSE;
    CRegKey key = StandIn::OpenKey(HKEY_CURRENT_USER, OFFLINE_KEY);
    if (!key)
        return FALSE;
    std::vector<wchar_t> name(MAX_VALUE_NAME + 1);
    for (DWORD i = 0;; ++i)
    {
        DWORD cchName = static_cast<DWORD>(name.size());
        LONG rc = RegEnumValueW(key.Get(), i, name.data(), &cchName, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            return FALSE;
        if (rc == ERROR_SUCCESS && CompareStringOrdinal(name.data(), static_cast<int>(cchName), pszDocID, -1, TRUE) ==
                                       CSTR_EQUAL)
            return TRUE;
    }
}

}  // namespace HostSuite

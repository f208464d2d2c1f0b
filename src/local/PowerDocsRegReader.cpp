#include "local/PowerDocsRegReader.h"

#include "local/ClientKeys.h"

#include <cwchar>
#include <mutex>
#include <vector>

#include "framework/Handles.h"
#include "framework/Logging.h"
#include "local/General.h"


namespace {

// Buffer sizes of the client's values: most reads take 260 bytes, the path reads 260 characters.
const DWORD kValueBytes = 260;
const DWORD kPathBytes = 260 * sizeof(wchar_t);

const wchar_t kAppDataToken[] = L"%APPLICATION_DATA%";
const int kAppDataFolderId = 26;

// Reads a value into a buffer of cbBuffer bytes as text, whatever its registry type. A longer
// value or a missing one is "not there". The text ends at its first terminator, or at the end of
// the data when it was stored without one.
bool QueryStringValue(HKEY hKey, const wchar_t* pszName, DWORD cbBuffer, CStdStr& strValue)
{
    std::vector<wchar_t> buffer(cbBuffer / sizeof(wchar_t) + 1, L'\0');
    DWORD dwType = 0;
    DWORD cbData = cbBuffer;
    if (RegQueryValueExW(hKey, pszName, nullptr, &dwType, reinterpret_cast<BYTE*>(buffer.data()), &cbData) !=
        ERROR_SUCCESS)
        return false;
    strValue.assign(buffer.data(), wcsnlen(buffer.data(), cbData / sizeof(wchar_t)));
    return true;
}

// Opens a key below a root. A name that begins with "\" lacks the settings root it was built
// on (no client generation was found), so there is nothing to open.
bool OpenKey(HKEY hRoot, const CStdStr& strSubKey, REGSAM samDesired, CRegKey& key)
{
    if (strSubKey.rfind(L'\\', 0) == 0)
        return false;
    return RegOpenKeyExW(hRoot, strSubKey.c_str(), 0, samDesired, key.Receive()) == ERROR_SUCCESS;
}

// The client's install path (whether it is recorded) and "CurrentVersion", as last read from
// the client's key, kept until the registry reports a change below the top key of its path (a
// change that deletes or makes the client's key anew shows only above it). Nearly every call
// asks which generation is installed, and each read is several round trips to the registry.
// Without a watch the values are read at every call. Process-wide; guarded, since several
// apartments may ask at once.
class CClientGeneration
{
public:
    static CClientGeneration& Instance()
    {
        static CClientGeneration s_generation;
        return s_generation;
    }

    // False when the key or either value is missing.
    bool Read(const CStdStr& strRoot, CStdStr& strVersion)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (!m_bKept || m_strRoot != strRoot || WaitForSingleObject(m_changed.Get(), 0) != WAIT_TIMEOUT)
            Refresh(strRoot);
        strVersion = m_strVersion;
        return m_bInstalled;
    }

private:
    void Refresh(const CStdStr& strRoot)
    {
        m_bKept = false;
        m_bInstalled = false;
        m_strVersion.clear();
        m_watched.Reset();
        if (!m_changed)
            m_changed.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        // Watched before it is read: a change made while reading shows at the next call.
        const CStdStr strTop = strRoot.substr(0, strRoot.find(L'\\'));
        if (m_changed && OpenKey(HKEY_LOCAL_MACHINE, strTop, KEY_NOTIFY, m_watched))
        {
            ResetEvent(m_changed.Get());
            m_bKept = RegNotifyChangeKeyValue(m_watched.Get(), TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                              m_changed.Get(), TRUE) == ERROR_SUCCESS;
        }
        m_strRoot = strRoot;
        CRegKey key;
        CStdStr strInstallPath;
        m_bInstalled = OpenKey(HKEY_LOCAL_MACHINE, strRoot, KEY_QUERY_VALUE, key) &&
                       QueryStringValue(key.Get(), CLIENT_INSTALL_PATH, kValueBytes, strInstallPath) &&
                       QueryStringValue(key.Get(), L"CurrentVersion", kValueBytes, m_strVersion);
    }

    std::mutex m_mutex;
    CRegKey m_watched;      // the top key of the client's path
    CFileHandle m_changed;  // signalled when anything below the watched key changes
    bool m_bKept = false;
    bool m_bInstalled = false;
    CStdStr m_strRoot;
    CStdStr m_strVersion;
};

}  // namespace

bool PowerDocsRegReader::IsPowerDocs50Installed() const
{
    return IsPowerDocsGreaterThan50Installed(L'5', 0);
}

bool PowerDocsRegReader::IsDM6Installed() const
{
    return IsPowerDocsGreaterThan50Installed(L'6', 0);
}

bool PowerDocsRegReader::IsPowerDocsGreaterThan50Installed(wchar_t chMajor, wchar_t chMinor) const
{
    CStdStr strVersion;
    if (!CClientGeneration::Instance().Read(GetPowerDocsRegistryRoot(), strVersion))
        return false;

    // The version is compared code unit by code unit, as in "5.3": first the major digit, then
    // the minor digit after the dot. A shorter text compares as its terminator.
    const wchar_t chFirst = strVersion.size() > 0 ? strVersion[0] : L'\0';
    const wchar_t chThird = strVersion.size() > 2 ? strVersion[2] : L'\0';
    if (chMajor == 0)
        return chFirst >= L'5';
    if (chFirst != chMajor)
        return false;
    return chMinor == 0 || chThird == chMinor;
}

CStdStr PowerDocsRegReader::GetLocalPath() const
{
    CRegKey key;
    if (!OpenKey(HKEY_CURRENT_USER, GetRegRoot() + CLIENT_FUSION_KEY + L"\\Settings", KEY_READ, key))
        return CStdStr();
    CStdStr strLocalPath;
    if (!QueryStringValue(key.Get(), L"LocalPath", kPathBytes, strLocalPath))
        return CStdStr();
    return strLocalPath;
}

CStdStr PowerDocsRegReader::GetShadowPathStructureRootFolder() const
{
    const bool bDM5 = IsPowerDocs50Installed();
    const CStdStr strKeyName = GetShadowPathRegKeyName();

    // DM 5 keeps the shadow folder per user; older clients per machine.
    CStdStr strRoot;
    CRegKey key;
    if (!OpenKey(bDM5 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, strKeyName, KEY_READ, key))
    {
        if (!bDM5)
            return CStdStr();
        strRoot = IsPowerDocsGreaterThan50Installed(L'5', L'3') ? L"%APPLICATION_DATA%\\OpenText\\DM"
                                                                 : L"%APPLICATION_DATA%\\Hummingbird\\DM";
    }
    else if (!QueryStringValue(key.Get(), L"Drive", kPathBytes, strRoot))
    {
        return CStdStr();
    }

    if (strRoot.find(kAppDataToken) != CStdStr::npos)
        strRoot.Replace(kAppDataToken, CGeneral::GetSpecialFolderPath(kAppDataFolderId));
    // A bare drive letter names the drive; the cache lies in its SHADOW folder.
    if (strRoot.size() == 2 && strRoot[1] == L':')
        strRoot += L"\\SHADOW";
    return strRoot;
}

CStdStr PowerDocsRegReader::GetRegRoot() const
{
    if (IsPowerDocs50Installed())
        return GetPowerDocsRegistryRoot();
    CStdStr strPath;
    if (CanGetExecutableName(GetPowerDocs4RegistryRoot(), strPath))
        return GetPowerDocs4RegistryRoot();
    if (CanGetExecutableName(GetPowerDocs39RegistryRoot(), strPath))
        return GetPowerDocs39RegistryRoot();
    return CStdStr();
}

CStdStr PowerDocsRegReader::GetShadowPathRegKeyName() const
{
    if (IsPowerDocs50Installed())
        return GetRegRoot() + CLIENT_FUSION_KEY + L"\\DOCSShadowPath";
    return GetRegRoot() + CLIENT_FUSION_KEY + L"\\DOCSShadowDrive";
}

CStdStr PowerDocsRegReader::GetPowerDocsRegistryRoot() const
{
    return CLIENT_ROOT_KEY;
}

CStdStr PowerDocsRegReader::GetPowerDocs4RegistryRoot() const
{
    return CLIENT_ROOT_KEY_40;
}

CStdStr PowerDocsRegReader::GetPowerDocs39RegistryRoot() const
{
    return CLIENT_ROOT_KEY_39;
}

CStdStr PowerDocsRegReader::GetPowerDocs31RegistryRoot() const
{
    return CLIENT_ROOT_KEY_31;
}

bool PowerDocsRegReader::GetRegistryStringValue(HKEY hRoot, const CStdStr& strSubKey, const CStdStr& strValueName,
                                                CStdStr& strValue) const
{
    strValue.clear();
    CRegKey key;
    if (RegOpenKeyExW(hRoot, strSubKey.c_str(), 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return false;
    return QueryStringValue(key.Get(), strValueName.c_str(), kValueBytes, strValue);
}

CStdStr PowerDocsRegReader::GetExeName() const
{
    // 5.x and later: the client is the plug-in in the install path; older roots are not tried.
    if (IsPowerDocsGreaterThan50Installed(0, 0))
    {
        CRegKey key;
        if (OpenKey(HKEY_LOCAL_MACHINE, GetPowerDocsRegistryRoot(), KEY_READ, key))
        {
            CStdStr strInstallPath;
            if (QueryStringValue(key.Get(), CLIENT_INSTALL_PATH, kValueBytes, strInstallPath))
                return strInstallPath + L"\\FsPlugin.dll";
            return CStdStr();
        }
    }

    CStdStr strPath;
    if (CanGetExecutableName(GetPowerDocs4RegistryRoot(), strPath) ||
        CanGetExecutableName(GetPowerDocs39RegistryRoot(), strPath) ||
        CanGetExecutableName(GetPowerDocs31RegistryRoot(), strPath))
        return strPath;

    LOG_ERROR(L"PowerDocsRegReader::GetExeName", L"Failed to find PowerDocs exceutable.");
    return CStdStr();
}

DMIntegrationMethod PowerDocsRegReader::GetIntegrationMethod() const
{
    static const struct
    {
        const wchar_t* pszKey;
        DMIntegrationMethod method;
    } kMethods[] = {
        {L"Active\\ActiveAutomation",
         DMIntegrationActiveAutomation},
        {L"Active\\ActiveMacro",
         DMIntegrationActiveMacro},
        {L"Passive\\PassiveMacro",
         DMIntegrationPassiveMacro},
        {L"Passive\\PassiveAutomation",
         DMIntegrationPassiveAutomation},
    };
    for (const auto& entry : kMethods)
    {
        CStdStr strValue;
        if (GetRegistryStringValue(HKEY_LOCAL_MACHINE, CLIENT_INTEGRATION_KEY + CStdStr(entry.pszKey), CStdStr(), strValue))
            return entry.method;
    }
    return DMIntegrationNone;
}

bool PowerDocsRegReader::CanGetExecutableName(const CStdStr& strRoot, CStdStr& strPath) const
{
    CStdStr strValue;
    if (!GetRegistryStringValue(HKEY_LOCAL_MACHINE, strRoot, L"Path", strValue))
        return false;
    strPath = strValue + L"\\PowerDocs.exe";
    return true;
}

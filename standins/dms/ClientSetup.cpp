#include "ClientSetup.h"

#include "Catalog.h"

namespace dms_standin {

const wchar_t CClientSetup::kClientKey[] = L"SOFTWARE\\Hummingbird\\PowerDOCS";
const wchar_t CClientSetup::kShadowPathKey[] =
    L"SOFTWARE\\Hummingbird\\PowerDOCS\\Core\\Plugins\\Fusion\\DOCSShadowPath";
const wchar_t CClientSetup::kShadowDriveKey[] =
    L"SOFTWARE\\Hummingbird\\PowerDOCS\\Core\\Plugins\\Fusion\\DOCSShadowDrive";
const wchar_t CClientSetup::kSettingsKey[] = L"SOFTWARE\\Hummingbird\\PowerDOCS\\Core\\Plugins\\Fusion\\Settings";
const wchar_t CClientSetup::kBaseFolder[] = L"C:\\DmsStandIn";
const wchar_t CClientSetup::kUncCacheRoot[] = L"\\\\dmsserver\\cache";

namespace {

std::wstring ReadRegString(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszName)
{
    wchar_t sz[MAX_PATH] = {};
    DWORD cb = sizeof(sz);
    if (RegGetValueW(hRoot, pszKey, pszName, RRF_RT_REG_SZ, nullptr, sz, &cb) != ERROR_SUCCESS)
        return std::wstring();
    return sz;
}

LONG WriteRegString(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszName, const std::wstring& strValue)
{
    return RegSetKeyValueW(hRoot, pszKey, pszName, REG_SZ, strValue.c_str(),
                           static_cast<DWORD>((strValue.size() + 1) * sizeof(wchar_t)));
}

std::wstring Folder(const wchar_t* pszName)
{
    return std::wstring(CClientSetup::kBaseFolder) + L"\\" + pszName;
}

// Wine maps \\server\share to $WINEPREFIX/dosdevices/unc/server/share, and Z:\ to the Unix
// root: the share exists once that folder does. Outside Wine this gives "".
std::wstring UncShareMappingFolder()
{
    wchar_t sz[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableW(L"WINEPREFIX", sz, MAX_PATH);
    std::wstring strPrefix;
    if (n && n < MAX_PATH)
        strPrefix = sz;
    else if ((n = GetEnvironmentVariableW(L"HOME", sz, MAX_PATH)) && n < MAX_PATH)
        strPrefix = std::wstring(sz) + L"/.wine";
    if (strPrefix.empty() || strPrefix[0] != L'/')
        return std::wstring();
    for (wchar_t& c : strPrefix)
        if (c == L'/')
            c = L'\\';
    return L"Z:" + strPrefix + L"\\dosdevices\\unc\\dmsserver\\cache";
}

}  // namespace

HRESULT CClientSetup::Install(const std::wstring& strVersion, const std::wstring& strModulePath)
{
    const std::wstring strClient = Folder(L"Client");
    for (const std::wstring& strFolder : {strClient, ServerRoot(), DefaultShadowFolder(), Folder(L"Local")})
        if (!EnsureFolder(strFolder))
            return HRESULT_FROM_WIN32(GetLastError());
    const std::wstring strMapping = UncShareMappingFolder();
    if (!strMapping.empty())
        EnsureFolder(strMapping);

    // The client counts as installed when its FsPlugin.dll exists; the provider reads its
    // version resource, which this module carries.
    if (!CopyFileW(strModulePath.c_str(), (strClient + L"\\FsPlugin.dll").c_str(), FALSE))
        return HRESULT_FROM_WIN32(GetLastError());

    const struct
    {
        HKEY hRoot;
        const wchar_t* pszKey;
        const wchar_t* pszName;
        std::wstring strValue;
    } values[] = {
        {HKEY_LOCAL_MACHINE, kClientKey, L"InstallPath", strClient},
        {HKEY_LOCAL_MACHINE, kClientKey, L"CurrentVersion", strVersion},
        {HKEY_CURRENT_USER, kShadowPathKey, L"Drive", DefaultShadowFolder()},
        {HKEY_LOCAL_MACHINE, kShadowDriveKey, L"Drive", kUncCacheRoot},
        {HKEY_CURRENT_USER, kSettingsKey, L"LocalPath", Folder(L"Local")},
    };
    for (const auto& v : values)
    {
        LONG rc = WriteRegString(v.hRoot, v.pszKey, v.pszName, v.strValue);
        if (rc != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(rc);
    }
    return S_OK;
}

HRESULT CClientSetup::Uninstall()
{
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kClientKey, L"InstallPath");
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kClientKey, L"CurrentVersion");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kShadowPathKey, L"Drive");
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kShadowDriveKey, L"Drive");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"LocalPath");
    DeleteFileW((Folder(L"Client") + L"\\FsPlugin.dll").c_str());
    return S_OK;
}

std::wstring CClientSetup::ClientVersion()
{
    return ReadRegString(HKEY_LOCAL_MACHINE, kClientKey, L"CurrentVersion");
}

bool CClientSetup::IsDM6()
{
    const std::wstring strVersion = ClientVersion();
    return !strVersion.empty() && strVersion[0] == L'6';
}

std::wstring CClientSetup::ServerRoot()
{
    return Folder(L"Server");
}

std::wstring CClientSetup::DefaultShadowFolder()
{
    return Folder(L"Shadow");
}

std::wstring CClientSetup::CacheRoot()
{
    std::wstring strRoot = IsDM6() ? ReadRegString(HKEY_LOCAL_MACHINE, kShadowDriveKey, L"Drive")
                                   : ReadRegString(HKEY_CURRENT_USER, kShadowPathKey, L"Drive");
    if (strRoot.empty())
        strRoot = IsDM6() ? std::wstring(kUncCacheRoot) : DefaultShadowFolder();
    while (strRoot.size() > 3 && strRoot.back() == L'\\')
        strRoot.pop_back();
    return strRoot;
}

}  // namespace dms_standin

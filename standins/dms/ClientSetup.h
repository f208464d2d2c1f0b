#pragma once
// The DMS client installation that the stand-in imitates: the client's registry values, its
// FsPlugin.dll, the stand-in's content folders, and the client version that selects the cache
// form (DM 5: file names in a shadow folder; DM 6: folders under a UNC share).
#include <windows.h>

#include <string>

namespace dms_standin {

class CClientSetup
{
public:
    static const wchar_t kClientKey[];       // HKLM: "InstallPath", "CurrentVersion"
    static const wchar_t kShadowPathKey[];   // HKCU: DM 5 shadow folder ("Drive")
    static const wchar_t kShadowDriveKey[];  // HKLM: DM 6 cache root ("Drive")
    static const wchar_t kSettingsKey[];     // HKCU: "LocalPath"
    static const wchar_t kBaseFolder[];      // every folder of the stand-in lies below it
    static const wchar_t kUncCacheRoot[];    // the DM 6 cache share

    // Writes the client's registry values for the given version ("5.3", "6.0"), creates the
    // folders (and the Wine mapping of the UNC share) and copies strModulePath as FsPlugin.dll.
    static HRESULT Install(const std::wstring& strVersion, const std::wstring& strModulePath);
    static HRESULT Uninstall();

    static std::wstring ClientVersion();  // "CurrentVersion", "" when not installed
    static bool IsDM6();                  // "CurrentVersion" begins with 6
    static std::wstring ServerRoot();
    static std::wstring DefaultShadowFolder();
    // The cache root of the installed client: the DM 5 shadow folder or the DM 6 share.
    static std::wstring CacheRoot();
};

}  // namespace dms_standin
